// "Delvorin Errors": the messages that the verification before an apply collected, one
// list line per line of text, and whom to contact.
#pragma once
#include <wx/dialog.h>

#include <string>
#include <vector>

class wxListBox;
class wxStaticText;

class CErrorsDlg : public wxDialog {
public:
    enum { kIdList = 202, kIdContact = 1008 };

    explicit CErrorsDlg(wxWindow* parent);

    // Set by the caller before the run: the application's user name, ", " and its
    // organisation.
    std::string contact;
    // The messages to list, each a field of fieldSize bytes; by default the errors
    // table of the engine object.
    void SetErrorTable(const char* fields, int count, size_t fieldSize);

    // The list lines of one message field: split at line feeds, empty lines dropped,
    // ended by its zero byte; without one, the text after the last line feed is dropped.
    static std::vector<std::string> SplitMessage(const char* field, size_t fieldSize);

    wxListBox* List() const { return list_; }
    wxStaticText* ContactLabel() const { return contactLabel_; }
    void OnInitDialog(wxInitDialogEvent& event);

private:
    wxListBox* list_ = nullptr;
    wxStaticText* contactLabel_ = nullptr;
    const char* fields_ = nullptr;
    int count_ = -1; // -1: the engine's table
    size_t fieldSize_ = 0;
};
