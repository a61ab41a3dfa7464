#include "ui/CDelvorinWizPage6.h"

#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyJob.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CErrorsDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/DesktopCalls.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>


CDelvorinWizPage6::CDelvorinWizPage6(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard: Apply Patch 2 of 2", kHelpContext, 189)
{
    AddText("You are almost ready to apply your Delvorin file!", 150, 7, 162, 10);
    AddText("What is the name of the patch file you want to use?", 150, 21, 163, 12);
    patchEdit_ = AddEdit(kIdPatchFile, 150, 36, 117, 14);
    AddButton(kIdBrowse, "&Browse...", 274, 37, 39, 14);
    AddText("Do you want your files backed up before they are updated?", 150, 60, 163, 17);
    backupCheck_ = AddCheck(kIdBackup, "Yes, please.", 150, 81, 148, 10);
    AddText("What is the file extension you would like to use for the files that are backed up?", 150, 97, 163, 19);
    backupExtEdit_ = AddEdit(kIdBackupExt, 150, 116, 43, 14);
    AddText("Choose Finish to apply the patch file.", 150, 145, 163, 8);
    AddPicture(kIdPicture, 7, 7, 136, 174);
    FinishLayout();

    Bind(wxEVT_BUTTON, &CDelvorinWizPage6::OnBrowse, this, kIdBrowse);
    Bind(wxEVT_CHECKBOX, &CDelvorinWizPage6::OnBackupClicked, this, kIdBackup);
}

void CDelvorinWizPage6::ReadControls()
{
    patchFile = FromWx(patchEdit_->GetValue());
    backupExt = FromWx(backupExtEdit_->GetValue());
    backup = backupCheck_->GetValue() ? 1 : 0;
}

void CDelvorinWizPage6::ShowFields()
{
    ShowText(patchEdit_, patchFile);
    ShowText(backupExtEdit_, backupExt);
    backupCheck_->SetValue(backup != 0);
}

void CDelvorinWizPage6::StoreFields()
{
    CSettings& settings = TheApp().Settings();
    settings.backupExt = backupExt;
    settings.applyPatchFile = patchFile;
    settings.backup = backup;
}

void CDelvorinWizPage6::OnInitDialog()
{
    const CSettings& settings = TheApp().Settings();
    backupExt = settings.backupExt;
    patchFile = settings.applyPatchFile;
    backup = settings.backup;
    ShowFields();
    Picture()->SetBitmap(kPictureId);
    // The extension shows its text either way, but takes input only with backup ticked.
    backupExtEdit_->Enable(backup != 0);
}

void CDelvorinWizPage6::OnSetActive()
{
    // The fields are not reloaded on later activations.
    Sheet().SetWizardButtons(kBack | kFinish);
}

void CDelvorinWizPage6::OnCancel()
{
    ReadControls();
    StoreFields();
}

void CDelvorinWizPage6::OnBackupClicked(wxCommandEvent&)
{
    ReadControls();
    backupExtEdit_->Enable(backup != 0);
}

void CDelvorinWizPage6::OnBrowse(wxCommandEvent&)
{
    ReadControls();
    std::string path;
    if (!ChoosePatchFileToOpen(this, "Open Patch File As", patchFile, path))
        return;
    patchFile = WithDvpWhenNoExtension(path);
    ShowFields();
}

bool CDelvorinWizPage6::OnWizardFinish()
{
    wxBusyCursor wait;
    ReadControls();
    CAppCore& core = TheApp().Core();
    CDelvorinWiz& sheet = Sheet();

    if (patchFile.empty()) {
        Message(LoadString(112), kErrorTitle);
        patchEdit_->SetFocus();
        return false;
    }

    // Only the last three letters count, so "fixexe" is a self-extracting program too.
    // Such a program is run on the folder, not opened: it applies itself.
    if (EndsWithNoCase(patchFile, "exe")) {
        if (core.Ask(PromptOwner::MainWindow, LoadString(126), "Delvorin Question", PromptButtons::YesNo,
                     PromptIcon::Question) != PromptAnswer::Yes)
            return false;
        StartProgram({patchFile, sheet.applyFolder});
        StoreFields();
        return true;
    }

    CDirDiff& dirDiff = TheApp().GetDirDiff();
    // The remove list meant for the next build outlives the patch's own.
    CRemoveListKeeper keeper(dirDiff);
    CApplyJob job(core, dirDiff, patchFile);
    if (job.Open()) {
        ApplyPatchFile(job);
        StoreFields();
        return true;
    }
    // One message per failure: the reader may have said why already.
    if (!job.OpenFailure().reported)
        Message(job.OpenFailure().message, kErrorTitle);
    return false;
}

void CDelvorinWizPage6::ApplyPatchFile(CApplyJob& job)
{
    CAppCore& core = TheApp().Core();
    CApplyProgressDlg progress;
    progress.Create(&Sheet()); // the sheet is disabled while the dialog exists
    job.SetOwner(PromptOwner::ProgressDialog);
    const CApplyOutcome outcome = job.Apply(Sheet().applyFolder, backup, backupExt, &progress);
    job.Close();
    progress.Finish();

    if (outcome.kind == CApplyOutcome::Kind::Applied) {
        CSuccessDlg success;
        success.message = "The patch file: " + patchFile + " was successfully applied.";
        success.ShowBackups(outcome.backupLines);
        success.ShowModal();
    } else if (outcome.VerificationFailed()) {
        CErrorsDlg errors(this);
        errors.contact = core.userName + ", " + core.userOrganization;
        errors.ShowModal();
    } else {
        // Stopped midway (a failure, or a cancel the user confirmed): how far it came, and
        // that applying again finishes the job.
        CWhoopsDlg whoops;
        whoops.message = StoppedApplyText(outcome, kApplyAgain, "An error occurred while applying the patch file!");
        whoops.ShowModal();
    }
}
