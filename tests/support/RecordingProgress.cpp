#include "RecordingProgress.h"

#include <algorithm>

static std::vector<std::string> StatusesOf(const std::vector<CProgressCall>& calls)
{
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.what == "status")
            out.push_back(c.text);
    return out;
}

bool CRecordingBuildProgress::CheckCancelButton()
{
    ++checks;
    bool cancel = std::find(cancelAt.begin(), cancelAt.end(), checks) != cancelAt.end();
    calls.push_back({"cancel", "", cancel ? 1 : 0});
    return cancel;
}

std::vector<std::string> CRecordingBuildProgress::Statuses() const
{
    return StatusesOf(calls);
}

bool CRecordingApplyProgress::CheckCancelButton()
{
    ++checks;
    bool cancel = std::find(cancelAt.begin(), cancelAt.end(), checks) != cancelAt.end();
    calls.push_back({"cancel", "", cancel ? 1 : 0});
    return cancel;
}

std::vector<std::string> CRecordingApplyProgress::Statuses() const
{
    return StatusesOf(calls);
}
