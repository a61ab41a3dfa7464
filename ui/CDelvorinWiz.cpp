#include "ui/CDelvorinWiz.h"

#include "app/StringTable.h"
#include "ui/AppIcon.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWizPage1.h"
#include "ui/CDelvorinWizPage2.h"
#include "ui/CDelvorinWizPage3.h"
#include "ui/CDelvorinWizPage4.h"
#include "ui/CDelvorinWizPage5.h"
#include "ui/CDelvorinWizPage6.h"
#include "ui/WindowKeys.h"
#include "ui/WxText.h"

#include <wx/accel.h>
#include <wx/button.h>
#include <wx/sizer.h>

namespace {
// The labels wxWizard gives its forward button.
const char kNextLabel[] = "&Next >";
const char kFinishLabel[] = "&Finish";
} // namespace

CDelvorinWiz::CDelvorinWiz(wxWindow* parent) : caption_(ToWx(LoadString(kCaptionId)))
{
    SetExtraStyle(wxWIZARD_EX_HELPBUTTON);
    Create(parent, wxID_ANY, caption_);
    SetIcons(AppIcons());
    // The flag is only set by a project Open or Clear Project; until then a build or a
    // project save passes on the value the settings record holds.
    defaultEqualsNew = TheApp().Settings().defaultEqualsNew;
    AddPages();

    Bind(wxEVT_WIZARD_PAGE_CHANGED, &CDelvorinWiz::OnPageChanged, this);
    Bind(wxEVT_WIZARD_CANCEL, &CDelvorinWiz::OnWizardCancel, this);
    Bind(wxEVT_MENU, &CDelvorinWiz::OnHelpKey, this, wxID_HELP);
    Bind(wxEVT_MENU, &CDelvorinWiz::OnCloseKey, this, wxID_CLOSE);
    Bind(wxEVT_MENU, &CDelvorinWiz::OnQuitKey, this, wxID_EXIT);
    SetWindowKeys(this);
}

void CDelvorinWiz::AddPages()
{
    auto* page1 = new CDelvorinWizPage1(this);
    auto* page2 = new CDelvorinWizPage2(this);
    auto* page3 = new CDelvorinWizPage3(this);
    auto* page4 = new CDelvorinWizPage4(this);
    auto* page5 = new CDelvorinWizPage5(this);
    auto* page6 = new CDelvorinWizPage6(this);
    pages_ = {page1, page2, page3, page4, page5, page6};

    // The build branch runs 1-2-3-4 and ends on page 4, which has no next page; the
    // apply branch runs 1-5-6, and Back on page 5 returns to page 1. Page 1 chooses its
    // next page by the choice made on it.
    page1->Chain(page2).Chain(page3).Chain(page4);
    page5->SetPrev(page1);
    page5->Chain(page6);

    // The sheet is as large as its largest page.
    for (wxWizardPage* page : pages_)
        GetPageAreaSizer()->Add(page);
}

int CDelvorinWiz::Run()
{
    if (pages_.empty())
        return wxID_CANCEL;
    return RunWizard(pages_.front()) ? wxID_OK : wxID_CANCEL;
}

CWizardPageBase* CDelvorinWiz::Page(size_t index) const
{
    return index < pages_.size() ? static_cast<CWizardPageBase*>(pages_[index]) : nullptr;
}

CDelvorinWizPage1* CDelvorinWiz::Page1() const { return static_cast<CDelvorinWizPage1*>(Page(kChoosePage)); }
CDelvorinWizPage2* CDelvorinWiz::Page2() const { return static_cast<CDelvorinWizPage2*>(Page(kOldFolderPage)); }
CDelvorinWizPage3* CDelvorinWiz::Page3() const { return static_cast<CDelvorinWizPage3*>(Page(kNewFolderPage)); }
CDelvorinWizPage4* CDelvorinWiz::Page4() const { return static_cast<CDelvorinWizPage4*>(Page(kPatchFilePage)); }
CDelvorinWizPage5* CDelvorinWiz::Page5() const { return static_cast<CDelvorinWizPage5*>(Page(kApplyFolderPage)); }
CDelvorinWizPage6* CDelvorinWiz::Page6() const { return static_cast<CDelvorinWizPage6*>(Page(kApplyPatchPage)); }

CWizardPageBase* CDelvorinWiz::CurrentPage() const
{
    return dynamic_cast<CWizardPageBase*>(GetCurrentPage());
}

wxButton* CDelvorinWiz::BackButton() const { return dynamic_cast<wxButton*>(FindWindow(wxID_BACKWARD)); }
wxButton* CDelvorinWiz::NextButton() const { return dynamic_cast<wxButton*>(FindWindow(wxID_FORWARD)); }
wxButton* CDelvorinWiz::CancelButton() const { return dynamic_cast<wxButton*>(FindWindow(wxID_CANCEL)); }
wxButton* CDelvorinWiz::HelpButton() const { return dynamic_cast<wxButton*>(FindWindow(wxID_HELP)); }

void CDelvorinWiz::SetWizardButtons(int buttons)
{
    buttons_ = buttons;
    if (wxButton* back = BackButton())
        back->Enable((buttons & CWizardPageBase::kBack) != 0);
    if (wxButton* next = NextButton()) {
        const char* label = (buttons & CWizardPageBase::kFinish) ? kFinishLabel : kNextLabel;
        if (next->GetLabel() != label)
            next->SetLabel(label);
        next->Enable((buttons & (CWizardPageBase::kNext | CWizardPageBase::kFinish)) != 0);
    }
}

void CDelvorinWiz::OnPageChanged(wxWizardEvent& event)
{
    event.Skip();
    if (auto* page = dynamic_cast<CWizardPageBase*>(event.GetPage())) {
        SetTitle(page->Title());
        page->Activate();
    }
}

void CDelvorinWiz::OnWizardCancel(wxWizardEvent& event)
{
    // Cancel, Escape and the close box all end here. Every page opened during this run
    // stores its own fields (no two pages store the same value); the others store nothing.
    for (size_t i = 0; i < pages_.size(); ++i) {
        CWizardPageBase* page = Page(i);
        if (page->IsOpened())
            page->OnCancel();
    }
    event.Skip();
}

void CDelvorinWiz::OnCloseKey(wxCommandEvent&)
{
    // As the close box: the Wizard's Cancel, when Cancel can be pressed.
    if (CancelButton() && CancelButton()->IsEnabled())
        Close();
}

void CDelvorinWiz::OnQuitKey(wxCommandEvent& event)
{
    // Cancels the Wizard; once it has ended, the main dialog ends the program.
    quitRequested_ = true;
    OnCloseKey(event);
    if (IsModal())
        quitRequested_ = false; // the Wizard goes on: no quitting later
}

void CDelvorinWiz::OnHelpKey(wxCommandEvent&)
{
    if (CWizardPageBase* page = CurrentPage())
        page->ShowHelp();
}
