// Page 6 of the Wizard (apply, 2 of 2): the patch file, whether the old files are
// backed up and under which extension, and Finish, which applies the patch file to the
// folder of page 5, or runs a self-extracting patch program on it.
#pragma once
#include "ui/CWizardPageBase.h"

#include <string>

class CApplyJob;

class CDelvorinWizPage6 : public CWizardPageBase {
public:
    enum { kIdPatchFile = 1027, kIdBrowse = 1028, kIdBackup = 1029, kIdBackupExt = 1030, kIdPicture = 1039 };
    static constexpr int kPictureId = 137;
    static constexpr int kHelpContext = 11;

    explicit CDelvorinWizPage6(CDelvorinWiz* sheet);

    std::string patchFile;
    std::string backupExt;
    int backup = 0;
    void ReadControls();
    void ShowFields();

    wxTextCtrl* PatchFileEdit() const { return patchEdit_; }
    wxCheckBox* BackupCheck() const { return backupCheck_; }
    wxTextCtrl* BackupExtEdit() const { return backupExtEdit_; }

    void OnBrowse(wxCommandEvent& event);
    void OnBackupClicked(wxCommandEvent& event);

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardFinish() override;
    void OnCancel() override;

private:
    void StoreFields();
    // Applies the open patch file with the progress dialog and reports the outcome.
    void ApplyPatchFile(CApplyJob& job);

    wxTextCtrl* patchEdit_ = nullptr;
    wxCheckBox* backupCheck_ = nullptr;
    wxTextCtrl* backupExtEdit_ = nullptr;
};
