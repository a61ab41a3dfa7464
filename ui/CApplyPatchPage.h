// The Apply page of the Expert mode sheet: names the folder that holds the old files
// and the patch file, sets the backup option and applies the patch. A patch file that
// is a self-extracting patch program is offered to be run instead.
#pragma once
#include <wx/panel.h>

#include <string>

class wxBookCtrlEvent;
class wxCheckBox;
class wxTextCtrl;

class CApplyPatchPage : public wxPanel {
public:
    static constexpr int kHelpContext = 13;
    static constexpr const char* kTitle = "Apply Patch File";
    static constexpr const char* kErrorTitle = "Delvorin Error!";

    enum {
        kIdPatchFile = 1004,
        kIdApply = 1006,
        kIdFolder = 1007,
        kIdBrowseFolder = 1008,
        kIdBrowsePatch = 1009,
        kIdExit = 1010,
        kIdBackup = 1011,
        kIdBackupExt = 1012,
        kIdHelp = 1013,
    };

    explicit CApplyPatchPage(wxWindow* parent);
    ~CApplyPatchPage() override;

    // The page fields, exchanged with the controls by ReadControls and ShowFields.
    std::string folder;
    std::string patchFile;
    int backup = 0;
    std::string backupExt = "bak";

    void ReadControls();
    void ShowFields();
    // Load from the settings record ("ApplyPatchFile", else "PatchFile"; "ApplyFolder",
    // else "OldFolder"; "Backup"; "BackupExt") and store back into it.
    void LoadFields();
    void StoreFields();

    wxTextCtrl* FolderEdit() const { return folderEdit_; }
    wxTextCtrl* PatchFileEdit() const { return patchEdit_; }
    wxCheckBox* BackupCheck() const { return backupCheck_; }
    wxTextCtrl* BackupExtEdit() const { return backupExtEdit_; }

    // Command handlers, public so that the tests can drive the page.
    void OnBrowseFolder(wxCommandEvent& event);
    void OnBrowsePatch(wxCommandEvent& event);
    void OnBackupClicked(wxCommandEvent& event);
    void OnApply(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);

private:
    void CreateControls();
    void EnableBackupExt();
    void Fail(const std::string& text);
    wxWindow* Sheet();
    void BindStorePoints();
    void OnPageChanging(wxBookCtrlEvent& event);
    void OnTopLevelClose(wxCloseEvent& event);

    wxTextCtrl* folderEdit_ = nullptr;
    wxTextCtrl* patchEdit_ = nullptr;
    wxCheckBox* backupCheck_ = nullptr;
    wxTextCtrl* backupExtEdit_ = nullptr;
};
