// Page 2 of the Wizard (build, 1 of 3): a project file to open or clear, the old files
// folder, and the old files the patch is to remove.
#pragma once
#include "ui/CWizardPageBase.h"

#include <string>

class CDelvorinWizPage2 : public CWizardPageBase {
public:
    enum {
        kIdBrowse = 1019,
        kIdOldFolder = 1020,
        kIdRemoveFiles = 1046,
        kIdOpen = 1053,
        kIdClearProject = 1054,
        kIdPicture = 1039,
    };
    static constexpr int kPictureId = 142;
    static constexpr int kHelpContext = 7;

    explicit CDelvorinWizPage2(CDelvorinWiz* sheet);

    std::string oldFolder;
    void ReadControls();
    void ShowFields();

    wxTextCtrl* OldFolderEdit() const { return oldEdit_; }

    // Command handlers, public so that the tests can drive the page.
    void OnOpenProject(wxCommandEvent& event);
    void OnClearProject(wxCommandEvent& event);
    void OnBrowse(wxCommandEvent& event);
    void OnRemoveFiles(wxCommandEvent& event);

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardBack() override;
    bool OnWizardNext() override;
    void OnCancel() override;

private:
    wxTextCtrl* oldEdit_ = nullptr;
};
