#include "ui/CAppliedDlg.h"

#include "ui/BackupList.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/textctrl.h>

namespace {
// Dialog units: as wide as the errors list, the message above the backups.
constexpr int kWidth = 298, kMargin = 7, kMessageHeight = 10, kGap = 4;
constexpr int kListTop = kMargin + kMessageHeight + kGap;
constexpr int kOkTop = kListTop + kBackupListHeight + kGap;
} // namespace

CAppliedDlg::CAppliedDlg(wxWindow* parent, const std::string& message, const std::vector<std::string>& backups)
    : wxDialog(parent, wxID_ANY, "Delvorin Apply", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(DluSize(this, kWidth, kOkTop + 14 + kMargin));
    messageLabel_ =
        AddWrappedText(this, wxID_ANY, ToWx(message), kMargin, kMargin, kWidth - 2 * kMargin, kMessageHeight);
    backupText_ = AddBackupList(this, backups, kMargin, kListTop, kWidth - 2 * kMargin);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, (kWidth - 50) / 2, kOkTop), DluSize(this, 50, 14));
    ok->SetDefault();
    ok->SetFocus();
    FitWrappedTexts(this);
    CentreOnScreen();
}
