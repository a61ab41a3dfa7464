#include "ui/CSplitDlg.h"

#include "app/StringTable.h"
#include "ui/CDelvorinApp.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/stattext.h>

CSplitDlg::CSplitDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Split Patch File", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(DluSize(this, 172, 82));
    new wxStaticText(this, wxID_ANY, "Split patch file into files not larger than:", DluPoint(this, 7, 7),
                     DluSize(this, 158, 11), wxST_NO_AUTORESIZE);
    const wxString entries[] = {kNoSplit, "720", "1440"};
    combo_ = new wxComboBox(this, kIdSize, "", DluPoint(this, 7, 21), wxSize(DluSize(this, 137, 14).x, -1), 3, entries,
                            wxCB_DROPDOWN);
    new wxStaticText(this, wxID_ANY, "KB", DluPoint(this, 148, 23), DluSize(this, 10, 8), wxST_NO_AUTORESIZE);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, 28, 61), DluSize(this, 50, 14));
    new wxButton(this, wxID_CANCEL, "Cancel", DluPoint(this, 94, 61), DluSize(this, 50, 14));
    ok->SetDefault();

    Bind(wxEVT_INIT_DIALOG, &CSplitDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CSplitDlg::OnOK, this, wxID_OK);
    CentreOnParent();
}

bool CSplitDlg::ParseSplitSize(const std::string& text, uint16_t& size)
{
    if (text == kNoSplit) {
        size = 0;
        return true;
    }
    if (text.empty())
        return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = (value * 10 + static_cast<uint32_t>(c - '0')) & 0xFFFF; // the low 16 bits of the number
    }
    size = static_cast<uint16_t>(value);
    return true;
}

void CSplitDlg::OnInitDialog(wxInitDialogEvent& event)
{
    event.Skip();
    uint16_t size = TheApp().Settings().splitSize;
    if (size == 0) {
        combo_->SetSelection(0);
    } else if (size == 720) {
        combo_->SetSelection(1);
    } else if (size == 1440) {
        combo_->SetSelection(2);
    } else {
        combo_->SetSelection(combo_->Append(wxString::Format("%u", unsigned(size))));
    }
}

void CSplitDlg::OnOK(wxCommandEvent&)
{
    uint16_t size = 0;
    if (!ParseSplitSize(FromWx(combo_->GetValue()), size)) {
        combo_->SetFocus();
        TheApp().Core().Ask(PromptOwner::MainWindow, LoadString(128), LoadString(120), PromptButtons::OK,
                            PromptIcon::None);
        return;
    }
    TheApp().Settings().splitSize = size;
    EndModal(wxID_OK);
}
