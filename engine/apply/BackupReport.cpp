#include "engine/apply/BackupReport.h"

#include "app/StringHelpers.h"
#include "platform/FileSystem.h"

namespace {

// The target as the user knows it: below the folder the patch was applied to.
std::string BelowFolder(const std::string& folder, const std::string& target)
{
    const std::string prefix = fsys::Join(fsys::WithoutTrailingSlash(folder), "");
    if (!folder.empty() && target.size() > prefix.size() && target.compare(0, prefix.size(), prefix) == 0)
        return target.substr(prefix.size());
    return target;
}

} // namespace

std::vector<std::string> BackupLines(const std::string& folder, const BackupList& backups)
{
    std::vector<std::string> lines;
    lines.reserve(backups.size());
    for (const auto& [target, backup] : backups)
        lines.push_back(Printable(BelowFolder(folder, target) + ": " + backup));
    return lines;
}

std::string BackupParagraph(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return "";
    std::string text = std::string(kBackupHeading) + "\n";
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}
