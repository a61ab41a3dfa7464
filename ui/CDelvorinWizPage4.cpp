#include "ui/CDelvorinWizPage4.h"

#include "jobs/BuildProject.h"
#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CPictureCtrl.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/DesktopCalls.h"
#include "ui/DialogUnits.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>


namespace {

const char kPatchExtension[] = "dvp";
const char kProgramExtension[] = "exe";

void ShowPictureMessage(CPictureMessageDlg&& dialog, const std::string& text)
{
    dialog.message = text;
    dialog.ShowModal();
}

} // namespace

CDelvorinWizPage4::CDelvorinWizPage4(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard: Build Patch 3 of 3", kHelpContext, 240)
{
    AddText("You are almost ready to create your Delvorin file!", 150, 7, 162, 10);
    AddText("What is the file name of the patch file you want to create?", 150, 18, 162, 19);
    patchEdit_ = AddEdit(kIdPatchFile, 150, 37, 117, 14);
    AddButton(kIdBrowse, "&Browse...", 274, 37, 38, 14);
    selfExtractCheck_ = AddCheck(kIdSelfExtract, "Create self-extracting patch program", 150, 54, 129, 10);
    systemChoice_.Create(this, kIdForLinux, kForLinuxText, DluPoint(this, 160, 65), kIdForWindows, kForWindowsText,
                         DluPoint(this, 210, 65));
    AddText("Type in the text you want to display to users in the Delvorin Apply program dialog when they are "
            "applying a patch file you create:",
            150, 77, 162, 25);
    textEdit_ = AddEdit(kIdDialogText, 150, 104, 162, 39, wxTE_MULTILINE | wxVSCROLL);
    AddText("To type in a carriage return, press <Ctrl>+<Enter>", 150, 146, 162, 8);
    AddText("Press Save to save your Delvorin project settings in a Delvorin project file.  Press Finish to start "
            "building the patch file.",
            152, 159, 160, 26);
    // The thorough matching option and the patch format are too long for the right-hand
    // column: they take the free rows under the picture, beside the Save button.
    thoroughCheck_ = AddCheck(kIdThorough, "Thorough matching (smaller patch, slower build)", 7, 192, 190, 10);
    AddText(kPatchFormatLabel, 7, 207, 50, 8);
    formatChoice_.Create(this, kIdClassicFormat, kClassicFormatText, DluPoint(this, 57, 206), kIdCompactFormat,
                         kCompactFormatText, DluPoint(this, 57, 217));
    AddButton(kIdSave, "&Save", 205, 190, 50, 14);
    AddPicture(kIdPicture, 7, 7, 136, 175);
    FinishLayout();

    Bind(wxEVT_CHECKBOX, &CDelvorinWizPage4::OnSelfExtractClicked, this, kIdSelfExtract);
    Bind(wxEVT_RADIOBUTTON, &CDelvorinWizPage4::OnChoiceClicked, this, kIdForLinux, kIdCompactFormat);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage4::OnBrowse, this, kIdBrowse);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage4::OnSaveProject, this, kIdSave);
    textEdit_->Bind(wxEVT_KEY_DOWN, &CDelvorinWizPage4::OnDialogTextKey, this);
}

void CDelvorinWizPage4::ReadControls()
{
    patchFile = FromWx(patchEdit_->GetValue());
    dialogText = FromWx(textEdit_->GetValue());
    selfExtract = selfExtractCheck_->GetValue() ? 1 : 0;
    thorough = thoroughCheck_->GetValue() ? 1 : 0;
    compact = formatChoice_.Value();
    forWindows = systemChoice_.Value();
}

void CDelvorinWizPage4::ShowFields()
{
    ShowText(patchEdit_, patchFile);
    // A text kept with carriage return and line feed shows as plain line breaks.
    wxString text = ToWx(dialogText);
    text.Replace("\r\n", "\n");
    if (textEdit_->GetValue() != text)
        textEdit_->ChangeValue(text);
    selfExtractCheck_->SetValue(selfExtract != 0);
    thoroughCheck_->SetValue(thorough != 0);
    formatChoice_.Show(compact);
    systemChoice_.Show(forWindows);
    systemChoice_.Enable(selfExtract != 0); // it matters only for a self-extracting program
}

void CDelvorinWizPage4::ApplyExtensionRule()
{
    if (!patchFile.empty())
        patchFile = WithPatchExtension(patchFile, selfExtract ? kProgramExtension : kPatchExtension);
}

void CDelvorinWizPage4::OnInitDialog()
{
    Picture()->SetBitmap(kPictureId);
}

void CDelvorinWizPage4::OnSetActive()
{
    Sheet().SetWizardButtons(kBack | kFinish);
    const CSettings& settings = TheApp().Settings();
    patchFile = settings.patchFile;
    selfExtract = settings.selfExtract;
    thorough = settings.thorough;
    compact = settings.compact;
    forWindows = settings.forWindows;
    ApplyExtensionRule();
    dialogText = settings.dialogText;
    ShowFields();
}

void CDelvorinWizPage4::OnCancel()
{
    // The dialog text is not kept by Cancel.
    ReadControls();
    CSettings& settings = TheApp().Settings();
    settings.patchFile = patchFile;
    settings.selfExtract = selfExtract;
    settings.thorough = thorough;
    settings.compact = compact;
    settings.forWindows = forWindows;
}

