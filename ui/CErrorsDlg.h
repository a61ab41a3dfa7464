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
    // The messages to list (at most the first 99); by default the errors list of the
    // engine object.
    void SetErrors(std::vector<std::string> entries);

    // The list lines of one message field: split at line feeds, empty lines dropped,
    // ended by its zero byte; without one, the text after the last line feed is dropped.
    static std::vector<std::string> SplitMessage(const char* field, size_t fieldSize);

    wxListBox* List() const { return list_; }
    wxStaticText* ContactLabel() const { return contactLabel_; }
    void OnInitDialog(wxInitDialogEvent& event);

private:
    wxListBox* list_ = nullptr;
    wxStaticText* contactLabel_ = nullptr;
    std::vector<std::string> entries_;
    bool entriesGiven_ = false; // false: the engine's list
};
