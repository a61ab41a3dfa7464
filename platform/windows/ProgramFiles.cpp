// The files that ship with the program lie beside it on Windows; the log goes to the
// program's folder where the user may write there, else to the user's local
// application data.
#include "platform/ProgramFiles.h"

#include "platform/FileSystem.h"
#include "platform/windows/NtFiles.h"
#include "platform/windows/WideText.h"

#include <cstdlib>

namespace fsys {

namespace {

std::string Environment(const wchar_t* name)
{
    const wchar_t* value = _wgetenv(name);
    return value && *value ? WithoutTrailingSlash(winfs::EnginePath(value)) : std::string();
}

// True when a file can be made in the folder (and is removed at once).
bool CanWriteIn(const std::string& folder)
{
    HANDLE h = CreateFileW(winfs::LongPath(Join(folder, ".dvw-probe")).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace

std::string FindProgramFile(const std::string& programFolder, const std::string& name)
{
    return Join(programFolder, name);
}

bool IsInstalledProgramFolder(const std::string&)
{
    return false;
}

std::string HomeFolder()
{
    const std::string home = Environment(L"USERPROFILE");
    return home.empty() ? std::string("C:/") : home;
}

std::string LogFolder(const std::string& programFolder)
{
    if (!programFolder.empty() && CanWriteIn(programFolder))
        return programFolder;
    const std::string local = Environment(L"LOCALAPPDATA");
    return Join(local.empty() ? HomeFolder() : local, "Delvorin");
}

} // namespace fsys
