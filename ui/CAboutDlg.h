// The About box: the program's name and version, its notice lines, and the user name
// and organisation that every patch built here carries as its publisher.
#pragma once
#include <wx/dialog.h>

class wxTextCtrl;

class CAboutDlg : public wxDialog {
public:
    enum { kIdUserName = 1100, kIdOrganization = 1101 };

    explicit CAboutDlg(wxWindow* parent);

    wxTextCtrl* UserNameEdit() const { return userName_; }
    wxTextCtrl* OrganizationEdit() const { return organization_; }
    // OK: the edited name and organisation go to the application.
    bool TransferDataFromWindow() override;

private:
    wxTextCtrl* userName_ = nullptr;
    wxTextCtrl* organization_ = nullptr;
};
