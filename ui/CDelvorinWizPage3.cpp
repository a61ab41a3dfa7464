#include "ui/CDelvorinWizPage3.h"

#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/CSplitDlg.h"
#include "ui/DesktopCalls.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

CDelvorinWizPage3::CDelvorinWizPage3(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard: Build Patch 2 of 3", kHelpContext, 212)
{
    AddText("Which folder contains the NEW set of files that need to be analyzed to create a patch file?", 150, 7,
            163, 18);
    newEdit_ = AddEdit(kIdNewFolder, 150, 28, 117, 14);
    AddButton(kIdBrowse, "&Browse...", 275, 28, 38, 14);
    AddText("Please note:  Delvorin automatically searches and analyzes all of the files in all fhe folders that "
            "are contained in this folder.",
            150, 47, 163, 27);
    AddText("What is the name of the default folder on the user's PC you want to apply the patch to:", 150, 82, 163,
            20);
    defaultEdit_ = AddEdit(kIdDefaultFolder, 150, 103, 163, 14);
    AddText("If you would like to exclude files in the New Files folder from being included in the patch file, "
            "press Exclude.",
            150, 128, 122, 28);
    AddButton(kIdExclude, "&Exclude...", 278, 133, 35, 14);
    AddText("If you would like to split the patch file into multiple files so the patch can be copied to "
            "diskettes, press Split.",
            150, 163, 122, 28);
    AddButton(kIdSplit, "&Split...", 278, 168, 35, 14);
    AddPicture(kIdPicture, 7, 7, 136, 175);
    FinishLayout();

    Bind(wxEVT_BUTTON, &CDelvorinWizPage3::OnBrowse, this, kIdBrowse);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage3::OnExclude, this, kIdExclude);
    Bind(wxEVT_BUTTON, &CDelvorinWizPage3::OnSplit, this, kIdSplit);
}

void CDelvorinWizPage3::ReadControls()
{
    newFolder = FromWx(newEdit_->GetValue());
    defaultFolder = FromWx(defaultEdit_->GetValue());
}

void CDelvorinWizPage3::ShowFields()
{
    ShowText(newEdit_, newFolder);
    ShowText(defaultEdit_, defaultFolder);
}

void CDelvorinWizPage3::FallBackOnOldFolder()
{
    if (defaultFolder.empty())
        defaultFolder = Sheet().oldFolder;
}

void CDelvorinWizPage3::OnInitDialog()
{
    Picture()->SetBitmap(kPictureId);
    defaultFolder = TheApp().Settings().defaultFolder;
    FallBackOnOldFolder();
    ShowFields();
}

void CDelvorinWizPage3::OnSetActive()
{
    Sheet().SetWizardButtons(kBack | kNext);
    // Every time: the stored values replace whatever was typed here before Back.
    const CSettings& settings = TheApp().Settings();
    defaultFolder = settings.defaultFolder;
    newFolder = settings.newFolder;
    FallBackOnOldFolder();
    ShowFields();
}

void CDelvorinWizPage3::Fail(const std::string& text, wxTextCtrl* focus)
{
    focus->SetFocus();
    Message(text, kErrorTitle);
}

bool CDelvorinWizPage3::OnWizardNext()
{
    ReadControls();
    if (newFolder.empty()) {
        Fail(LoadString(124), newEdit_);
        return false;
    }
    if (HasForbiddenNameChar(newFolder)) {
        Fail(LoadString(129), newEdit_);
        return false;
    }
    // An empty default apply folder is accepted.
    if (HasForbiddenNameChar(defaultFolder)) {
        Fail(LoadString(129), defaultEdit_);
        return false;
    }
    CDelvorinWiz& sheet = Sheet();
    sheet.newFolder = newFolder;
    sheet.defaultFolder = defaultFolder;
    // Compared exactly: /data and /Data are different folders.
    if (sheet.oldFolder == sheet.newFolder) {
        Fail(LoadString(107), newEdit_);
        return false;
    }
    CSettings& settings = TheApp().Settings();
    settings.newFolder = newFolder;
    settings.defaultFolder = defaultFolder;
    return true;
}

void CDelvorinWizPage3::OnCancel()
{
    ReadControls();
    CSettings& settings = TheApp().Settings();
    settings.newFolder = newFolder;
    settings.defaultFolder = defaultFolder;
}

void CDelvorinWizPage3::OnBrowse(wxCommandEvent&)
{
    ReadControls();
    if (ChooseFolder(this, "Browse for New Files Folder", newFolder))
        ShowFields();
}

void CDelvorinWizPage3::OnExclude(wxCommandEvent&)
{
    ReadControls();
    ChooseFiles(newFolder, CFileChooserDlg::kExcludeMode);
}

void CDelvorinWizPage3::OnSplit(wxCommandEvent&)
{
    // The split dialog edits "SplitSize" itself; the page's fields are not touched.
    CSplitDlg split(nullptr);
    split.ShowModal();
}
