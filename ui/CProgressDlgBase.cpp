#include "ui/CProgressDlgBase.h"

#include "app/StringTable.h"
#include "platform/Progress.h"
#include "ui/CDelvorinApp.h"
#include "ui/DialogUnits.h"
#include "ui/ModalGrab.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include <algorithm>

CProgressDlgBase::CProgressDlgBase(int defaultCaptionId, int captionId, const char* templateTitle, int dluWidth,
                                   int dluHeight)
    : captionId_(captionId != 0 ? captionId : defaultCaptionId), templateTitle_(templateTitle), dluWidth_(dluWidth),
      dluHeight_(dluHeight)
{
}

CProgressDlgBase::~CProgressDlgBase()
{
    Finish();
}

void CProgressDlgBase::Finish()
{
    if (!created_)
        return;
    if (IsShown())
        Hide();
    if (ownerDisabled_ && owner_) {
        owner_->Enable();
        RestoreModalGrab(owner_);
    }
    ownerDisabled_ = false;
    if (wxApp::GetInstance() && TheApp().ActiveProgressDialog() == this)
        TheApp().SetActiveProgressDialog(nullptr);
}

bool CProgressDlgBase::Create(wxWindow* parent)
{
    wxWindow* start = parent ? parent : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    owner_ = start ? wxGetTopLevelParent(start) : nullptr;
    if (owner_ && owner_->IsEnabled()) {
        owner_->Disable();
        ownerDisabled_ = true;
    }

    created_ = wxDialog::Create(parent, wxID_ANY, templateTitle_, wxDefaultPosition, wxDefaultSize,
                                wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    if (!created_) {
        if (ownerDisabled_ && owner_)
            owner_->Enable();
        ownerDisabled_ = false;
        return false;
    }
    SetClientSize(DluSize(this, dluWidth_, dluHeight_));
    CreateControls();
    Bind(wxEVT_BUTTON, &CProgressDlgBase::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_BUTTON, &CProgressDlgBase::OnOk, this, wxID_OK);
    Bind(wxEVT_CLOSE_WINDOW, &CProgressDlgBase::OnClose, this);
    OnOpening();
    SetTitle(ToWx(LoadString(captionId_)));
    CentreOnParent();
    Show();
    if (wxApp::GetInstance())
        TheApp().SetActiveProgressDialog(this);
    return true;
}

void CProgressDlgBase::PumpMessages()
{
    // The events the program sent to itself are handled at every call: they cost little.
    if (wxTheApp)
        wxTheApp->ProcessPendingEvents();
    // The engine calls in here thousands of times a second; a person sees a few dozen
    // updates a second at most, and every round of the toolkit's own events (input,
    // layout, painting) costs time the work then lacks. So the toolkit runs at most
    // kYieldsPerSecond times a second; a click on Cancel waits for the next round.
    const auto now = std::chrono::steady_clock::now();
    if (yielded_ && now - lastYield_ < std::chrono::milliseconds(1000 / kYieldsPerSecond))
        return;
    yielded_ = true;
    lastYield_ = now;
    // Yielding needs an event loop: while none runs (a test, or the start-up) one is
    // made for the moment. The yield processes only what is pending and never waits.
    wxEventLoopGuarantor loopForYield;
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
        loop->YieldFor(wxEVT_CATEGORY_ALL);
}

bool CProgressDlgBase::CheckCancel()
{
    if (!created_)
        return false;
    PumpMessages();
    bool requested = cancelRequested_;
    cancelRequested_ = false;
    return requested;
}

void CProgressDlgBase::OnCancel(wxCommandEvent&)
{
    // Cancel, Escape and Enter (Cancel is the default button) only raise the request;
    // the engine asks the user at its next check and the dialog stays open.
    cancelRequested_ = true;
}

void CProgressDlgBase::OnOk(wxCommandEvent&)
{
    // An OK command neither closes the dialog nor raises a request.
}

void CProgressDlgBase::OnClose(wxCloseEvent& event)
{
    if (event.CanVeto()) {
        event.Veto();
        cancelRequested_ = true;
    } else {
        Hide(); // the object belongs to the handler that runs the work
    }
}

void CProgressDlgBase::SetupBar(wxGauge* bar)
{
    bar->SetRange(std::max(upper - lower, 1));
    bar->SetValue(0); // the position lower
}

void CProgressDlgBase::SetBar(wxGauge* bar, wxStaticText* percent, int pos)
{
    // Bars and labels are touched only when they change: each change costs the toolkit
    // a redraw, and the engine reports the same position many times.
    int range = std::max(upper - lower, 1);
    int value = std::clamp(pos - lower, 0, range);
    if (bar->GetValue() != value)
        bar->SetValue(value);
    wxString text = ToWx(PercentLabel(pos, lower, upper));
    if (percent->GetLabel() != text) // rewritten only on change, to avoid flicker
        percent->SetLabel(text);
}

void CProgressDlgBase::SetTextIfChanged(wxStaticText* label, const std::string& text)
{
    wxString value = ToWx(text);
    if (label->GetLabelText() != value)
        label->SetLabelText(value);
}

wxStaticText* CProgressDlgBase::AddText(int id, const char* text, int x, int y, int cx, int cy)
{
    return new wxStaticText(this, id, text, DluPoint(this, x, y), DluSize(this, cx, cy),
                            wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
}

wxStaticText* CProgressDlgBase::AddPercentLabel(int id, int x, int y, int cx, int cy)
{
    wxStaticText* label = AddText(id, " 0 %", x, y, cx, cy);
    // The widest text, "100%", must fit with the desktop's font: the label grows to the
    // right (nothing else is on its row).
    int widest = label->GetTextExtent("100%").x + 2;
    if (label->GetSize().x < widest)
        label->SetSize(widest, label->GetSize().y);
    return label;
}

wxGauge* CProgressDlgBase::AddBar(int id, int x, int y, int cx, int cy)
{
    return new wxGauge(this, id, 100, DluPoint(this, x, y), DluSize(this, cx, cy), wxGA_HORIZONTAL | wxGA_SMOOTH);
}

void CProgressDlgBase::AddCancelButton(int x, int y)
{
    auto* cancel = new wxButton(this, wxID_CANCEL, "Cancel", DluPoint(this, x, y), DluSize(this, 50, 14));
    cancel->SetDefault();
    cancel->SetFocus();
}
