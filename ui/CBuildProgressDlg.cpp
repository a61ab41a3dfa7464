#include "ui/CBuildProgressDlg.h"

#include "ui/WxText.h"

#include <wx/gauge.h>
#include <wx/stattext.h>

CBuildProgressDlg::CBuildProgressDlg(int captionId)
    : CProgressDlgBase(kCaptionId, captionId, "Delvorin Build Progress", 213, 128)
{
}

void CBuildProgressDlg::CreateControls()
{
    statusLabel_ = AddText(kIdStatus, "Initializing........", 7, 7, 199, 8);
    overallPercent_ = AddPercentLabel(kIdOverallPercent, 97, 26, 18, 8);
    overallBar_ = AddBar(kIdOverallBar, 29, 37, 154, 13);
    AddText(wxID_ANY, "File:", 28, 58, 18, 8);
    fileNameLabel_ = AddText(kIdFileName, "Static", 56, 58, 123, 8);
    filePercent_ = AddPercentLabel(kIdFilePercent, 97, 69, 18, 8);
    fileBar_ = AddBar(kIdFileBar, 29, 80, 154, 13);
    AddCancelButton(81, 107);
}

void CBuildProgressDlg::OnOpening()
{
    PushTexts(); // both empty until the engine sets them
    SetupBar(fileBar_);
}

void CBuildProgressDlg::PushTexts()
{
    if (!HasWindow())
        return;
    SetTextIfChanged(statusLabel_, status_);
    SetTextIfChanged(fileNameLabel_, fileName_);
}

void CBuildProgressDlg::SetStatus(const std::string& text)
{
    status_ = text;
    PushTexts();
}

void CBuildProgressDlg::SetFileName(const std::string& text)
{
    fileName_ = text;
    PushTexts();
}

void CBuildProgressDlg::SetOverallPos(int pos)
{
    if (!HasWindow())
        return;
    PumpMessages();
    SetBar(overallBar_, overallPercent_, pos);
}

void CBuildProgressDlg::SetFilePos(int pos)
{
    if (!HasWindow())
        return;
    PumpMessages();
    SetBar(fileBar_, filePercent_, pos);
}
