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

std::vector<std::string> CProgressRecord::Statuses(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& text : Texts("status"))
        if (text.rfind(prefix, 0) == 0)
            out.push_back(text);
    return out;
}

std::vector<std::string> CProgressRecord::Texts(const std::string& what) const
{
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.what == what)
            out.push_back(c.text);
    return out;
}

std::vector<int> CProgressRecord::Values(const std::string& what) const
{
    std::vector<int> out;
    for (const auto& c : calls)
        if (c.what == what)
            out.push_back(c.value);
    return out;
}
