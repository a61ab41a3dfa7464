#include "ui/CAboutDlg.h"

#include "ui/AppIcon.h"
#include "ui/CDelvorinApp.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "About Delvorin", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    CAppCore& core = TheApp().Core();
    auto* top = new wxBoxSizer(wxVERTICAL);

    auto* head = new wxBoxSizer(wxHORIZONTAL);
    wxIconBundle icons = AppIcons();
    if (!icons.IsEmpty())
        head->Add(new wxStaticBitmap(this, wxID_ANY, icons.GetIcon(wxSize(32, 32))), 0, wxRIGHT | wxALIGN_TOP, 12);
    auto* lines = new wxBoxSizer(wxVERTICAL);
    auto* name = new wxStaticText(this, wxID_ANY, "Delvorin Version 1.2");
    name->SetFont(name->GetFont().Bold());
    lines->Add(name, 0, wxBOTTOM, 4);
    lines->Add(new wxStaticText(this, wxID_ANY, "Binary patch files for whole folder trees."), 0, wxBOTTOM, 4);
    lines->Add(new wxStaticText(this, wxID_ANY, "Copyright (C) Quenmark. All rights reserved."), 0, wxBOTTOM, 4);
    lines->Add(new wxStaticText(this, wxID_ANY, "Delvorin(TM) is a trademark of Quenmark."), 0);
    head->Add(lines, 1);
    top->Add(head, 0, wxALL, 12);

    auto* identity = new wxStaticBoxSizer(wxVERTICAL, this, "Publisher written into every patch file");
    auto* grid = new wxFlexGridSizer(2, 6, 8);
    grid->AddGrowableCol(1);
    grid->Add(new wxStaticText(identity->GetStaticBox(), wxID_ANY, "&Name:"), 0, wxALIGN_CENTER_VERTICAL);
    userName_ = new wxTextCtrl(identity->GetStaticBox(), kIdUserName, ToWx(core.userName));
    userName_->SetMaxLength(255);
    grid->Add(userName_, 1, wxEXPAND);
    grid->Add(new wxStaticText(identity->GetStaticBox(), wxID_ANY, "&Organization:"), 0, wxALIGN_CENTER_VERTICAL);
    organization_ = new wxTextCtrl(identity->GetStaticBox(), kIdOrganization, ToWx(core.userOrganization));
    organization_->SetMaxLength(255);
    grid->Add(organization_, 1, wxEXPAND);
    identity->Add(grid, 1, wxEXPAND | wxALL, 6);
    top->Add(identity, 0, wxEXPAND | wxLEFT | wxRIGHT, 12);

    auto* buttons = CreateStdDialogButtonSizer(wxOK | wxCANCEL);
    top->Add(buttons, 0, wxEXPAND | wxALL, 12);
    SetSizer(top);
    SetMinSize(wxSize(ConvertDialogToPixels(wxSize(220, 0)).x, -1));
    Fit();
    Centre();
}

bool CAboutDlg::TransferDataFromWindow()
{
    CAppCore& core = TheApp().Core();
    core.userName = FromWx(userName_->GetValue());
    core.userOrganization = FromWx(organization_->GetValue());
    return true;
}
