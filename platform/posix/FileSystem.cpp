#include "platform/FileSystem.h"
#include "platform/Interrupts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {

bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    entries.clear();
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return false;
    while (dirent* d = readdir(dir)) {
        DirEntry e;
        e.name = d->d_name;
        if (e.name == "." || e.name == "..") {
            e.isFolder = true;
            entries.push_back(e);
            continue;
        }
        e.hidden = !e.name.empty() && e.name[0] == '.';
        // The folder listing tells the kind of most entries; only links and entries of
        // unknown kind need a status query.
        if (d->d_type == DT_DIR || d->d_type == DT_REG) {
            e.isFolder = d->d_type == DT_DIR;
            e.isFile = d->d_type == DT_REG;
            entries.push_back(e);
            continue;
        }
        std::string full = Join(folder, e.name);
        struct stat lst;
        if (lstat(full.c_str(), &lst) != 0)
            continue;
        if (S_ISDIR(lst.st_mode)) {
            e.isFolder = true;
        } else if (S_ISREG(lst.st_mode)) {
            e.isFile = true;
        } else if (S_ISLNK(lst.st_mode)) {
            struct stat st;
            if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue; // broken links and links to folders or devices are not collected
            e.isFile = true;
        } else {
            continue; // sockets, pipes, devices
        }
        entries.push_back(e);
    }
    closedir(dir);
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool CreateFolder(const std::string& path)
{
    return !path.empty() && mkdir(path.c_str(), 0777) == 0;
}

bool CreateFolders(const std::string& folder)
{
    if (folder.empty() || FolderExists(folder))
        return true;
    if (!CreateFolders(FolderOf(folder)))
        return false;
    return CreateFolder(folder) || FolderExists(folder);
}

bool DeleteFile(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool FileLength(const std::string& path, uint64_t& length)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    length = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& data)
{
    data.clear();
    // Without waiting: a named pipe at the path would otherwise block the open.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    data.resize(static_cast<size_t>(st.st_size));
    const bool whole = ReadAt(CFileRef(fd), data.data(), data.size(), 0);
    close(fd);
    if (!whole) {
        data.clear();
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bool ok = close(fd) == 0 && done == size;
    return ok;
}

bool AppendToFile(const std::string& path, const std::string& bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    lseek(fd, 0, SEEK_END);
    ssize_t ignored = write(fd, bytes.data(), bytes.size());
    (void)ignored;
    close(fd);
    return true;
}

bool GetPermissions(const std::string& path, unsigned& mode)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    mode = st.st_mode & 07777;
    return true;
}

bool SetPermissions(const std::string& path, unsigned mode)
{
    return chmod(path.c_str(), mode) == 0;
}

std::string FolderOf(const std::string& path)
{
    size_t p = path.rfind('/');
    if (p == std::string::npos)
        return "";
    if (p == 0)
        return "/";
    return path.substr(0, p);
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string WithoutTrailingSlash(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

namespace {

bool TextBelow(const std::string& path, const std::string& folder)
{
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty())
        return false;
    if (base == "/")
        return path.size() > 1 && path[0] == '/';
    return path.size() > base.size() + 1 && path.compare(0, base.size(), base) == 0 && path[base.size()] == '/';
}

// The path with every link resolved; "" when it cannot be had.
std::string Resolved(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

} // namespace

bool LiesInsideFolder(const std::string& path, const std::string& folder)
{
    if (TextBelow(path, folder))
        return true;
    const std::string realFolder = Resolved(folder);
    std::string parent = FolderOf(path);
    const std::string realParent = Resolved(parent.empty() ? std::string(".") : parent);
    if (realFolder.empty() || realParent.empty())
        return false;
    // The folder holding path lies in the folder, or is the folder itself.
    return realParent == realFolder || TextBelow(realParent, realFolder);
}

std::string ProgramPath()
{
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return "";
    buf[n] = 0;
    return buf;
}

std::string ProgramFolder()
{
    return FolderOf(ProgramPath());
}

namespace {
std::string g_tempFolder;
// The private temporary folder's handle, which holds a lock on it for as long as this
// process (or a child that shares the handle) lives: a later run that can take the
// lock knows the folder is abandoned.
int g_tempFolderLock = -1;

constexpr const char* kTempPrefix = "delvorin-";
// Made inside the folder once its lock is held, so that a folder without it (one being
// made) is never taken for an abandoned one.
constexpr const char* kHeldMark = ".held";

// Takes the lock of the folder; false when another process holds it (or it cannot be
// opened, a link, or no folder at all). The lock and handle are given in fd.
bool LockFolder(int at, const char* name, int& fd)
{
    fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    close(fd);
    fd = -1;
    return false;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}
} // namespace

bool RemoveTree(const std::string& path)
{
    if (path.empty() || path == "/")
        return false;
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return !PathExists(path);
}

void RemoveAbandonedTempFolders(const std::string& base)
{
    int at = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0)
        return;
    DIR* dir = fdopendir(at);
    if (!dir) {
        close(at);
        return;
    }
    const size_t prefix = std::strlen(kTempPrefix);
    std::vector<std::string> abandoned;
    while (dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        struct stat st, mark;
        if (name.size() != prefix + 6 || name.compare(0, prefix, kTempPrefix) != 0 ||
            fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != geteuid() ||
            fstatat(at, (name + "/" + kHeldMark).c_str(), &mark, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(mark.st_mode))
            continue;
        int fd;
        if (LockFolder(at, name.c_str(), fd)) {
            abandoned.push_back(name);
            close(fd);
        }
    }
    closedir(dir);
    for (const std::string& name : abandoned)
        RemoveTree(Join(base, name));
}

const std::string& PrivateTempFolder()
{
    if (g_tempFolder.empty()) {
        const char* fromEnv = std::getenv("TMPDIR");
        const std::string base = WithoutTrailingSlash(fromEnv && *fromEnv ? fromEnv : "/tmp");
        std::string templ = base + "/" + kTempPrefix + "XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back(0);
        if (mkdtemp(buf.data()) != nullptr) {
            g_tempFolder = std::string(buf.data()) + "/";
            SetSignalTempFolder(buf.data());
            std::atexit(RemovePrivateTempFolder);
            if (LockFolder(AT_FDCWD, buf.data(), g_tempFolderLock)) {
                int mark = open((g_tempFolder + kHeldMark).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                if (mark >= 0)
                    close(mark);
            }
            // Folders of earlier runs that ended without removing theirs (killed) go now.
            RemoveAbandonedTempFolders(base);
        }
    }
    return g_tempFolder;
}

void RemovePrivateTempFolder()
{
    if (!g_tempFolder.empty()) {
        SetSignalTempFolder("");
        RemoveTree(WithoutTrailingSlash(g_tempFolder));
        g_tempFolder.clear();
    }
    if (g_tempFolderLock >= 0) {
        close(g_tempFolderLock);
        g_tempFolderLock = -1;
    }
}

} // namespace fsys
