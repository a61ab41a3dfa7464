#include "engine/apply/StagedNames.h"

#include "platform/FolderHandle.h"

#include <cctype>
#include <cstring>
#include <vector>

bool IsStagedName(const std::string& name)
{
    const size_t prefix = std::strlen(kStagedPrefix);
    if (name.size() != prefix + 6 || name.compare(0, prefix, kStagedPrefix) != 0)
        return false;
    for (size_t i = prefix; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

void RemoveStagedLeftovers(const CFolderHandle& folder)
{
    std::vector<std::string> names;
    if (!folder.ListNames(names))
        return;
    for (const std::string& name : names) {
        if (!IsStagedName(name))
            continue;
        CEntryStatus st;
        if (folder.Status(name, st) && st.IsFile())
            folder.Remove(name);
    }
}
