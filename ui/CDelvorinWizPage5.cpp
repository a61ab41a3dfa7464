#include "ui/CDelvorinWizPage5.h"

#include "app/StringTable.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CPictureCtrl.h"
#include "ui/DesktopCalls.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

CDelvorinWizPage5::CDelvorinWizPage5(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard: Apply Patch 1 of 2", kHelpContext, 190)
{
    AddText("Which folder contains the OLD set of files that need to be UPDATED with a patch file?", 150, 7, 163, 18);
    folderEdit_ = AddEdit(kIdFolder, 149, 31, 117, 14);
    AddButton(kIdBrowse, "&Browse...", 269, 31, 44, 14);
    AddPicture(kIdPicture, 7, 7, 136, 175);
    FinishLayout();

    Bind(wxEVT_BUTTON, &CDelvorinWizPage5::OnBrowse, this, kIdBrowse);
}

void CDelvorinWizPage5::ReadControls()
{
    folder = FromWx(folderEdit_->GetValue());
}

void CDelvorinWizPage5::ShowFields()
{
    ShowText(folderEdit_, folder);
}

void CDelvorinWizPage5::OnInitDialog()
{
    folder = TheApp().Settings().applyFolder;
    ShowFields();
    Picture()->SetBitmap(kPictureId);
}

void CDelvorinWizPage5::OnSetActive()
{
    // The field is not reloaded on later activations.
    Sheet().SetWizardButtons(kBack | kNext);
}

bool CDelvorinWizPage5::OnWizardBack()
{
    // The previous page of this one is page 1: the build pages are skipped.
    ReadControls();
    return true;
}

bool CDelvorinWizPage5::OnWizardNext()
{
    ReadControls();
    // Stored before the check, so an empty folder is kept too. The folder is neither
    // checked for characters nor for existence: the apply's verification reports the
    // files it cannot find.
    TheApp().Settings().applyFolder = folder;
    if (folder.empty()) {
        folderEdit_->SetFocus();
        Message(LoadString(115), kErrorTitle);
        return false;
    }
    Sheet().applyFolder = folder;
    return true;
}

void CDelvorinWizPage5::OnCancel()
{
    ReadControls();
    TheApp().Settings().applyFolder = folder;
}

void CDelvorinWizPage5::OnBrowse(wxCommandEvent&)
{
    ReadControls();
    if (ChooseFolder(this, "Browse for a folder to apply a Delvorin file to", folder))
        ShowFields();
}
