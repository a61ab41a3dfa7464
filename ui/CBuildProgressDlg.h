// The progress of a build: the share of all files finished, the progress inside the
// current file, a status line and the current file's name, and Cancel.
#pragma once
#include "platform/Progress.h"
#include "ui/CProgressDlgBase.h"

#include <string>

class CBuildProgressDlg : public CProgressDlgBase, public IBuildProgress {
public:
    enum {
        kIdFileBar = 1003,
        kIdFilePercent = 1004,
        kIdOverallBar = 1005,
        kIdOverallPercent = 1006,
        kIdStatus = 1015,
        kIdFileName = 1016,
    };
    static constexpr int kCaptionId = 104;

    explicit CBuildProgressDlg(int captionId = 0);

    void SetStatus(const std::string& text) override;
    void SetFileName(const std::string& text) override;
    void SetOverallPos(int pos) override;
    void SetFilePos(int pos) override;
    bool CheckCancelButton() override { return CheckCancel(); }

    const std::string& StatusText() const { return status_; }
    const std::string& FileNameText() const { return fileName_; }

private:
    void CreateControls() override;
    void OnOpening() override;
    void PushTexts();

    std::string status_;
    std::string fileName_;
    wxStaticText* statusLabel_ = nullptr;
    wxStaticText* fileNameLabel_ = nullptr;
    wxStaticText* overallPercent_ = nullptr;
    wxStaticText* filePercent_ = nullptr;
    wxGauge* overallBar_ = nullptr;
    wxGauge* fileBar_ = nullptr;
};
