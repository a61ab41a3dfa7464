#include "ui/CApplyPatchPage.h"

#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyJob.h"
#include "ui/CAppliedDlg.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CErrorsDlg.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/DesktopCalls.h"
#include "ui/DialogUnits.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

namespace {

const char kApplyTitle[] = "Delvorin Apply";

} // namespace

CApplyPatchPage::CApplyPatchPage(wxWindow* parent) : wxPanel(parent, wxID_ANY)
{
    SetMinSize(DluSize(this, 255, 201));
    SetSize(GetMinSize());
    CreateControls();

    Bind(wxEVT_BUTTON, &CApplyPatchPage::OnBrowseFolder, this, kIdBrowseFolder);
    Bind(wxEVT_BUTTON, &CApplyPatchPage::OnBrowsePatch, this, kIdBrowsePatch);
    Bind(wxEVT_CHECKBOX, &CApplyPatchPage::OnBackupClicked, this, kIdBackup);
    Bind(wxEVT_BUTTON, &CApplyPatchPage::OnApply, this, kIdApply);
    Bind(wxEVT_BUTTON, &CApplyPatchPage::OnHelp, this, kIdHelp);
    Bind(wxEVT_BUTTON, &CApplyPatchPage::OnExit, this, kIdExit);

    LoadFields();
    ShowFields();
    ReadControls();
    EnableBackupExt();
    BindStorePoints();
}

CApplyPatchPage::~CApplyPatchPage()
{
    if (wxApp::GetInstance() && folderEdit_) {
        ReadControls();
        StoreFields();
    }
}

void CApplyPatchPage::CreateControls()
{
    // The controls in the order of the form, which is also the tab order.
    new wxStaticText(this, wxID_ANY, "&Folder:", DluPoint(this, 7, 6), DluSize(this, 56, 8));
    folderEdit_ = new wxTextCtrl(this, kIdFolder, "", DluPoint(this, 63, 6), DluSize(this, 136, 14));
    new wxButton(this, kIdBrowseFolder, "B&rowse ...", DluPoint(this, 209, 6), DluSize(this, 39, 14));
    new wxStaticText(this, wxID_ANY, "&Patch file name:", DluPoint(this, 7, 27), DluSize(this, 52, 8));
    patchEdit_ = new wxTextCtrl(this, kIdPatchFile, "", DluPoint(this, 63, 26), DluSize(this, 136, 14));
    new wxButton(this, kIdBrowsePatch, "Br&owse ...", DluPoint(this, 209, 26), DluSize(this, 39, 14));
    backupCheck_ = new wxCheckBox(this, kIdBackup, "Create &backup of old files", DluPoint(this, 7, 52),
                                  DluSize(this, 98, 10));
    new wxStaticText(this, wxID_ANY, "Backup file &extension:", DluPoint(this, 131, 54), DluSize(this, 78, 8));
    backupExtEdit_ = new wxTextCtrl(this, kIdBackupExt, "", DluPoint(this, 213, 52), DluSize(this, 35, 14));
    new wxButton(this, kIdApply, "&Apply Patch", DluPoint(this, 26, 180), DluSize(this, 57, 14));
    new wxButton(this, kIdHelp, "&Help", DluPoint(this, 99, 180), DluSize(this, 57, 14));
    new wxButton(this, kIdExit, "E&xit", DluPoint(this, 172, 180), DluSize(this, 57, 14));
}

void CApplyPatchPage::BindStorePoints()
{
    if (auto* book = dynamic_cast<wxBookCtrlBase*>(GetParent()))
        book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGING, &CApplyPatchPage::OnPageChanging, this);
    // Bound once the Expert mode window is complete, so that this handler runs before
    // the window's own close handler, which does not pass the request on.
    CallAfter([this] {
        if (wxWindow* top = wxGetTopLevelParent(this); top && top != this)
            top->Bind(wxEVT_CLOSE_WINDOW, &CApplyPatchPage::OnTopLevelClose, this);
    });
}

void CApplyPatchPage::OnPageChanging(wxBookCtrlEvent& event)
{
    event.Skip();
    auto* book = dynamic_cast<wxBookCtrlBase*>(GetParent());
    if (book && event.GetOldSelection() != wxNOT_FOUND && book->GetPage(event.GetOldSelection()) == this) {
        ReadControls();
        StoreFields();
    }
}

void CApplyPatchPage::OnTopLevelClose(wxCloseEvent& event)
{
    event.Skip();
    ReadControls();
    StoreFields();
}

void CApplyPatchPage::ReadControls()
{
    folder = FromWx(folderEdit_->GetValue());
    patchFile = FromWx(patchEdit_->GetValue());
    backup = backupCheck_->GetValue() ? 1 : 0;
    backupExt = FromWx(backupExtEdit_->GetValue());
}