void CDelvorinWizPage4::OnSelfExtractClicked(wxCommandEvent&)
{
    ReadControls();
    ApplyExtensionRule();
    ShowFields();
}

void CDelvorinWizPage4::OnChoiceClicked(wxCommandEvent&)
{
    ReadControls();
}

void CDelvorinWizPage4::OnBrowse(wxCommandEvent&)
{
    ReadControls();
    std::string path;
    if (!ChoosePatchFileToSave(this, selfExtract != 0, patchFile, Sheet().newFolder, path))
        return;
    patchFile = WithDvpWhenNoExtension(path);
    ApplyExtensionRule();
    ShowFields();
}

void CDelvorinWizPage4::OnSaveProject(wxCommandEvent&)
{
    std::string path;
    if (!ChooseProjectFile(this, true, Sheet().newFolder, path))
        return;
    path = ProjectPathWithExtension(path);

    // This page's patch file, self-extract option and dialog text; the folders the
    // sheet carries; the split size and both lists as they are now.
    ReadControls();
    const CDelvorinWiz& sheet = Sheet();
    TheApp().Settings().forWindows = forWindows; // the project takes it from there
    CProjectData project = ProjectFromSettings(TheApp().Settings(), TheApp().GetDirDiff());
    project.compact = compact != 0;
    project.defaultEqualsNew = sheet.defaultEqualsNew != 0;
    project.patchFile = patchFile;
    project.selfExtract = selfExtract != 0;
    project.thorough = thorough != 0;
    project.dialogText = dialogText;
    project.oldFolder = sheet.oldFolder;
    project.newFolder = sheet.newFolder;
    project.defaultFolder = sheet.defaultFolder;
    if (!WriteProjectFile(path, project)) {
        // A project that silently failed to save would be missed only when it is needed.
        Message("Unable to save the project file:\n" + path, LoadString(120).c_str());
    }
}

void CDelvorinWizPage4::OnDialogTextKey(wxKeyEvent& event)
{
    int key = event.GetKeyCode();
    if (key != WXK_RETURN && key != WXK_NUMPAD_ENTER) {
        event.Skip();
        return;
    }
    if (event.ControlDown()) {
        textEdit_->WriteText("\n");
        return;
    }
    // The sheet's default button: Finish on this page.
    if (wxButton* finish = Sheet().NextButton()) {
        wxCommandEvent click(wxEVT_BUTTON, finish->GetId());
        click.SetEventObject(finish);
        finish->GetEventHandler()->ProcessEvent(click);
    }
}

bool CDelvorinWizPage4::ShowRefusal(CBuildJob& job)
{
    const CBuildRefusal refusal = job.Check();
    // The patch file name the build uses: a name without a folder lies in the home
    // folder; no extension is added.
    if (patchFile != job.Inputs().patchFile) {
        patchFile = job.Inputs().patchFile;
        ShowFields();
    }
    if (!refusal)
        return false;
    using Reason = CBuildRefusal::Reason;
    const bool patchNameError = refusal.reason == Reason::PatchNameMissing || refusal.reason == Reason::BadPatchName;
    Message(refusal.text, patchNameError ? kErrorTitle : kWarningTitle);
    if (refusal.field == CBuildRefusal::Field::PatchFile)
        patchEdit_->SetFocus();
    return true;
}

bool CDelvorinWizPage4::OnWizardFinish()
{
    wxBusyCursor wait;
    ReadControls();
    CAppCore& core = TheApp().Core();
    // Kept before any check, so that the header of the build carries it.
    core.settings.dialogText = dialogText;
    // The checks, the engine and the packaging read these there.
    core.settings.thorough = thorough;
    core.settings.compact = compact;
    core.settings.forWindows = forWindows;
    const CDelvorinWiz& sheet = Sheet();
    CBuildInputs inputs;
    inputs.oldFolder = sheet.oldFolder;
    inputs.newFolder = sheet.newFolder;
    inputs.patchFile = patchFile;
    inputs.selfExtract = selfExtract != 0;
    CBuildJob job(core, TheApp().GetDirDiff(), inputs);
    if (ShowRefusal(job))
        return false;
    // The Wizard closes after a build that succeeded; otherwise its pages and fields stay
    // for another try.
    return BuildPatchFile(job);
}

bool CDelvorinWizPage4::BuildPatchFile(CBuildJob& job)
{
    CAppCore& core = TheApp().Core();
    CDelvorinWiz& sheet = Sheet();

    CBuildProgressDlg progress;
    progress.Create(&sheet); // the sheet is disabled while the dialog exists
    const CBuildOutcome outcome = job.Run(&progress);
    progress.Finish();

    if (outcome.kind == CBuildOutcome::Kind::Built) {
        ShowPictureMessage(CSuccessDlg(), "The patch file:  " + patchFile + " was successfully created.");
        CSettings& settings = core.settings;
        settings.patchFile = patchFile;
        settings.oldFolder = sheet.oldFolder;
        settings.newFolder = sheet.newFolder;
        settings.selfExtract = selfExtract;
        settings.dialogText = dialogText;
        settings.defaultFolder = sheet.defaultFolder;
        settings.defaultEqualsNew = sheet.defaultEqualsNew;
        return true;
    }
    // A cancel the user confirmed needs no further message, nor a failed step that has
    // reported itself (one message per failure).
    if (outcome.kind == CBuildOutcome::Kind::Failed && !outcome.reported)
        ShowPictureMessage(CWhoopsDlg(), outcome.message);
    return false;
}
