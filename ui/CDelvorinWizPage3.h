// Page 3 of the Wizard (build, 2 of 3): the new files folder, the default apply folder
// the patch proposes to its users, the new files to leave out, and the split size.
// The page reloads both folders from the settings record every time it becomes current.
#pragma once
#include "ui/CWizardPageBase.h"

#include <string>

class CDelvorinWizPage3 : public CWizardPageBase {
public:
    enum {
        kIdNewFolder = 1021,
        kIdBrowse = 1022,
        kIdExclude = 1052,
        kIdSplit = 1053,
        kIdDefaultFolder = 1054,
        kIdPicture = 1039,
    };
    static constexpr int kPictureId = 141;
    static constexpr int kHelpContext = 8;

    explicit CDelvorinWizPage3(CDelvorinWiz* sheet);

    std::string newFolder;
    std::string defaultFolder;
    void ReadControls();
    void ShowFields();

    wxTextCtrl* NewFolderEdit() const { return newEdit_; }
    wxTextCtrl* DefaultFolderEdit() const { return defaultEdit_; }

    // Command handlers, public so that the tests can drive the page.
    void OnBrowse(wxCommandEvent& event);
    void OnExclude(wxCommandEvent& event);
    void OnSplit(wxCommandEvent& event);

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardNext() override;
    void OnCancel() override;

private:
    // The default apply folder, or the old folder of page 2 when it is empty.
    void FallBackOnOldFolder();
    void Fail(const std::string& text, wxTextCtrl* focus);

    wxTextCtrl* newEdit_ = nullptr;
    wxTextCtrl* defaultEdit_ = nullptr;
};
