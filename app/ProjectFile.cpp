#include "app/ProjectFile.h"

#include "app/IniFile.h"
#include "app/Settings.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace {

const char kDeletePrefix[] = "FileNameToDelete";
const char kExcludePrefix[] = "FileNameToExclude";

bool ReadFlag(const CIniFile& ini, const char* key)
{
    // Only the exact word "false" turns a flag off; "False" or a missing key turn it on.
    return ini.GetString(kProjectSection, key) != "false";
}

const char* FlagText(bool on)
{
    return on ? "true" : "false";
}

// A path value: one that a value read cannot hold whole reads as empty, never cut.
std::string ReadPath(const CIniFile& ini, const char* section, const std::string& key, CProjectData& project)
{
    std::string whole = ini.GetWholeString(section, key);
    if (whole.size() > CIniFile::kValueBufferSize - 1) {
        project.overlongKeys.push_back(key);
        return std::string();
    }
    return whole;
}

// The entry index that a key of the form prefix + decimal index names, or false.
bool EntryIndex(const std::string& key, const std::string& prefix, uint64_t& index)
{
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 10)
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(key[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    std::string digits = key.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (digits.size() > 1 && digits[0] == '0')
        return false; // "FileNameToDelete01" is not the key of entry 1
    index = std::stoull(digits);
    return true;
}

// Reads count entries prefix0, prefix1, ... of a list section. Every entry whose key is
// missing adds an empty name; since a name is kept once, the entries past the last key
// present all come to one empty name, so the reading stops there whatever the count.
void ReadList(const CIniFile& ini, const char* section, const std::string& prefix, uint32_t count,
              CProjectData& project, std::vector<std::string>& list)
{
    int64_t highest = -1;
    for (const std::string& key : ini.KeyNames(section)) {
        uint64_t index = 0;
        if (EntryIndex(key, prefix, index) && index < count)
            highest = std::max<int64_t>(highest, static_cast<int64_t>(index));
    }
    std::unordered_set<std::string> seen(list.begin(), list.end());
    auto add = [&](const std::string& name) {
        if (seen.insert(name).second)
            list.push_back(name);
    };
    for (uint32_t i = 0; i < count; ++i) {
        if (static_cast<int64_t>(i) > highest) {
            add(std::string());
            break;
        }
        add(ReadPath(ini, section, prefix + std::to_string(i), project));
    }
}

} // namespace

bool ReadProjectFile(const std::string& path, CProjectData& project)
{
    CIniFile ini;
    bool loaded = ini.Load(path); // an unreadable file reads like one with every key missing
    project = CProjectData{};

    project.patchFile = ReadPath(ini, kProjectSection, "PatchFile", project);
    project.splitSize = static_cast<uint16_t>(ini.GetInt(kProjectSection, "SplitSize") & 0xFFFF);
    project.selfExtract = ReadFlag(ini, "SelfExtract");
    // A project written before the option existed has no key and keeps building as it did.
    project.thorough = ini.GetString(kProjectSection, "Thorough") == "true";
    project.compact = ini.GetString(kProjectSection, "PatchFormat") == "compact";
    project.forWindows = ini.GetString(kProjectSection, "SelfExtractFor") == "windows";
    project.defaultEqualsNew = ReadFlag(ini, "DefaultEqualsNew");
    project.dialogText = ini.GetString(kProjectSection, "DialogText");
    project.oldFolder = ReadPath(ini, kProjectSection, "OldFolder", project);
    project.newFolder = ReadPath(ini, kProjectSection, "NewFolder", project);
    project.defaultFolder = ReadPath(ini, kProjectSection, "DefaultFolder", project);

    uint32_t excludeCount = ini.GetInt(kProjectSection, "NumberOfNamesToExclude");
    uint32_t deleteCount = ini.GetInt(kProjectSection, "NumberOfNamesToDelete");
    ReadList(ini, kProjectDeleteSection, kDeletePrefix, deleteCount, project, project.removeList);
    ReadList(ini, kProjectExcludeSection, kExcludePrefix, excludeCount, project, project.excludeList);
    return loaded;
}

