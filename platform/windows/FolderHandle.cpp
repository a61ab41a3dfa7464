// The folder handle on Windows: a handle of the folder opened with backup semantics,
// through which every name below it is opened with the folder as the root of the native
// open, one name at a time, never through a reparse point (a symbolic link or junction
// that could lead out of the folder).
#include "platform/FolderHandle.h"

#include "platform/windows/NtFiles.h"
#include "platform/windows/WideText.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <random>
#include <utility>

using winfs::FromHandle;
using winfs::OpenBeneath;

namespace {

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

HANDLE H(int fd)
{
    return winfs::ToHandle(CFileRef(fd));
}

int Fd(HANDLE h)
{
    return FromHandle(h).Native();
}

// The apply locks this process holds, by the folder handle that took them: a named
// mutex per folder (its volume and file number), released with the handle.
std::mutex g_locksMutex;
std::map<int, HANDLE> g_locks;

void ReleaseLock(int fd)
{
    std::lock_guard<std::mutex> hold(g_locksMutex);
    auto it = g_locks.find(fd);
    if (it != g_locks.end()) {
        CloseHandle(it->second);
        g_locks.erase(it);
    }
}

void CloseFolder(int fd)
{
    if (fd >= 0) {
        ReleaseLock(fd);
        CloseHandle(H(fd));
    }
}

// Opens the entry to be deleted when the handle closes, a read-only one too.
HANDLE OpenForDeletion(HANDLE folder, const std::string& name, ULONG options)
{
    HANDLE h = INVALID_HANDLE_VALUE;
    winfs::IgnoringReadOnly(folder, name, [&] {
        h = OpenBeneath(folder, name, DELETE, FILE_OPEN, options | FILE_DELETE_ON_CLOSE, winfs::AtLink::Open);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

std::string RandomLetters(int count)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    std::string letters;
    for (int i = 0; i < count; ++i)
        letters += kLetters[pick(random)];
    return letters;
}

} // namespace

CFolderHandle::~CFolderHandle()
{
    CloseFolder(fd_);
}

CFolderHandle::CFolderHandle(CFolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

CFolderHandle& CFolderHandle::operator=(CFolderHandle&& other) noexcept
{
    if (this != &other) {
        CloseFolder(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool CFolderHandle::Open(const std::string& path)
{
    HANDLE h = CreateFileW(winfs::LongPath(path).c_str(), kFolderAccess, winfs::kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        winfs::FailWith(GetLastError());
    CEntryStatus st;
    if (h != INVALID_HANDLE_VALUE && (!winfs::StatusOf(h, st) || !st.IsFolder())) {
        CloseHandle(h);
        errno = ENOTDIR;
        h = INVALID_HANDLE_VALUE;
    }
    *this = CFolderHandle(Fd(h));
    return Valid();
}

bool CFolderHandle::TryLock() const
{
    CEntryStatus st;
    if (!Status(st))
        return true;
    // One apply at a time per folder in the whole system: a mutex named after the
    // folder's volume and file number, which the system drops when the process ends.
    const std::wstring name = L"Global\\Delvorin.Apply." + std::to_wstring(st.device) + L"." + std::to_wstring(st.fileId);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    // Access denied means the mutex exists under another account's protection (an apply
    // started by another user or as an administrator still runs: the mutex lives only as
    // long as a process holds it), so this folder is taken. Any other failure leaves no
    // lock to be had, and nobody is kept out.
    if (!mutex)
        return GetLastError() != ERROR_ACCESS_DENIED;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        std::lock_guard<std::mutex> hold(g_locksMutex);
        // This handle holds it already.
        return g_locks.count(fd_) != 0;
    }
    std::lock_guard<std::mutex> hold(g_locksMutex);
    g_locks[fd_] = mutex;
    return true;
}

CFolderHandle CFolderHandle::Folder(const std::string& relative) const
{
    if (relative.empty()) {
        HANDLE copy = INVALID_HANDLE_VALUE;
        if (!DuplicateHandle(GetCurrentProcess(), H(fd_), GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            winfs::FailWith(GetLastError());
        return CFolderHandle(Fd(copy));
    }
    return CFolderHandle(Fd(OpenBeneath(H(fd_), relative, kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE)));
}

CFolderHandle CFolderHandle::MakeFolders(const std::string& relative, std::string& failedAt,
                                         std::vector<std::string>* made) const
{
    CFolderHandle current = Folder("");
    std::string done;
    size_t at = 0;
    while (current.Valid() && at < relative.size()) {
        size_t slash = relative.find('/', at);
        if (slash == std::string::npos)
            slash = relative.size();
        const std::string part = relative.substr(at, slash - at);
        at = slash + 1;
        if (part.empty())
            continue;
        done = done.empty() ? part : done + "/" + part;
        HANDLE next = OpenBeneath(H(current.fd_), part, kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE);
        if (next == INVALID_HANDLE_VALUE && errno == ENOENT) {
            next = OpenBeneath(H(current.fd_), part, kFolderAccess, FILE_CREATE, FILE_DIRECTORY_FILE);
            if (next != INVALID_HANDLE_VALUE && made)
                made->push_back(done);
        }
        if (next == INVALID_HANDLE_VALUE) {
            failedAt = done;
            return CFolderHandle();
        }
        current = CFolderHandle(Fd(next));
    }
    return current;
}

CFileRef CFolderHandle::OpenForReading(const std::string& relative) const
{
    HANDLE h = OpenBeneath(H(fd_), relative, GENERIC_READ, FILE_OPEN, 0);
    CEntryStatus st;
    if (h != INVALID_HANDLE_VALUE && (!winfs::StatusOf(h, st) || !st.IsFile())) {
        CloseHandle(h);
        errno = ENODEV;
        return CFileRef();
    }
    return FromHandle(h);
}

CFileRef CFolderHandle::CreateUnique(const std::string& prefix, std::string& name, unsigned) const
{
    // Windows has no permission bits: a file gets its folder's inherited access.
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix + RandomLetters(6);
        HANDLE h = OpenBeneath(H(fd_), name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_CREATE,
                               FILE_NON_DIRECTORY_FILE);
        if (h != INVALID_HANDLE_VALUE || errno != EEXIST)
            return FromHandle(h);
    }
    return CFileRef();
}

bool CFolderHandle::Rename(const std::string& from, const std::string& to) const
{
    return winfs::RenameBeneath(H(fd_), from, to, true);
}

bool CFolderHandle::RenameNoReplace(const std::string& from, const std::string& to) const
{
    return winfs::RenameBeneath(H(fd_), from, to, false);
}

bool CFolderHandle::Link(const std::string& from, const std::string& to) const
{
    return winfs::LinkBeneath(H(fd_), from, to);
}

bool CFolderHandle::Remove(const std::string& name) const
{
    // Deleted when the handle closes; a folder is never taken.
    HANDLE h = OpenForDeletion(H(fd_), name, FILE_NON_DIRECTORY_FILE);
    return h != INVALID_HANDLE_VALUE && CloseHandle(h);
}

bool CFolderHandle::RemoveFolder(const std::string& name) const
{
    HANDLE h = OpenForDeletion(H(fd_), name, FILE_DIRECTORY_FILE);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // A folder that is not empty stays: the deletion is refused when the handle closes.
    CloseHandle(h);
    CEntryStatus st;
    return !Status(name, st);
}

bool CFolderHandle::Status(const std::string& name, CEntryStatus& st) const
{
    HANDLE h = OpenBeneath(H(fd_), name, FILE_READ_ATTRIBUTES, FILE_OPEN, 0, winfs::AtLink::Open);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = winfs::StatusOf(h, st);
    CloseHandle(h);
    return ok;
}

bool CFolderHandle::FollowedStatus(const std::string& name, CEntryStatus& st) const
{
    // What a link leads to is never looked at: a link below the folder is taken for
    // neither a file nor a folder of it.
    if (!Status(name, st))
        return false;
    return !st.IsLink();
}

bool CFolderHandle::Status(CEntryStatus& st) const
{
    return winfs::StatusOf(H(fd_), st);
}

bool CFolderHandle::Room(CFolderRoom& room) const
{
    CEntryStatus st;
    wchar_t path[32768];
    const DWORD length = GetFinalPathNameByHandleW(H(fd_), path, 32768, VOLUME_NAME_DOS);
    if (!Status(st) || length == 0 || length >= 32768)
        return false;
    std::wstring folder(path, length);
    if (folder.back() != L'\\')
        folder += L'\\';
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, &total, &free))
        return false;
    room.device = st.device;
    room.available = available.QuadPart;
    wchar_t volume[MAX_PATH + 1];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetVolumePathNameW(folder.c_str(), volume, MAX_PATH + 1) &&
        GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        room.blockSize = uint64_t{sectorsPerCluster} * bytesPerSector;
    DWORD nameMax = 0, flags = 0;
    if (GetVolumeInformationByHandleW(H(fd_), nullptr, 0, nullptr, &nameMax, &flags, nullptr, 0))
        room.nameMax = nameMax;
    room.inodesKnown = false; // no fixed number of files on Windows' file systems
    return true;
}

bool CFolderHandle::Writable() const
{
    // Asked by doing: a probe file made and deleted at once.
    for (int attempt = 0; attempt < 10; ++attempt) {
        HANDLE h = OpenBeneath(H(fd_), ".dvw" + RandomLetters(8), GENERIC_WRITE | DELETE, FILE_CREATE,
                               FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CFolderHandle::ListNames(std::vector<std::string>& names) const
{
    // The listing reads through a handle of its own, so this one keeps no listing state.
    HANDLE h = winfs::Reopen(H(fd_), FILE_LIST_DIRECTORY | SYNCHRONIZE);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    alignas(8) unsigned char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    bool ok = true;
    while (GetFileInformationByHandleEx(h, kind, buffer, sizeof buffer)) {
        kind = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            names.push_back(Narrow(std::wstring(e->FileName, e->FileNameLength / sizeof(wchar_t))));
            if (e->NextEntryOffset == 0)
                break;
            at += e->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES)
        ok = winfs::FailWith(GetLastError());
    CloseHandle(h);
    return ok;
}

CFileRef CFolderHandle::OpenEntry(const std::string& name) const
{
    // With the right to set its times where the user has it, as a descriptor of the
    // owner allows on other systems.
    HANDLE h = OpenBeneath(H(fd_), name, GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    if (h == INVALID_HANDLE_VALUE && errno == EACCES)
        h = OpenBeneath(H(fd_), name, GENERIC_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    return FromHandle(h);
}

bool CFolderHandle::Flush() const
{
    // Windows' file systems keep a folder's entries with their own journal.
    return true;
}

bool CFolderHandle::FlushFileSystem() const
{
    // Flushing a whole volume takes administrator rights: every file is flushed itself.
    return false;
}

void CFolderHandle::UseWalkOnly(bool) {}
