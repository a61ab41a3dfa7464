// Open files on Windows: reads and writes at explicit offsets that leave the handle's
// own position where it was (a stream may read through the same handle), durability
// with FlushFileBuffers, and times with SetFileTime.
#include "platform/OpenFiles.h"

#include "platform/FileTimes.h"
#include "platform/windows/NtFiles.h"

#include <cerrno>

using winfs::ToHandle;

namespace fsys {

namespace {

// Moves up to size bytes at offset with ReadFile or WriteFile; the number moved, -1 on
// an error. The handle's position is put back: an offset given to a synchronous handle
// moves it.
template <class Bytes, class Transfer>
int64_t TransferAt(HANDLE h, Bytes* data, size_t size, uint64_t offset, Transfer transfer)
{
    LARGE_INTEGER zero{}, position{};
    const bool kept = SetFilePointerEx(h, zero, &position, FILE_CURRENT) != 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD moved = 0;
    const bool ok = transfer(h, data, piece, &moved, &at) != 0;
    const DWORD error = GetLastError();
    if (kept)
        SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    if (!ok && error != ERROR_HANDLE_EOF)
        return winfs::FailWith(error), -1;
    return ok ? moved : 0;
}

template <class Bytes, class Transfer>
bool TransferAllAt(HANDLE h, Bytes* data, size_t size, uint64_t offset, Transfer transfer)
{
    size_t done = 0;
    while (done < size) {
        const int64_t n = TransferAt(h, data + done, size - done, offset + done, transfer);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

BOOL ReadPiece(HANDLE h, unsigned char* data, DWORD size, DWORD* moved, OVERLAPPED* at)
{
    return ReadFile(h, data, size, moved, at);
}

BOOL WritePiece(HANDLE h, const unsigned char* data, DWORD size, DWORD* moved, OVERLAPPED* at)
{
    return WriteFile(h, data, size, moved, at);
}

} // namespace

CFileRef OpenFileForReading(const std::string& path)
{
    HANDLE h = CreateFileW(winfs::LongPath(path).c_str(), GENERIC_READ, winfs::kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        winfs::FailWith(GetLastError());
    return winfs::FromHandle(h);
}

bool CloseFile(CFileRef file)
{
    return CloseHandle(ToHandle(file)) != 0;
}

bool OpenFileStatus(CFileRef file, CEntryStatus& st)
{
    return winfs::StatusOf(ToHandle(file), st);
}

int64_t ReadSomeAt(CFileRef file, void* data, size_t size, uint64_t offset)
{
    return TransferAt(ToHandle(file), static_cast<unsigned char*>(data), size, offset, ReadPiece);
}

bool ReadAt(CFileRef file, void* data, size_t size, uint64_t offset)
{
    return TransferAllAt(ToHandle(file), static_cast<unsigned char*>(data), size, offset, ReadPiece);
}

bool WriteAllAt(CFileRef file, const void* data, size_t size, uint64_t offset)
{
    return TransferAllAt(ToHandle(file), static_cast<const unsigned char*>(data), size, offset, WritePiece);
}

bool ReserveLength(CFileRef file, uint64_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(ToHandle(file), FileEndOfFileInfo, &end, sizeof end) != 0 ||
           winfs::FailWith(GetLastError());
}

void StartWriteback(CFileRef) {}

bool FlushFile(CFileRef file)
{
    if (FlushFileBuffers(ToHandle(file)))
        return true;
    // A handle opened for reading may not flush: a second one with the right to write does.
    HANDLE writer = winfs::Reopen(ToHandle(file), GENERIC_WRITE);
    if (writer == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FlushFileBuffers(writer) != 0 || winfs::FailWith(GetLastError());
    CloseHandle(writer);
    return ok;
}

bool GetAttributes(CFileRef file, CFileAttributes& attributes)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!winfs::HandleInfo(ToHandle(file), info))
        return false;
    attributes.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    FileTimeToUnix((uint64_t{info.ftLastAccessTime.dwHighDateTime} << 32) | info.ftLastAccessTime.dwLowDateTime,
                   attributes.accessSeconds, attributes.accessNanoseconds);
    FileTimeToUnix((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime,
                   attributes.writeSeconds, attributes.writeNanoseconds);
    return true;
}

bool SetOwnerAndPermissions(CFileRef file, const CFileAttributes& attributes)
{
    // A new file gets its owner and its rights from the folder it is made in.
    return SetPermissions(file, attributes.permissions);
}

bool SetPermissions(CFileRef file, unsigned permissions)
{
    // Windows keeps no permission bits: a file's rights come from the folder it is in.
    (void)file;
    (void)permissions;
    return true;
}

unsigned NewFileMode()
{
    return 0644;
}

bool SetExactTimes(CFileRef file, const CFileAttributes& attributes)
{
    CFileTimes times;
    times.lastAccess = UnixToFileTime(attributes.accessSeconds, attributes.accessNanoseconds);
    times.lastWrite = UnixToFileTime(attributes.writeSeconds, attributes.writeNanoseconds);
    return SetOpenFileTimes(file, times);
}

} // namespace fsys
