#include "app/Settings.h"

#include "app/Profile.h"

namespace {
const char kSection[] = "Settings";
// More entries than any build holds: a damaged count reads no further.
constexpr int kMaxListEntries = 1 << 20;

std::vector<std::string> LoadList(const CProfile& p, const std::string& name)
{
    std::vector<std::string> list;
    const int count = p.GetInt(kSection, name + "Count", 0);
    for (int i = 1; i <= count && i <= kMaxListEntries; ++i) {
        std::string entry = p.GetString(kSection, name + std::to_string(i), "");
        if (!entry.empty())
            list.push_back(std::move(entry));
    }
    return list;
}

void SaveList(CProfile& p, const std::string& name, const std::vector<std::string>& list)
{
    p.WriteInt(kSection, name + "Count", static_cast<int>(list.size()));
    for (size_t i = 0; i < list.size(); ++i)
        p.WriteString(kSection, name + std::to_string(i + 1), list[i]);
}
} // namespace

void CSettings::Load(const CProfile& p)
{
    const CSettings d; // the defaults
    logFile = p.GetInt(kSection, "LogFile", d.logFile);
    backupExt = p.GetString(kSection, "BackupExt", d.backupExt);
    newFolder = p.GetString(kSection, "NewFolder", d.newFolder);
    oldFolder = p.GetString(kSection, "OldFolder", d.oldFolder);
    applyFolder = p.GetString(kSection, "ApplyFolder", d.applyFolder);
    patchFile = p.GetString(kSection, "PatchFile", d.patchFile);
    applyPatchFile = p.GetString(kSection, "ApplyPatchFile", d.applyPatchFile);
    dialogText = p.GetString(kSection, "DialogText", d.dialogText);
    defaultFolder = p.GetString(kSection, "DefaultFolder", d.defaultFolder);
    backup = p.GetInt(kSection, "Backup", d.backup);
    selfExtract = p.GetInt(kSection, "Self-Extract", d.selfExtract);
    defaultEqualsNew = p.GetInt(kSection, "DefaultEqualsNew", d.defaultEqualsNew);
    // The split size is held in 16 bits: only the low 16 bits of the stored number count.
    splitSize = static_cast<uint16_t>(p.GetInt(kSection, "SplitSize", d.splitSize) & 0xFFFF);
    thorough = p.GetInt(kSection, "Thorough", d.thorough);
    compact = p.GetInt(kSection, "PatchFormat", d.compact) == 1 ? 1 : 0;
    forWindows = p.GetString(kSection, "SelfExtractFor", "") == "windows" ? 1 : 0;
    removeList = LoadList(p, "Remove");
    excludeList = LoadList(p, "Exclude");
}

void CSettings::Save(CProfile& p) const
{
    p.WriteInt(kSection, "LogFile", logFile);
    p.WriteString(kSection, "BackupExt", backupExt);
    p.WriteString(kSection, "NewFolder", newFolder);
    p.WriteString(kSection, "OldFolder", oldFolder);
    p.WriteString(kSection, "ApplyFolder", applyFolder);
    p.WriteString(kSection, "PatchFile", patchFile);
    p.WriteString(kSection, "ApplyPatchFile", applyPatchFile);
    p.WriteInt(kSection, "Backup", backup);
    p.WriteInt(kSection, "Self-Extract", selfExtract);
    p.WriteInt(kSection, "DefaultEqualsNew", defaultEqualsNew);
    p.WriteInt(kSection, "SplitSize", splitSize);
    p.WriteString(kSection, "DefaultFolder", defaultFolder);
    p.WriteString(kSection, "DialogText", dialogText);
    p.WriteInt(kSection, "Thorough", thorough);
    if (compact || p.GetInt(kSection, "PatchFormat", 0) != 0)
        p.WriteInt(kSection, "PatchFormat", compact);
    if (forWindows || !p.GetString(kSection, "SelfExtractFor", "").empty())
        p.WriteString(kSection, "SelfExtractFor", forWindows ? "windows" : "linux");
    SaveList(p, "Remove", removeList);
    SaveList(p, "Exclude", excludeList);
    p.Flush(); // a profile that cannot be written is not reported
}
