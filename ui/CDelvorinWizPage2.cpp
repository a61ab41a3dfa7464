#include "ui/CDelvorinWizPage2.h"

#include "jobs/BuildProject.h"
#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/DesktopCalls.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

CDelvorinWizPage2::CDelvorinWizPage2(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard: Build Patch 1 of 3", kHelpContext, 212)
{
    AddText("If you would like to open a Delvorin project file where you have saved the settings for a Delvorin "
            "project, press the Open button. If you would like to clear or project setting, press Clear Project.",
            150, 7, 163, 32);
    AddButton(kIdOpen, "&Open...", 167, 43, 62, 14);
    AddButton(kIdClearProject, "&Clear Project", 235, 43, 62, 14);
    AddText("Which folder contains the OLD set of files that need to be analyzed to create a patch file?", 150, 68,
            163, 18);
    oldEdit_ = AddEdit(kIdOldFolder, 150, 87, 117, 14);
    AddButton(kIdBrowse, "&Browse...", 275, 87, 38, 14);
    AddText("Please note:  Delvorin automatically searches and analyzes all of the files in all fhe folders that "
            "are contained in this folder.",
            150, 106, 163, 27);
    AddText("If you would like to have any of these files removed during the patch process, because they are "
            "obsolete and no longer needed on the user's system press the Remove Files button, to choose the files "
            "to remove.",
            150, 140, 157, 41);
    AddButton(kIdRemoveFiles, "&Remove Files...", 199, 190, 62, 14);
    AddPicture(kIdPicture, 7, 7, 136, 175);
    FinishLayout();

    Bind(wxEVT_BUTTON, &CDelvorinWizPage2::OnOpenProject, this, kIdOpen);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage2::OnClearProject, this, kIdClearProject);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage2::OnBrowse, this, kIdBrowse);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage2::OnRemoveFiles, this, kIdRemoveFiles);
}

void CDelvorinWizPage2::ReadControls()
{
    oldFolder = FromWx(oldEdit_->GetValue());
}

void CDelvorinWizPage2::ShowFields()
{
    ShowText(oldEdit_, oldFolder);
}

void CDelvorinWizPage2::OnInitDialog()
{
    oldFolder = TheApp().Settings().oldFolder;
    Picture()->SetBitmap(kPictureId);
    ShowFields();
}

void CDelvorinWizPage2::OnSetActive()
{
    Sheet().SetWizardButtons(kBack | kNext);
    // Later activations show the page's own field again; it is not reloaded.
    ShowFields();
}

bool CDelvorinWizPage2::OnWizardBack()
{
    // Back stores nothing; what was typed stays the page's field for its return.
    ReadControls();
    return true;
}

bool CDelvorinWizPage2::OnWizardNext()
{
    ReadControls();
    const std::string* failure = nullptr;
    if (oldFolder.empty())
        failure = &LoadString(123);
    else if (HasForbiddenNameChar(oldFolder))
        failure = &LoadString(129);
    if (failure) {
        oldEdit_->SetFocus();
        Message(*failure, kErrorTitle);
        return false;
    }
    Sheet().oldFolder = oldFolder;
    TheApp().Settings().oldFolder = oldFolder;
    return true;
}

void CDelvorinWizPage2::OnCancel()
{
    ReadControls();
    TheApp().Settings().oldFolder = oldFolder;
}

void CDelvorinWizPage2::OnOpenProject(wxCommandEvent&)
{
    std::string path;
    if (!ChooseProjectFile(this, false, "", path))
        return;

    // The settings record takes the patch file, the flags, the dialog text, the new and
    // default folders and the split size; both engine lists are refilled. The old folder
    // goes to this page and the sheet only: Next stores it.
    CSettings& settings = TheApp().Settings();
    CProjectData project;
    OpenProject(path, settings, TheApp().GetDirDiff(), project);
    CDelvorinWiz& sheet = Sheet();
    sheet.defaultEqualsNew = settings.defaultEqualsNew;
    oldFolder = project.oldFolder;
    sheet.oldFolder = project.oldFolder;
    sheet.newFolder = project.newFolder;
    sheet.defaultFolder = project.defaultFolder;
    // Pages 3 and 4 show the loaded values when they next become current, since they
    // reload from the settings record.
    ShowFields();
}

void CDelvorinWizPage2::OnClearProject(wxCommandEvent&)
{
    // Unlike the Build page's, the Wizard's Clear Project also empties the dialog text
    // and the split size, and leaves the log option alone.
    ClearWizardProject(TheApp().Settings(), TheApp().GetDirDiff());
    CDelvorinWiz& sheet = Sheet();
    sheet.defaultEqualsNew = 1;
    oldFolder.clear();
    sheet.oldFolder.clear();
    sheet.newFolder.clear();
    sheet.defaultFolder.clear();
    ShowFields();
}

void CDelvorinWizPage2::OnBrowse(wxCommandEvent&)
{
    ReadControls();
    if (ChooseFolder(this, "Browse for Old Files Folder", oldFolder))
        ShowFields();
}

void CDelvorinWizPage2::OnRemoveFiles(wxCommandEvent&)
{
    ReadControls();
    ChooseFiles(oldFolder, CFileChooserDlg::kRemoveMode);
}
