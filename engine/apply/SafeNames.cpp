#include "engine/apply/SafeNames.h"

#include "engine/common/NameComponents.h"

#include <cctype>
#include <vector>

namespace {

bool IsDrivePrefix(const std::string& component)
{
    return component.size() >= 2 && std::isalpha(static_cast<unsigned char>(component[0])) && component[1] == ':';
}

} // namespace

bool IsSafeRelativeName(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    if (name.find('\0') != std::string::npos)
        return false;
    std::vector<std::string> parts = NameComponents(name);
    if (IsDrivePrefix(parts.front()))
        return false;
    for (const auto& part : parts) {
        if (part.empty() || part == "." || part == "..")
            return false;
    }
    return true;
}

bool TargetFolderOf(const std::string& fullPath, const std::string& name, std::string& folder)
{
    if (name.empty() || fullPath.size() < name.size() + 1)
        return false;
    size_t cut = fullPath.size() - name.size();
    if (fullPath.compare(cut, name.size(), name) != 0 || fullPath[cut - 1] != '/')
        return false;
    folder = cut == 1 ? std::string(1, '/') : fullPath.substr(0, cut - 1);
    return true;
}
