#include "ui/CDialogTextDlg.h"

#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

CDialogTextDlg::CDialogTextDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Dialog Text", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(DluSize(this, 233, 130));
    AddWrappedText(this, wxID_ANY,
                   "Type in the text you want to display to users in the Delvorin Apply program dialog when they "
                   "are applying a patch file you create:",
                   7, 7, 219, 20);
    edit_ = new wxTextCtrl(this, kIdText, "", DluPoint(this, 7, 28), DluSize(this, 219, 54),
                           wxTE_MULTILINE | wxVSCROLL);
    new wxStaticText(this, wxID_ANY, "To type in a carriage return, press <Ctrl>+<Enter>", DluPoint(this, 7, 89),
                     DluSize(this, 169, 8), wxST_NO_AUTORESIZE);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, 58, 109), DluSize(this, 50, 14));
    new wxButton(this, wxID_CANCEL, "Cancel", DluPoint(this, 124, 109), DluSize(this, 50, 14));
    ok->SetDefault();
    FitWrappedTexts(this);
    edit_->Bind(wxEVT_KEY_DOWN, &CDialogTextDlg::OnEditKey, this);
    CentreOnParent();
}

bool CDialogTextDlg::TransferDataToWindow()
{
    // Texts kept with carriage return and line feed show as plain line breaks.
    wxString value = ToWx(text);
    value.Replace("\r\n", "\n");
    edit_->ChangeValue(value);
    return true;
}

bool CDialogTextDlg::TransferDataFromWindow()
{
    text = FromWx(edit_->GetValue());
    return true;
}

void CDialogTextDlg::OnEditKey(wxKeyEvent& event)
{
    int key = event.GetKeyCode();
    if (key != WXK_RETURN && key != WXK_NUMPAD_ENTER) {
        event.Skip();
        return;
    }
    if (event.ControlDown()) {
        edit_->WriteText("\n");
        return;
    }
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    ok.SetEventObject(FindWindow(wxID_OK));
    GetEventHandler()->ProcessEvent(ok);
}
