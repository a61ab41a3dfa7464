#include "platform/EntryStatus.h"

#include "platform/windows/NtFiles.h"

namespace fsys {

bool EntryStatus(const std::string& path, CEntryStatus& st, bool follow)
{
    HANDLE h = CreateFileW(winfs::LongPath(path).c_str(), FILE_READ_ATTRIBUTES, winfs::kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return winfs::FailWith(GetLastError());
    const bool ok = winfs::StatusOf(h, st);
    CloseHandle(h);
    return ok;
}

} // namespace fsys
