#include "ui/CExpertModePropFrame.h"

#include "ui/AppIcon.h"
#include "ui/CApplyPatchPage.h"
#include "ui/CBuildPatchPage.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinDlg.h"
#include "ui/WindowKeys.h"

#include <wx/button.h>
#include <wx/notebook.h>
#include <wx/sizer.h>

CExpertModePropSheet::CExpertModePropSheet(wxWindow* parent, const wxString& caption)
    : wxPanel(parent, wxID_ANY), caption_(caption)
{
    notebook_ = new wxNotebook(this, wxID_ANY);
    buildPage_ = new CBuildPatchPage(notebook_);
    applyPage_ = new CApplyPatchPage(notebook_);
    notebook_->AddPage(buildPage_, CBuildPatchPage::kTitle, true);
    notebook_->AddPage(applyPage_, CApplyPatchPage::kTitle, false);

    ok_ = new wxButton(this, wxID_OK, "OK");
    cancel_ = new wxButton(this, wxID_CANCEL, "Cancel");
    // In Expert mode the sheet has no OK: its Cancel button reads "Exit" and, like the
    // pages' own Exit buttons, asks the window to close.
    ok_->Hide();
    cancel_->SetLabel("Exit");

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(ok_, 0, wxRIGHT, 6);
    buttons->Add(cancel_, 0);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(notebook_, 1, wxEXPAND | wxALL, 7);
    top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 7);
    SetSizerAndFit(top);

    Bind(wxEVT_BUTTON, &CExpertModePropSheet::OnExit, this, wxID_CANCEL);
    Bind(wxEVT_BUTTON, &CExpertModePropSheet::OnOk, this, wxID_OK);
}

int CExpertModePropSheet::CurrentHelpContext() const
{
    return notebook_->GetCurrentPage() == applyPage_ ? CApplyPatchPage::kHelpContext : CBuildPatchPage::kHelpContext;
}

void CExpertModePropSheet::OnExit(wxCommandEvent&)
{
    if (wxWindow* frame = wxGetTopLevelParent(this))
        frame->Close();
}

void CExpertModePropSheet::OnOk(wxCommandEvent&)
{
    // The OK button is hidden in Expert mode; nothing to do should it be pressed anyway.
}

CExpertModePropFrame::CExpertModePropFrame() = default;

bool CExpertModePropFrame::CreateFrame(const wxString& title)
{
    if (!Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
                wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX))
        return false;
    sheet_ = new CExpertModePropSheet(this, title);
    if (!sheet_->GetHandle()) {
        sheet_->Destroy();
        sheet_ = nullptr;
        return false;
    }
    // Exactly the sheet's size, the sheet at 0,0.
    SetClientSize(sheet_->GetSize());
    sheet_->Move(0, 0);
    SetIcons(AppIcons());

    Bind(wxEVT_CLOSE_WINDOW, &CExpertModePropFrame::OnClose, this);
    Bind(wxEVT_ACTIVATE, &CExpertModePropFrame::OnActivate, this);
    Bind(wxEVT_MENU, &CExpertModePropFrame::OnHelp, this, wxID_HELP);
    // Closing this window ends the program: Ctrl+W and Ctrl+Q both close it.
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_EXIT);
    SetWindowKeys(this);

    Centre(wxBOTH);
    Show();
    return true;
}

void CExpertModePropFrame::OnClose(wxCloseEvent& event)
{
    // Closing Expert mode ends the program: the window itself stays, and the main
    // dialog is told to end its modal run (the program's shut-down then saves the
    // settings). Only a close that cannot be refused closes the window.
    if (!event.CanVeto()) {
        event.Skip();
        return;
    }
    event.Veto();
    auto* mainDialog = wxApp::GetInstance() ? dynamic_cast<CDelvorinDlg*>(wxTheApp->GetTopWindow()) : nullptr;
    if (mainDialog) {
        wxCommandEvent cancel(wxEVT_BUTTON, wxID_CANCEL);
        cancel.SetEventObject(mainDialog);
        wxPostEvent(mainDialog, cancel);
    }
}

void CExpertModePropFrame::OnActivate(wxActivateEvent& event)
{
    event.Skip();
    if (sheet_) {
        wxActivateEvent forwarded(wxEVT_ACTIVATE, event.GetActive(), sheet_->GetId());
        forwarded.SetEventObject(sheet_);
        sheet_->GetEventHandler()->ProcessEvent(forwarded);
    }
}

void CExpertModePropFrame::OnHelp(wxCommandEvent&)
{
    if (sheet_)
        TheApp().ShowHelp(sheet_->CurrentHelpContext());
}
