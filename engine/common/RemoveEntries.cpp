#include "engine/common/RemoveEntries.h"

#include "platform/FileSystem.h"

namespace {

// True when text begins with base followed by a '/' (or base itself ends in '/');
// rest then receives what follows that separator.
bool StripFolder(const std::string& text, const std::string& base, std::string& rest)
{
    if (base.empty() || text.size() <= base.size() || text.compare(0, base.size(), base) != 0)
        return false;
    if (base.back() == '/') {
        rest = text.substr(base.size());
        return true;
    }
    if (text[base.size()] != '/')
        return false;
    rest = text.substr(base.size() + 1);
    return true;
}

} // namespace

bool RemoveEntryRelativeName(const std::string& entry, const std::string& defaultFolder, const std::string& oldFolder,
                             std::string& relative)
{
    relative.clear();
    bool below = true;
    if (!entry.empty() && entry[0] != '/')
        relative = entry; // a relative entry (a project file may hold one) is relative to the target already
    else
        below = (!defaultFolder.empty() && StripFolder(entry, defaultFolder, relative)) ||
                (!oldFolder.empty() && StripFolder(entry, fsys::WithoutTrailingSlash(oldFolder), relative));
    for (size_t start = 0; below && start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string component = relative.substr(start, end - start);
        below = !component.empty() && component != "." && component != "..";
        start = end + 1;
    }
    return below;
}