bool WriteProjectFile(const std::string& path, const CProjectData& project)
{
    CIniFile ini; // the file starts empty: an existing one is replaced
    ini.WriteString(kProjectSection, "DefaultEqualsNew", FlagText(project.defaultEqualsNew));
    ini.WriteString(kProjectSection, "PatchFile", project.patchFile);
    ini.WriteString(kProjectSection, "SelfExtract", FlagText(project.selfExtract));
    ini.WriteString(kProjectSection, "DialogText", project.dialogText);
    ini.WriteString(kProjectSection, "OldFolder", project.oldFolder);
    ini.WriteString(kProjectSection, "NewFolder", project.newFolder);
    ini.WriteString(kProjectSection, "DefaultFolder", project.defaultFolder);
    ini.WriteString(kProjectSection, "NumberOfNamesToExclude", std::to_string(project.excludeList.size()));
    ini.WriteString(kProjectSection, "NumberOfNamesToDelete", std::to_string(project.removeList.size()));
    ini.WriteString(kProjectSection, "SplitSize", std::to_string(project.splitSize));
    if (project.thorough)
        ini.WriteString(kProjectSection, "Thorough", "true");
    if (project.compact)
        ini.WriteString(kProjectSection, "PatchFormat", "compact");
    if (project.forWindows)
        ini.WriteString(kProjectSection, "SelfExtractFor", "windows");
    for (size_t i = 0; i < project.removeList.size(); ++i)
        ini.WriteString(kProjectDeleteSection, kDeletePrefix + std::to_string(i), project.removeList[i]);
    for (size_t i = 0; i < project.excludeList.size(); ++i)
        ini.WriteString(kProjectExcludeSection, kExcludePrefix + std::to_string(i), project.excludeList[i]);
    return ini.Save(path);
}

std::string ProjectPathWithExtension(const std::string& path)
{
    if (path.find('.') != std::string::npos)
        return path;
    return path + "." + kProjectExtension;
}

void ProjectToSettings(const CProjectData& project, CSettings& settings)
{
    settings.patchFile = project.patchFile;
    settings.splitSize = project.splitSize;
    settings.selfExtract = project.selfExtract ? 1 : 0;
    settings.thorough = project.thorough ? 1 : 0;
    settings.compact = project.compact ? 1 : 0;
    settings.forWindows = project.forWindows ? 1 : 0;
    settings.defaultEqualsNew = project.defaultEqualsNew ? 1 : 0;
    settings.dialogText = project.dialogText;
    settings.newFolder = project.newFolder;
    settings.defaultFolder = project.defaultFolder;
}

CProjectData ProjectFromSettings(const CSettings& settings)
{
    CProjectData p;
    p.patchFile = settings.patchFile;
    p.splitSize = settings.splitSize;
    p.selfExtract = settings.selfExtract != 0;
    p.thorough = settings.thorough != 0;
    p.compact = settings.compact != 0;
    p.forWindows = settings.forWindows != 0;
    p.defaultEqualsNew = settings.defaultEqualsNew != 0;
    p.dialogText = settings.dialogText;
    p.oldFolder = settings.oldFolder;
    p.newFolder = settings.newFolder;
    p.defaultFolder = settings.defaultFolder;
    return p;
}

void ClearBuildPageSettings(CSettings& settings)
{
    settings.logFile = 0;
    settings.oldFolder.clear();
    settings.newFolder.clear();
    settings.patchFile.clear();
    settings.selfExtract = 1;
    settings.thorough = 0;
    settings.compact = 0;
    settings.forWindows = 0;
    settings.defaultFolder.clear();
    settings.defaultEqualsNew = 1;
}

void ClearWizardSettings(CSettings& settings)
{
    settings.patchFile.clear();
    settings.selfExtract = 1;
    settings.thorough = 0;
    settings.compact = 0;
    settings.forWindows = 0;
    settings.defaultEqualsNew = 1;
    settings.dialogText.clear();
    settings.oldFolder.clear();
    settings.newFolder.clear();
    settings.defaultFolder.clear();
    settings.splitSize = 0;
}
