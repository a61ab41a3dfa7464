#include "container/PackagingProgress.h"

#include "app/EngineHost.h"

#include <cstdio>

namespace {
constexpr uint64_t kKilo = 1000;
constexpr uint64_t kMega = 1000 * 1000;
} // namespace

std::string ByteAmountText(uint64_t bytes)
{
    char text[48];
    if (bytes >= kMega)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / kMega);
    else if (bytes >= kKilo)
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>(bytes / kKilo));
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

CPackagingProgress::CPackagingProgress(IEngineHost& core, IBuildProgress* progress, const std::string& step,
                                       const std::string& fileName, uint64_t total)
    : core_(core), progress_(progress), step_(step), total_(total)
{
    if (progress_)
        progress_->SetFileName(fileName);
    Reached(0);
}

bool CPackagingProgress::Reached(uint64_t done)
{
    done_ = done;
    if (cancelled_)
        return false;
    if (!progress_)
        return true;
    progress_->SetStatus(step_ + " " + ByteAmountText(done) + " of " + ByteAmountText(total_));
    progress_->SetFilePos(total_ == 0 ? 100 : static_cast<int>(static_cast<double>(done) / total_ * 100.0));
    cancelled_ = progress_->CheckCancelButton() &&
                 core_.Ask(PromptOwner::ProgressDialog, kBuildCancelQuestion, "Delvorin Warning", PromptButtons::YesNo,
                           PromptIcon::None) == PromptAnswer::Yes;
    return !cancelled_;
}
