#include "ui/CApplyProgressDlg.h"

#include "ui/WxText.h"

#include <wx/gauge.h>
#include <wx/stattext.h>

CApplyProgressDlg::CApplyProgressDlg(int captionId) : CProgressDlgBase(kCaptionId, captionId, "", 241, 79) {}

void CApplyProgressDlg::CreateControls()
{
    statusLabel_ = AddText(kIdStatus, "", 15, 6, 210, 8);
    percent_ = AddPercentLabel(kIdPercent, 111, 23, 18, 8);
    bar_ = AddBar(kIdBar, 15, 34, 210, 13);
    AddCancelButton(96, 58);
}

void CApplyProgressDlg::OnOpening()
{
    SetupBar(bar_);
}

void CApplyProgressDlg::SetStatus(const std::string& text)
{
    if (HasWindow())
        SetTextIfChanged(statusLabel_, text);
}

void CApplyProgressDlg::SetPos(int pos)
{
    if (!HasWindow())
        return;
    PumpMessages();
    SetBar(bar_, percent_, pos);
}
