// "Delvorin Apply" after an apply that kept backups: the Apply page's success message,
// then where each backup went in a list that scrolls, and OK. An apply without backups
// keeps its plain message box.
#pragma once
#include <wx/dialog.h>

#include <string>
#include <vector>

class wxStaticText;
class wxTextCtrl;

class CAppliedDlg : public wxDialog {
public:
    // message: the apply's own text; backups: BackupLines of the apply.
    CAppliedDlg(wxWindow* parent, const std::string& message, const std::vector<std::string>& backups);

    wxStaticText* MessageLabel() const { return messageLabel_; }
    wxTextCtrl* BackupText() const { return backupText_; }

private:
    wxStaticText* messageLabel_ = nullptr;
    wxTextCtrl* backupText_ = nullptr;
};
