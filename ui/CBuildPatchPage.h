// The Build page of the Expert mode sheet: names the old and new files folders, the
// default apply folder and the patch file, picks files to remove and to exclude, sets
// the self-extract, split, log and dialog-text options, opens, clears and saves project
// files, and builds the patch file.
#pragma once
#include "jobs/BuildJob.h"
#include "ui/BuildChoices.h"

#include <wx/panel.h>

#include <string>

class wxBookCtrlEvent;
class wxButton;
class wxCheckBox;
class wxTextCtrl;

class CBuildPatchPage : public wxPanel {
public:
    static constexpr int kHelpContext = 12;
    static constexpr const char* kTitle = "Build Patch File";
    static constexpr const char* kWarningTitle = "Delvorin Warning!";

    enum {
        kIdOldFolder = 1000,
        kIdNewFolder = 1001,
        kIdBrowseOld = 1002,
        kIdBrowseNew = 1003,
        kIdPatchFile = 1004,
        kIdBuild = 1005,
        kIdBrowsePatch = 1006,
        kIdExit = 1007,
        kIdDefaultFolder = 1008,
        kIdSelfExtract = 1011,
        kIdDefaultFollowsOld = 1012,
        kIdHelp = 1013,
        kIdLogFile = 1034,
        kIdViewLog = 1035,
        kIdDialogText = 1044,
        kIdClearProject = 1054,
        kIdRemoveFiles = 1055,
        kIdExcludeFiles = 1056,
        kIdOpenProject = 1057,
        kIdSplit = 1059,
        kIdThorough = 1060,
        kIdForLinux = 1061,
        kIdForWindows = 1062,
        kIdClassicFormat = 1063,
        kIdCompactFormat = 1064,
        kIdSaveProject = 244,
    };

    explicit CBuildPatchPage(wxWindow* parent);
    ~CBuildPatchPage() override;

    // The page fields, exchanged with the controls by ReadControls and ShowFields.
    std::string oldFolder;
    std::string newFolder;
    std::string patchFile;
    std::string defaultFolder;
    int logFile = 0;
    int selfExtract = 0;
    int defaultFollowsOld = 1;
    int thorough = 0;
    int compact = 0;    // the patch format: 0 classic, 1 compact
    int forWindows = 0; // the self-extracting program: 0 for Linux, 1 for Windows

    void ReadControls();
    void ShowFields();
    // Load from and store into the settings record: "OldFolder", "NewFolder",
    // "PatchFile", "DefaultFolder", "LogFile", "Self-Extract", "DefaultEqualsNew",
    // "Thorough", the patch format and the self-extracting program's system.
    void LoadFields();
    void StoreFields();

    wxTextCtrl* OldFolderEdit() const { return oldEdit_; }
    wxTextCtrl* NewFolderEdit() const { return newEdit_; }
    wxTextCtrl* PatchFileEdit() const { return patchEdit_; }
    wxTextCtrl* DefaultFolderEdit() const { return defaultEdit_; }
    wxCheckBox* LogFileCheck() const { return logCheck_; }
    wxCheckBox* SelfExtractCheck() const { return selfExtractCheck_; }
    wxCheckBox* DefaultFollowsOldCheck() const { return defaultFollowsCheck_; }
    wxCheckBox* ThoroughCheck() const { return thoroughCheck_; }
    const CRadioPair& FormatChoice() const { return formatChoice_; }
    const CRadioPair& SystemChoice() const { return systemChoice_; }

    // Command handlers, public so that the tests can drive the page.
    void OnBrowseOld(wxCommandEvent& event);
    void OnBrowseNew(wxCommandEvent& event);
    void OnBrowsePatch(wxCommandEvent& event);
    void OnOldFolderChanged(wxCommandEvent& event);
    void OnDefaultFollowsOldClicked(wxCommandEvent& event);
    void OnSelfExtractClicked(wxCommandEvent& event);
    void OnChoiceClicked(wxCommandEvent& event);
    void OnRemoveFiles(wxCommandEvent& event);
    void OnExcludeFiles(wxCommandEvent& event);
    void OnSplit(wxCommandEvent& event);
    void OnDialogText(wxCommandEvent& event);
    void OnViewLog(wxCommandEvent& event);
    void OnOpenProject(wxCommandEvent& event);
    void OnClearProject(wxCommandEvent& event);
    void OnSaveProject(wxCommandEvent& event);
    void OnBuild(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);

private:
    void CreateControls();
    // Copies the old files folder into the default apply folder when the check box
    // "Make default folder name same as Old folder." is ticked.
    void ApplyDefaultFolderRule();
    // Gives the patch file name the extension "exe" or "dvp" after the self-extract box.
    void ApplyExtensionRule();
    // The checks before a build, in order; false when one failed (its message shown).
    // The build's inputs as the fields hold them.
    CBuildInputs BuildInputs() const;
    // Runs the job's checks; when they refuse, shows why and puts the focus on the field
    // to correct. True when the build was refused.
    bool ShowRefusal(CBuildJob& job);
    void Warn(const std::string& text);
    // The Expert mode sheet (the progress dialog's parent), or the page's parent.
    wxWindow* Sheet();
    void BindStorePoints();
    void OnPageChanging(wxBookCtrlEvent& event);
    void OnTopLevelClose(wxCloseEvent& event);

    wxTextCtrl* oldEdit_ = nullptr;
    wxTextCtrl* newEdit_ = nullptr;
    wxTextCtrl* defaultEdit_ = nullptr;
    wxTextCtrl* patchEdit_ = nullptr;
    wxCheckBox* defaultFollowsCheck_ = nullptr;
    wxCheckBox* selfExtractCheck_ = nullptr;
    wxCheckBox* logCheck_ = nullptr;
    wxCheckBox* thoroughCheck_ = nullptr;
    CRadioPair formatChoice_;
    CRadioPair systemChoice_;
};
