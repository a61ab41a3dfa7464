// Page 5 of the Wizard (apply, 1 of 2): the folder that holds the old files to update.
// Back returns to page 1, past the build pages.
#pragma once
#include "ui/CWizardPageBase.h"

#include <string>

class CDelvorinWizPage5 : public CWizardPageBase {
public:
    enum { kIdFolder = 1025, kIdBrowse = 1026, kIdPicture = 1039 };
    static constexpr int kPictureId = 141;
    static constexpr int kHelpContext = 10;

    explicit CDelvorinWizPage5(CDelvorinWiz* sheet);

    std::string folder;
    void ReadControls();
    void ShowFields();

    wxTextCtrl* FolderEdit() const { return folderEdit_; }

    void OnBrowse(wxCommandEvent& event);

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardBack() override;
    bool OnWizardNext() override;
    void OnCancel() override;

private:
    wxTextCtrl* folderEdit_ = nullptr;
};
