#include "platform/ProgramFiles.h"

#include "platform/FileSystem.h"

#include <cstdlib>
#include <unistd.h>

namespace fsys {

namespace {
// The prefix of an installation: the folder above the program's bin folder.
std::string PrefixOf(const std::string& programFolder)
{
    return FolderOf(WithoutTrailingSlash(programFolder));
}
} // namespace

std::string FindProgramFile(const std::string& programFolder, const std::string& name)
{
    const std::string beside = Join(programFolder, name);
    if (PathExists(beside))
        return beside;
    const std::string prefix = PrefixOf(programFolder);
    for (const char* shipped : {"lib/delvorin", "share/delvorin"}) {
        std::string candidate = Join(Join(prefix, shipped), name);
        if (PathExists(candidate))
            return candidate;
    }
    return beside;
}

bool IsInstalledProgramFolder(const std::string& programFolder)
{
    return FolderExists(Join(PrefixOf(programFolder), "share/delvorin"));
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? WithoutTrailingSlash(home) : std::string("/");
}

std::string LogFolder(const std::string& programFolder)
{
    if (!programFolder.empty() && access(programFolder.c_str(), W_OK) == 0 &&
        !IsInstalledProgramFolder(programFolder))
        return programFolder;
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string base = state && state[0] == '/' ? WithoutTrailingSlash(state)
                                                      : Join(HomeFolder(), ".local/state");
    return Join(base, "delvorin");
}

} // namespace fsys