void CApplyPatchPage::ShowFields()
{
    ShowText(folderEdit_, folder);
    ShowText(patchEdit_, patchFile);
    backupCheck_->SetValue(backup != 0);
    ShowText(backupExtEdit_, backupExt);
}

void CApplyPatchPage::LoadFields()
{
    // On the first run after a build the patch just built and its old folder are offered.
    const CSettings& s = TheApp().Settings();
    patchFile = s.applyPatchFile.empty() ? s.patchFile : s.applyPatchFile;
    folder = s.applyFolder.empty() ? s.oldFolder : s.applyFolder;
    backup = s.backup;
    backupExt = s.backupExt;
}

void CApplyPatchPage::StoreFields()
{
    CSettings& s = TheApp().Settings();
    s.applyFolder = folder;
    s.applyPatchFile = patchFile;
    s.backup = backup;
    s.backupExt = backupExt;
}

void CApplyPatchPage::EnableBackupExt()
{
    backupExtEdit_->Enable(backup != 0);
}

wxWindow* CApplyPatchPage::Sheet()
{
    for (wxWindow* w = GetParent(); w; w = w->GetParent())
        if (dynamic_cast<CExpertModePropSheet*>(w))
            return w;
    return GetParent();
}

void CApplyPatchPage::OnBrowseFolder(wxCommandEvent&)
{
    ReadControls();
    if (ChooseFolder(this, "Choose folder to Apply Patch to...", folder))
        ShowFields();
}

void CApplyPatchPage::OnBrowsePatch(wxCommandEvent&)
{
    ReadControls();
    std::string path;
    if (!ChoosePatchFileToOpen(this, "Select Patch File", patchFile, path))
        return;
    patchFile = path;
    ShowFields();
}

void CApplyPatchPage::OnBackupClicked(wxCommandEvent&)
{
    ReadControls();
    EnableBackupExt();
}

void CApplyPatchPage::Fail(const std::string& text)
{
    TheApp().Core().Ask(PromptOwner::MainWindow, text, kErrorTitle, PromptButtons::OK, PromptIcon::None);
}

void CApplyPatchPage::OnApply(wxCommandEvent&)
{
    CAppCore& core = TheApp().Core();
    wxBusyCursor wait;
    ReadControls();

    if (folder.empty()) {
        folderEdit_->SetFocus();
        Fail(LoadString(115));
        return;
    }
    if (patchFile.empty()) {
        patchEdit_->SetFocus();
        Fail("Please specify the name of the patch file. ");
        return;
    }
    if (EndsWithNoCase(patchFile, "exe")) {
        // A self-extracting patch program is run, not opened: it is given the folder.
        if (core.Ask(PromptOwner::MainWindow, LoadString(126), "Delvorin Question", PromptButtons::YesNo,
                     PromptIcon::Question) == PromptAnswer::Yes)
            StartProgram({patchFile, folder});
        return;
    }

    CDirDiff& dirDiff = TheApp().GetDirDiff();
    // Opening the patch replaces the engine's remove list with the patch's own; the list
    // the Build page holds for the next build comes back when the apply is over.
    CRemoveListKeeper keepBuildRemoveList(dirDiff);

    CApplyJob job(core, dirDiff, patchFile);
    if (!job.Open()) {
        // One message per failure: the reader may have said why already.
        if (!job.OpenFailure().reported)
            Fail(job.OpenFailure().message);
        return;
    }

    CApplyProgressDlg progress;
    progress.Create(Sheet()); // disables the Expert mode window while it exists
    job.SetOwner(PromptOwner::ProgressDialog);
    const CApplyOutcome outcome = job.Apply(folder, backup, backupExt, &progress);
    progress.Finish();
    if (outcome.kind == CApplyOutcome::Kind::Applied && !outcome.backupLines.empty()) {
        CAppliedDlg report(this, kAppliedText, outcome.backupLines);
        report.ShowModal();
    } else if (outcome.kind == CApplyOutcome::Kind::Applied) {
        core.Ask(PromptOwner::MainWindow, kAppliedText, kApplyTitle, PromptButtons::OK, PromptIcon::None);
    } else if (outcome.VerificationFailed()) {
        CErrorsDlg errors(this);
        errors.contact = core.userName + ", " + core.userOrganization;
        errors.ShowModal();
    } else {
        // Stopped midway: how far it came, and that applying again finishes the job.
        core.Ask(PromptOwner::MainWindow, StoppedApplyText(outcome, kApplyAgain), kApplyTitle, PromptButtons::OK,
                 PromptIcon::Stop);
    }
    job.Close();
}

void CApplyPatchPage::OnHelp(wxCommandEvent&)
{
    TheApp().ShowHelp(kHelpContext);
}

void CApplyPatchPage::OnExit(wxCommandEvent&)
{
    ReadControls();
    StoreFields();
    if (wxWindow* top = wxGetTopLevelParent(this); top && top != this)
        top->Close();
}
