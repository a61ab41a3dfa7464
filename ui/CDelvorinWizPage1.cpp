#include "ui/CDelvorinWizPage1.h"

#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CPictureCtrl.h"
#include "ui/DialogUnits.h"

#include <wx/radiobut.h>

CDelvorinWizPage1::CDelvorinWizPage1(CDelvorinWiz* sheet)
    : CWizardPageBase(sheet, "Delvorin Wizard", kHelpContext, 190)
{
    AddText("Would you like to build a patch file?  Or, would you like to apply a patch file to a folder that "
            "contains a set of older files that need to be updated?",
            150, 7, 163, 29);
    build_ = new wxRadioButton(this, kIdBuild, "Build a new patch file", DluPoint(this, 150, 40),
                               DluSize(this, 115, 10), wxRB_GROUP);
    apply_ = new wxRadioButton(this, kIdApply, "Apply a patch file to a folder", DluPoint(this, 150, 53),
                               DluSize(this, 108, 10));
    FitToLabel(build_);
    FitToLabel(apply_);
    AddPicture(kIdPicture, 7, 7, 135, 177);
    FinishLayout();
}

void CDelvorinWizPage1::ReadControls()
{
    choice = apply_->GetValue() ? 1 : 0;
}

void CDelvorinWizPage1::ShowFields()
{
    (choice == 1 ? apply_ : build_)->SetValue(true);
}

wxWizardPage* CDelvorinWizPage1::GetNext() const
{
    return Sheet().Page(choice == 1 ? CDelvorinWiz::kApplyFolderPage : CDelvorinWiz::kOldFolderPage);
}

wxWindow* CDelvorinWizPage1::FirstField() const
{
    return apply_->GetValue() ? apply_ : build_;
}

void CDelvorinWizPage1::OnInitDialog()
{
    // Build at the first run after the program started; later the choice made last.
    choice = TheApp().wizardChoice;
    ShowFields();
    Picture()->SetBitmap(kPictureId);
}

void CDelvorinWizPage1::OnSetActive()
{
    Sheet().SetWizardButtons(kNext);
}

bool CDelvorinWizPage1::OnWizardNext()
{
    ReadControls();
    TheApp().wizardChoice = choice;
    return true;
}

void CDelvorinWizPage1::OnCancel()
{
    // The choice as last read on Next: a radio button changed since then is not kept.
    TheApp().wizardChoice = choice;
}
