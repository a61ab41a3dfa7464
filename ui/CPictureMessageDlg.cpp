#include "ui/CPictureMessageDlg.h"

#include "ui/BackupList.h"
#include "ui/CPictureCtrl.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/stattext.h>

CPictureMessageDlg::CPictureMessageDlg(wxWindow* parent, const Layout& l)
    : wxDialog(parent, wxID_ANY, l.title, wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      layout_(l)
{
    SetClientSize(DluSize(this, l.width, l.height));
    picture_ = new CPictureCtrl(this, kIdPicture, DluPoint(this, l.pictureX, l.pictureY),
                                DluSize(this, l.pictureW, l.pictureH));
    messageLabel_ = AddWrappedText(this, kIdMessage, "", l.messageX, l.messageY, l.messageW, l.messageH);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, l.okX, l.okY), DluSize(this, 50, 14));
    ok->SetDefault();
    Bind(wxEVT_INIT_DIALOG, &CPictureMessageDlg::OnInitDialog, this);
    CentreOnScreen();
}

void CPictureMessageDlg::OnInitDialog(wxInitDialogEvent& event)
{
    event.Skip();
    SetWrappedText(messageLabel_, ToWx(message));
    FitWrappedTexts(this);
    picture_->SetBitmap(layout_.resourceId);
}

void CPictureMessageDlg::ShowBackups(const std::vector<std::string>& lines)
{
    if (lines.empty() || backupText_)
        return;
    // The list goes between the message and OK; OK and the dialog's bottom move down.
    constexpr int kGap = 4;
    backupText_ = AddBackupList(this, lines, layout_.messageX, layout_.messageY + layout_.messageH + kGap / 2,
                                layout_.messageW);
    const int grow = kBackupListHeight + kGap;
    FindWindow(wxID_OK)->Move(DluPoint(this, layout_.okX, layout_.okY + grow));
    SetClientSize(DluSize(this, layout_.width, layout_.height + grow));
    CentreOnScreen();
}

CSuccessDlg::CSuccessDlg(wxWindow* parent)
    : CPictureMessageDlg(parent, {"Delvorin Success!", 139, 193, 223, 7, 7, 179, 159, 7, 169, 179, 27, 71, 202})
{
}

CWhoopsDlg::CWhoopsDlg(wxWindow* parent)
    : CPictureMessageDlg(parent, {"Delvorin Whoops!", 140, 259, 234, 7, 7, 245, 159, 7, 170, 245, 39, 104, 213})
{
}
