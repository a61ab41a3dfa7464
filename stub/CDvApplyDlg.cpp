#include "stub/CDvApplyDlg.h"

#include "ui/AppIcon.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CErrorsDlg.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dirdlg.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

namespace {
constexpr const char* kValidationTitle = "Delvorin Error!";
constexpr int kTextWidthDlu = 250; // the width the publisher's text is wrapped to
} // namespace

CDvApplyDlg::CDvApplyDlg(wxWindow* parent, CAppCore& core, CStubPatch& patch, const CStubOptions& options)
    : wxDialog(parent, wxID_ANY, "Delvorin Apply", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      showReport([](wxDialog& dialog) { dialog.ShowModal(); }), core_(core), patch_(patch)
{
    SetIcons(AppIcons());
    const int gap = DluSize(this, 4, 4).x;
    const int textWidth = DluSize(this, kTextWidthDlu, 8).x;
    auto* top = new wxBoxSizer(wxVERTICAL);

    // Who publishes the patch, and what the publisher has to say about it.
    // The texts are shown as written: an '&' in them is no mnemonic.
    const std::string publisherLine = patch.PublisherLine();
    publisher_ = new wxStaticText(this, kIdPublisher, "");
    wxFont bold = publisher_->GetFont();
    bold.MakeBold();
    publisher_->SetFont(bold);
    publisher_->SetLabelText(ToWx(publisherLine));
    publisher_->Wrap(textWidth);
    top->Add(publisher_, 0, wxLEFT | wxRIGHT | wxTOP, 2 * gap);
    publisher_->Show(!publisherLine.empty());

    const std::string text = patch.DialogText();
    dialogText_ = new wxStaticText(this, kIdDialogText, "");
    dialogText_->SetLabelText(ToWx(text));
    dialogText_->Wrap(textWidth);
    top->Add(dialogText_, 0, wxLEFT | wxRIGHT | wxTOP, 2 * gap);
    dialogText_->Show(!text.empty());

    // The folder to update.
    auto* folderRow = new wxBoxSizer(wxHORIZONTAL);
    folderRow->Add(new wxStaticText(this, wxID_ANY, "&Folder to update:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
    folder_ = new wxTextCtrl(this, kIdFolder, ToWx(patch.ProposedFolder(options.folder)), wxDefaultPosition,
                             wxSize(DluSize(this, 150, 14).x, -1));
    folderRow->Add(folder_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
    folderRow->Add(new wxButton(this, kIdBrowse, "B&rowse ..."), 0, wxALIGN_CENTER_VERTICAL);
    top->Add(folderRow, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 2 * gap);

    // Backups of the files the patch changes.
    auto* backupRow = new wxBoxSizer(wxHORIZONTAL);
    backup_ = new wxCheckBox(this, kIdBackup, "Create &backup of old files");
    backup_->SetValue(options.backup != 0);
    backupRow->Add(backup_, 0, wxALIGN_CENTER_VERTICAL);
    backupRow->AddStretchSpacer(1);
    backupRow->Add(new wxStaticText(this, wxID_ANY, "Backup file &extension:"), 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT,
                   gap);
    backupExt_ = new wxTextCtrl(this, kIdBackupExt, ToWx(options.backupExt), wxDefaultPosition,
                                wxSize(DluSize(this, 35, 14).x, -1));
    backupExt_->Enable(options.backup != 0);
    backupRow->Add(backupExt_, 0, wxALIGN_CENTER_VERTICAL);
    top->Add(backupRow, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 2 * gap);

    top->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 2 * gap);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer(1);
    auto* apply = new wxButton(this, kIdApply, "&Apply");
    buttons->Add(apply, 0, wxRIGHT, gap);
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), 0);
    top->Add(buttons, 0, wxEXPAND | wxALL, 2 * gap);
    apply->SetDefault();

    SetSizerAndFit(top);
    CentreOnScreen();
    folder_->SetFocus();

    Bind(wxEVT_BUTTON, &CDvApplyDlg::OnBrowse, this, kIdBrowse);
    Bind(wxEVT_CHECKBOX, &CDvApplyDlg::OnBackupClicked, this, kIdBackup);
    Bind(wxEVT_BUTTON, &CDvApplyDlg::OnApply, this, kIdApply);
    Bind(wxEVT_BUTTON, &CDvApplyDlg::OnCancel, this, wxID_CANCEL);
}

std::string CDvApplyDlg::Folder() const
{
    return FromWx(folder_->GetValue().Strip(wxString::both));
}

bool CDvApplyDlg::Backup() const
{
    return backup_->GetValue();
}

std::string CDvApplyDlg::BackupExt() const
{
    return FromWx(backupExt_->GetValue());
}

void CDvApplyDlg::OnBrowse(wxCommandEvent&)
{
    wxDirDialog chooser(this, "Choose folder to Apply Patch to...", folder_->GetValue(),
                        wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (chooser.ShowModal() == wxID_OK)
        folder_->SetValue(chooser.GetPath());
}

void CDvApplyDlg::OnBackupClicked(wxCommandEvent&)
{
    backupExt_->Enable(backup_->GetValue());
}

void CDvApplyDlg::ShowError(const std::string& text, wxWindow* focus)
{
    focus->SetFocus();
    core_.Ask(PromptOwner::MainWindow, text, kValidationTitle, PromptButtons::OK, PromptIcon::Stop);
}

void CDvApplyDlg::OnApply(wxCommandEvent&)
{
    const std::string folder = Folder();
    if (folder.empty()) {
        ShowError("Please specify a folder name to apply the patch file to.", folder_);
        return;
    }
    if (std::string problem = CheckTargetFolder(folder); !problem.empty()) {
        ShowError(problem, folder_);
        return;
    }
    int backup = Backup() ? 1 : 0;
    const std::string ext = BackupExt();
    if (backup) {
        if (std::string problem = CheckBackupExtension(ext); !problem.empty()) {
            ShowError(problem, backupExt_);
            return;
        }
    }

    int result;
    {
        wxBusyCursor busy;
        CApplyProgressDlg progress;
        progress.Create(this); // disables this window while the apply runs
        result = patch_.Apply(folder, backup, ext, &progress);
        progress.Destroy();
    }
    const bool verificationFailed = patch_.VerificationFailed();
    exitStatus_ = StubExitStatus(result, patch_.TargetDoesNotMatch());

    if (result > 0) {
        CSuccessDlg success(this);
        success.message = "The Delvorin file has been applied successfully.";
        Report(success);
        Finish(exitStatus_);
    } else if (verificationFailed) {
        // Nothing has been changed: the user may choose another folder and try again.
        CErrorsDlg errors(this);
        errors.contact = patch_.PublisherLine();
        const CDirDiff& engine = patch_.Engine();
        errors.SetErrorTable(&engine.errors[0][0], engine.errorCount, CDirDiff::kErrorTextSize);
        Report(errors);
        folder_->SetFocus();
    } else {
        CWhoopsDlg whoops(this);
        whoops.message = "An Error occurred when the patch file was applied.";
        Report(whoops);
        Finish(exitStatus_);
    }
}

void CDvApplyDlg::OnCancel(wxCommandEvent&)
{
    Finish(exitStatus_);
}

void CDvApplyDlg::Report(wxDialog& dialog)
{
    if (showReport)
        showReport(dialog);
}

void CDvApplyDlg::Finish(int status)
{
    exitStatus_ = status;
    if (IsModal())
        EndModal(status == kStubExitOk ? wxID_OK : wxID_CANCEL);
    else
        Hide();
}
