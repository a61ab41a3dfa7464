// What the folder handle does with relative names on every system: cutting them into
// their components and into folder and last component. Reaching the entries is the
// platform's own (platform/*/FolderHandle.cpp).
#include "platform/FolderHandle.h"

std::vector<std::string> RelativeNameComponents(const std::string& relative, const char* separators)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= relative.size()) {
        size_t slash = relative.find_first_of(separators, at);
        if (slash == std::string::npos)
            slash = relative.size();
        if (slash > at)
            parts.push_back(relative.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

void SplitRelativeName(const std::string& relative, std::string& folder, std::string& leaf)
{
    const size_t slash = relative.rfind('/');
    folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    leaf = slash == std::string::npos ? relative : relative.substr(slash + 1);
}
