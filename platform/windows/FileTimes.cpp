// File times on Windows: the system keeps the same three times in the same unit the
// patch stores, and SetFileTime sets all three, the creation time too.
#include "platform/FileTimes.h"

#include "platform/windows/NtFiles.h"

namespace {

uint64_t FromFileTime(const FILETIME& t)
{
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t t)
{
    return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

bool TimesOf(HANDLE h, CFileTimes& times, CFileStatus* status)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!winfs::HandleInfo(h, info))
        return false;
    times.creation = FromFileTime(info.ftCreationTime);
    times.lastAccess = FromFileTime(info.ftLastAccessTime);
    times.lastWrite = FromFileTime(info.ftLastWriteTime);
    if (status) {
        status->length = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
        status->regular = !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                          GetFileType(h) == FILE_TYPE_DISK;
    }
    return true;
}

// A time of 0 is left as it is.
bool SetTimes(HANDLE h, const CFileTimes& times)
{
    const FILETIME creation = ToFileTime(times.creation);
    const FILETIME access = ToFileTime(times.lastAccess);
    const FILETIME write = ToFileTime(times.lastWrite);
    return SetFileTime(h, times.creation ? &creation : nullptr, times.lastAccess ? &access : nullptr,
                       times.lastWrite ? &write : nullptr) != 0;
}

HANDLE OpenPath(const std::string& path, DWORD access)
{
    return CreateFileW(winfs::LongPath(path).c_str(), access, winfs::kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds)
{
    return static_cast<uint64_t>((seconds + kFileTimeEpochOffset) * 10000000LL + nanoseconds / 100);
}

void FileTimeToUnix(uint64_t fileTime, int64_t& seconds, uint32_t& nanoseconds)
{
    seconds = static_cast<int64_t>(fileTime / 10000000ULL) - kFileTimeEpochOffset;
    nanoseconds = static_cast<uint32_t>(fileTime % 10000000ULL) * 100;
}

bool GetFileTimes(const std::string& path, CFileTimes& times)
{
    HANDLE h = OpenPath(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = TimesOf(h, times, nullptr);
    CloseHandle(h);
    return ok;
}

bool GetOpenFileStatus(CFileRef file, CFileTimes& times, CFileStatus& status)
{
    return TimesOf(winfs::ToHandle(file), times, &status);
}

bool SetFileTimes(const std::string& path, const CFileTimes& times)
{
    HANDLE h = OpenPath(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetTimes(h, times);
    CloseHandle(h);
    return ok;
}

bool SetOpenFileTimes(CFileRef file, const CFileTimes& times)
{
    HANDLE h = winfs::ToHandle(file);
    if (SetTimes(h, times))
        return true;
    // A handle opened for reading may not set times: a second one with that right does.
    HANDLE writer = winfs::Reopen(h, FILE_WRITE_ATTRIBUTES);
    if (writer == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetTimes(writer, times);
    CloseHandle(writer);
    return ok;
}
