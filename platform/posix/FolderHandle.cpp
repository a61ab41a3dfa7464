#include "platform/FolderHandle.h"
#include "platform/posix/NativeStatus.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <random>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::atomic<bool> g_walkOnly{false};
// Cleared when the kernel turns out not to know openat2.
std::atomic<bool> g_haveOpenat2{true};

// One component at a time from root, following no link: folders on the way opened with
// O_NOFOLLOW, the last component opened with flags and O_NOFOLLOW.
int WalkOpen(int root, const std::string& relative, int flags)
{
    std::vector<std::string> parts = RelativeNameComponents(relative, "/");
    if (parts.empty()) {
        errno = ENOENT;
        return -1;
    }
    int current = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        int next = openat(current, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        if (current != root)
            close(current);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        current = next;
    }
    int fd = openat(current, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    const int saved = errno;
    if (current != root)
        close(current);
    errno = saved;
    return fd;
}

// Opens relative beneath root: with openat2 and the resolve flags where the kernel has
// it, else by the walk.
int OpenBeneath(int root, const std::string& relative, int flags, uint64_t resolve)
{
    if (!g_walkOnly && g_haveOpenat2) {
        open_how how{};
        how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
        how.resolve = resolve | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        long fd = syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS)
            return static_cast<int>(fd);
        g_haveOpenat2 = false;
    }
    return WalkOpen(root, relative, flags);
}

} // namespace

CFolderHandle::~CFolderHandle()
{
    if (fd_ >= 0)
        close(fd_);
}

CFolderHandle::CFolderHandle(CFolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1))
{
}

CFolderHandle& CFolderHandle::operator=(CFolderHandle&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool CFolderHandle::Open(const std::string& path)
{
    *this = CFolderHandle(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return Valid();
}

bool CFolderHandle::TryLock() const
{
    int result;
    do
        result = flock(fd_, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    // A file system without locks (some network ones refuse them on folders) keeps
    // nobody out.
    return result == 0 || errno != EWOULDBLOCK;
}

CFolderHandle CFolderHandle::Folder(const std::string& relative) const
{
    if (relative.empty())
        return CFolderHandle(fcntl(fd_, F_DUPFD_CLOEXEC, 0));
    return CFolderHandle(OpenBeneath(fd_, relative, O_RDONLY | O_DIRECTORY, RESOLVE_NO_SYMLINKS));
}

CFolderHandle CFolderHandle::MakeFolders(const std::string& relative, std::string& failedAt,
                                         std::vector<std::string>* made) const
{
    CFolderHandle current(fcntl(fd_, F_DUPFD_CLOEXEC, 0));
    std::string done;
    for (const std::string& part : RelativeNameComponents(relative, "/")) {
        done = done.empty() ? part : done + "/" + part;
        int next = openat(current.fd_, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && mkdirat(current.fd_, part.c_str(), 0777) == 0) {
            if (made)
                made->push_back(done);
            next = openat(current.fd_, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            failedAt = done;
            return CFolderHandle();
        }
        current = CFolderHandle(next);
    }
    return current;
}

CFileRef CFolderHandle::OpenForReading(const std::string& relative) const
{
    int fd = OpenBeneath(fd_, relative, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0)
        return CFileRef();
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = ENODEV;
        return CFileRef();
    }
    return CFileRef(fd);
}

CFileRef CFolderHandle::CreateUnique(const std::string& prefix, std::string& name, unsigned mode) const
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix;
        for (int i = 0; i < 6; ++i)
            name += kLetters[pick(random)];
        int fd = openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
        if (fd >= 0 || errno != EEXIST)
            return CFileRef(fd);
    }
    return CFileRef();
}

bool CFolderHandle::Rename(const std::string& from, const std::string& to) const
{
    return renameat(fd_, from.c_str(), fd_, to.c_str()) == 0;
}

bool CFolderHandle::RenameNoReplace(const std::string& from, const std::string& to) const
{
    if (renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot rename so: a second link fails where a name exists.
    if (linkat(fd_, from.c_str(), fd_, to.c_str(), 0) != 0)
        return false;
    unlinkat(fd_, from.c_str(), 0);
    return true;
}

bool CFolderHandle::Link(const std::string& from, const std::string& to) const
{
    return linkat(fd_, from.c_str(), fd_, to.c_str(), 0) == 0;
}

bool CFolderHandle::Remove(const std::string& name) const
{
    struct stat st;
    if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlinkat(fd_, name.c_str(), 0) == 0;
}

bool CFolderHandle::RemoveFolder(const std::string& name) const
{
    return unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
}

bool CFolderHandle::Status(const std::string& name, CEntryStatus& st) const
{
    struct stat native;
    if (fstatat(fd_, name.c_str(), &native, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

bool CFolderHandle::FollowedStatus(const std::string& name, CEntryStatus& st) const
{
    struct stat native;
    if (fstatat(fd_, name.c_str(), &native, 0) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

bool CFolderHandle::Status(CEntryStatus& st) const
{
    struct stat native;
    if (fstat(fd_, &native) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

bool CFolderHandle::Room(CFolderRoom& room) const
{
    struct stat st;
    struct statvfs vfs;
    if (fstat(fd_, &st) != 0 || fstatvfs(fd_, &vfs) != 0)
        return false;
    room.device = static_cast<uint64_t>(st.st_dev);
    room.nameMax = vfs.f_namemax;
    room.blockSize = vfs.f_frsize;
    room.available = static_cast<uint64_t>(vfs.f_bavail) * (vfs.f_frsize ? vfs.f_frsize : 4096);
    room.inodesKnown = vfs.f_files != 0;
    room.inodesAvailable = vfs.f_favail;
    return true;
}

bool CFolderHandle::Writable() const
{
    return faccessat(fd_, ".", W_OK | X_OK, AT_EACCESS) == 0;
}

bool CFolderHandle::ListNames(std::vector<std::string>& names) const
{
    // The listing reads through a descriptor of its own, so the handle keeps its own.
    int fd = openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    while (dirent* d = readdir(dir))
        names.push_back(d->d_name);
    closedir(dir);
    return true;
}

CFileRef CFolderHandle::OpenEntry(const std::string& name) const
{
    return CFileRef(openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

bool CFolderHandle::Flush() const
{
    return fsync(fd_) == 0;
}

bool CFolderHandle::FlushFileSystem() const
{
    return syncfs(fd_) == 0;
}

void CFolderHandle::UseWalkOnly(bool on)
{
    g_walkOnly = on;
}
