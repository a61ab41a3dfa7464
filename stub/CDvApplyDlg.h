// The window of the apply program: who publishes the patch and what it is for, the
// folder to update with Browse, the backup choice with its extension, Apply and Cancel.
// Apply runs the engine's two-pass apply with the apply progress dialog and reports
// the result with the success picture, the errors list or the whoops picture.
#pragma once
#include "stub/StubSession.h"

#include <wx/dialog.h>

#include <functional>
#include <string>

class wxButton;
class wxCheckBox;
class wxStaticText;
class wxTextCtrl;

class CDvApplyDlg : public wxDialog {
public:
    enum { kIdApply = 1006, kIdFolder = 1007, kIdBrowse = 1008, kIdBackup = 1011, kIdBackupExt = 1012,
           kIdPublisher = 1101, kIdDialogText = 1102 };

    // The patch must be open. options gives the command line's folder and backup choice.
    CDvApplyDlg(wxWindow* parent, CAppCore& core, CStubPatch& patch, const CStubOptions& options);

    // The exit status of the program after the window closed: 0 applied, 3 the last
    // folder tried did not match (nothing changed), 1 otherwise, 130 cancelled apply.
    int ExitStatus() const { return exitStatus_; }

    // Shows a result dialog (success, errors, whoops); runs it modally unless replaced.
    std::function<void(wxDialog&)> showReport;

    // What the user has entered.
    std::string Folder() const;
    bool Backup() const;
    std::string BackupExt() const;

    wxTextCtrl* FolderEdit() const { return folder_; }
    wxStaticText* PublisherLabel() const { return publisher_; }
    wxStaticText* DialogTextLabel() const { return dialogText_; }
    wxCheckBox* BackupCheck() const { return backup_; }
    wxTextCtrl* BackupExtEdit() const { return backupExt_; }

private:
    void OnBrowse(wxCommandEvent& event);
    void OnBackupClicked(wxCommandEvent& event);
    void OnApply(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    void Finish(int status);
    void Report(wxDialog& dialog);
    void ShowError(const std::string& text, wxWindow* focus);

    CAppCore& core_;
    CStubPatch& patch_;
    wxStaticText* publisher_ = nullptr;
    wxStaticText* dialogText_ = nullptr;
    wxTextCtrl* folder_ = nullptr;
    wxCheckBox* backup_ = nullptr;
    wxTextCtrl* backupExt_ = nullptr;
    int exitStatus_ = kStubExitFailure;
};
