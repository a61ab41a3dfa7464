#include "ui/CWizardPageBase.h"

#include "engine/common/CDirDiff.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/DialogUnits.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>

namespace {
constexpr int kPageDluWidth = 320;
// Template texts up to this height hold one line.
constexpr int kOneLineDluHeight = 12;
} // namespace

CWizardPageBase::CWizardPageBase(CDelvorinWiz* sheet, const char* title, int helpContext, int dluHeight)
    : wxWizardPageSimple(sheet), sheet_(sheet), title_(title), helpContext_(helpContext)
{
    SetSize(DluSize(this, kPageDluWidth, dluHeight));
    SetMinSize(GetSize());
    Bind(wxEVT_WIZARD_BEFORE_PAGE_CHANGED, &CWizardPageBase::OnBeforePageChanged, this);
    Bind(wxEVT_WIZARD_HELP, &CWizardPageBase::OnHelpEvent, this);
}

void CWizardPageBase::Activate()
{
    if (!opened_) {
        opened_ = true;
        OnInitDialog();
    }
    OnSetActive();
}

void CWizardPageBase::OnBeforePageChanged(wxWizardEvent& event)
{
    // Back goes to GetPrev(); forward goes to GetNext(), and a page without a next page
    // finishes the Wizard.
    bool allowed;
    if (!event.GetDirection())
        allowed = OnWizardBack();
    else if (GetNext() == nullptr)
        allowed = OnWizardFinish();
    else
        allowed = OnWizardNext();
    if (!allowed)
        event.Veto();
}

void CWizardPageBase::OnHelpEvent(wxWizardEvent&)
{
    ShowHelp();
}

void CWizardPageBase::ShowHelp()
{
    TheApp().ShowHelp(helpContext_);
}

void CWizardPageBase::AddText(const char* text, int x, int y, int cx, int cy)
{
    // A text that is one line in the template stays one line in the desktop's wider
    // font: it may run on towards the page's right edge.
    if (cy <= kOneLineDluHeight) {
        const int needed = ConvertPixelsToDialog(wxSize(GetTextExtent(text).x, 0)).x + 2;
        cx = std::max(cx, std::min(needed, kPageDluWidth - x));
    }
    AddWrappedText(this, wxID_ANY, text, x, y, cx, cy);
}

wxTextCtrl* CWizardPageBase::AddEdit(int id, int x, int y, int cx, int cy, long style)
{
    auto* edit = new wxTextCtrl(this, id, "", DluPoint(this, x, y), DluSize(this, cx, cy), style);
    if (!firstEdit_)
        firstEdit_ = edit;
    return edit;
}

void CWizardPageBase::SetFocus()
{
    if (wxWindow* field = FirstField(); field && field->IsEnabled())
        field->SetFocus();
    else
        wxWizardPageSimple::SetFocus();
}

wxButton* CWizardPageBase::AddButton(int id, const char* label, int x, int y, int cx, int cy)
{
    return new wxButton(this, id, label, DluPoint(this, x, y), DluSize(this, cx, cy));
}

wxCheckBox* CWizardPageBase::AddCheck(int id, const char* label, int x, int y, int cx, int cy)
{
    auto* box = new wxCheckBox(this, id, label, DluPoint(this, x, y), DluSize(this, cx, cy));
    FitToLabel(box);
    return box;
}

void CWizardPageBase::FitToLabel(wxWindow* control)
{
    // The desktop font can make a label longer than the template's rectangle.
    wxSize size = control->GetSize();
    wxSize best = control->GetBestSize();
    control->SetSize(std::max(size.x, best.x), std::max(size.y, best.y));
}

CPictureCtrl* CWizardPageBase::AddPicture(int id, int x, int y, int cx, int cy)
{
    picture_ = new CPictureCtrl(this, id, DluPoint(this, x, y), DluSize(this, cx, cy));
    return picture_;
}

void CWizardPageBase::FinishLayout()
{
    FitWrappedTexts(this);
    SetMinSize(GetSize());
}

void CWizardPageBase::ChooseFiles(const std::string& folder, int mode)
{
    CDirDiff& dirDiff = TheApp().GetDirDiff();
    {
        // The walk's result is not looked at, and the wait cursor covers only the walk.
        wxBusyCursor wait;
        dirDiff.ScanFolder(folder);
    }
    CFileChooserDlg chooser(nullptr, mode, &dirDiff);
    chooser.ShowModal();
}

void CWizardPageBase::Message(const std::string& text, const char* title)
{
    TheApp().Core().Ask(PromptOwner::MainWindow, text, title, PromptButtons::OK, PromptIcon::None);
}
