#include "RecordingProgress.h"

#include <algorithm>

bool CProgressRecord::RecordCancelCheck()
{
    ++checks;
    bool cancel = std::find(cancelAt.begin(), cancelAt.end(), checks) != cancelAt.end();
    calls.push_back({"cancel", "", cancel ? 1 : 0});
    if (checks == hookAt && hook)
        hook();
    return cancel;
}

std::vector<std::string> CProgressRecord::Statuses() const
{
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.what == "status")
            out.push_back(c.text);
    return out;
}
