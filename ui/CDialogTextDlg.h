// "Dialog Text": edits the text that the apply program shows to end users. Enter
// presses OK; Ctrl+Enter starts a new line.
#pragma once
#include <wx/dialog.h>

#include <string>

class wxTextCtrl;

class CDialogTextDlg : public wxDialog {
public:
    enum { kIdText = 1045 };

    explicit CDialogTextDlg(wxWindow* parent);

    // Set by the caller before the run, read after OK.
    std::string text;

    wxTextCtrl* TextEdit() const { return edit_; }
    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;
    // The key handling of the edit: Enter presses OK, Ctrl+Enter inserts a line break.
    void OnEditKey(wxKeyEvent& event);

private:
    wxTextCtrl* edit_ = nullptr;
};
