#include "ui/CTextViewerDlg.h"

#include "app/StringHelpers.h"
#include "platform/FileSystem.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include <vector>

CTextViewerDlg::CTextViewerDlg(wxWindow* parent, const std::string& path)
    : wxDialog(parent, wxID_ANY, ToWx(LastComponent(path)), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMAXIMIZE_BOX)
{
    std::vector<unsigned char> bytes;
    fsys::ReadWholeFile(path, bytes); // a file that cannot be read shows empty
    wxString content = ToWx(std::string(bytes.begin(), bytes.end()));
    content.Replace("\r\n", "\n"); // the log is written with carriage return and line feed

    text_ = new wxTextCtrl(this, kIdText, content, wxDefaultPosition, DluSize(this, 320, 180),
                           wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxHSCROLL);
    text_->SetFont(wxFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE)));
    auto* close = new wxButton(this, wxID_CLOSE, "&Close");
    close->SetDefault();

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(text_, 1, wxEXPAND | wxALL, DluSize(this, 7, 0).x);
    sizer->Add(close, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, DluSize(this, 7, 0).x);
    SetSizerAndFit(sizer);
    SetEscapeId(wxID_CLOSE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, &CTextViewerDlg::OnClose, this);
    close->SetFocus();
    CentreOnParent();
}

void CTextViewerDlg::OnClose(wxCloseEvent&)
{
    Destroy();
}
