// Page 4 of the Wizard (build, 3 of 3): the patch file name, the self-extract option
// with the system its program runs on, thorough matching, the patch format, the text the apply program shows, saving the project, and Finish, which builds the
// patch file. The page reloads its fields from the settings record every time it
// becomes current.
#pragma once
#include "jobs/BuildJob.h"
#include "ui/BuildChoices.h"
#include "ui/CWizardPageBase.h"

#include <string>

class CDelvorinWizPage4 : public CWizardPageBase {
public:
    enum {
        kIdSelfExtract = 1011,
        kIdBrowse = 1031,
        kIdPatchFile = 1032,
        kIdDialogText = 1045,
        kIdSave = 1053,
        kIdPicture = 1039,
        kIdThorough = 1060,
        kIdForLinux = 1061,
        kIdForWindows = 1062,
        kIdClassicFormat = 1063,
        kIdCompactFormat = 1064,
    };
    static constexpr int kPictureId = 137;
    static constexpr int kHelpContext = 9;

    explicit CDelvorinWizPage4(CDelvorinWiz* sheet);

    std::string patchFile;
    std::string dialogText;
    int selfExtract = 0;
    int thorough = 0;
    int compact = 0;    // the patch format: 0 classic, 1 compact
    int forWindows = 0; // the self-extracting program: 0 for Linux, 1 for Windows
    void ReadControls();
    void ShowFields();

    wxTextCtrl* PatchFileEdit() const { return patchEdit_; }
    wxTextCtrl* DialogTextEdit() const { return textEdit_; }
    wxCheckBox* SelfExtractCheck() const { return selfExtractCheck_; }
    wxCheckBox* ThoroughCheck() const { return thoroughCheck_; }
    const CRadioPair& FormatChoice() const { return formatChoice_; }
    const CRadioPair& SystemChoice() const { return systemChoice_; }

    // Command handlers, public so that the tests can drive the page.
    void OnSelfExtractClicked(wxCommandEvent& event);
    void OnChoiceClicked(wxCommandEvent& event);
    void OnBrowse(wxCommandEvent& event);
    void OnSaveProject(wxCommandEvent& event);
    // Keys of the dialog text: Enter presses the sheet's default button, Ctrl+Enter
    // starts a new line.
    void OnDialogTextKey(wxKeyEvent& event);

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardFinish() override;
    void OnCancel() override;

private:
    // "exe" when self-extract is ticked, else "dvp", on a name that is not empty. The
    // Wizard's extension rule works on the whole path: the text after its last "." is
    // replaced even where that "." belongs to a folder name ("/my.files/patch" becomes
    // "/my.dvp"); a path without any "." gets "." and the extension appended.
    void ApplyExtensionRule();
    // Runs the job's checks; when they refuse, shows why and puts the focus on the field
    // to correct. True when the build was refused.
    bool ShowRefusal(CBuildJob& job);
    // Runs the build with the progress dialog and reports the outcome; true when the
    // patch file was made.
    bool BuildPatchFile(CBuildJob& job);

    wxTextCtrl* patchEdit_ = nullptr;
    wxTextCtrl* textEdit_ = nullptr;
    wxCheckBox* selfExtractCheck_ = nullptr;
    wxCheckBox* thoroughCheck_ = nullptr;
    CRadioPair formatChoice_;
    CRadioPair systemChoice_;
};
