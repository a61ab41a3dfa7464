// The progress of an apply: one bar with its percentage, a status line, and Cancel.
#pragma once
#include "platform/Progress.h"
#include "ui/CProgressDlgBase.h"

class CApplyProgressDlg : public CProgressDlgBase, public IApplyProgress {
public:
    enum { kIdBar = 1003, kIdPercent = 1004, kIdStatus = 1005 };
    static constexpr int kCaptionId = 114;

    explicit CApplyProgressDlg(int captionId = 0);

    void SetStatus(const std::string& text) override;
    void SetPos(int pos) override;
    bool CheckCancelButton() override { return CheckCancel(); }

private:
    void CreateControls() override;
    void OnOpening() override;

    wxStaticText* statusLabel_ = nullptr;
    wxStaticText* percent_ = nullptr;
    wxGauge* bar_ = nullptr;
};
