#include "platform/OpenFiles.h"

#include "platform/posix/NativeStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {

int OpenFileForReading(const std::string& path)
{
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

bool CloseFile(int file)
{
    return close(file) == 0;
}

bool OpenFileStatus(int file, CEntryStatus& st)
{
    struct stat native;
    if (fstat(file, &native) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

int64_t ReadSomeAt(int file, void* data, size_t size, uint64_t offset)
{
    ssize_t n;
    do {
        n = pread(file, data, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

bool WriteAllAt(int file, const void* data, size_t size, uint64_t offset)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(file, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReserveLength(int file, uint64_t length)
{
    if (length > 0) {
        if (fallocate(file, 0, 0, static_cast<off_t>(length)) == 0)
            return true;
        if (errno == ENOSPC || errno == EDQUOT)
            return false;
    }
    return ftruncate(file, static_cast<off_t>(length)) == 0;
}

void StartWriteback(int file)
{
    sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool FlushFile(int file)
{
    return fsync(file) == 0;
}

bool GetAttributes(int file, CFileAttributes& attributes)
{
    struct stat st;
    if (fstat(file, &st) != 0)
        return false;
    attributes.permissions = st.st_mode & 07777;
    attributes.owner = st.st_uid;
    attributes.group = st.st_gid;
    attributes.accessSeconds = st.st_atim.tv_sec;
    attributes.accessNanoseconds = static_cast<uint32_t>(st.st_atim.tv_nsec);
    attributes.writeSeconds = st.st_mtim.tv_sec;
    attributes.writeNanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    return true;
}

bool SetOwnerAndPermissions(int file, const CFileAttributes& attributes)
{
    // Only a privileged user can give the file another owner.
    if (attributes.owner != geteuid() || attributes.group != getegid())
        [[maybe_unused]] int ignored = fchown(file, attributes.owner, attributes.group);
    return SetPermissions(file, attributes.permissions);
}

bool SetPermissions(int file, unsigned permissions)
{
    return fchmod(file, permissions) == 0;
}

unsigned NewFileMode()
{
    // The mask is read once: reading it means setting it.
    static const unsigned mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return 0666 & ~static_cast<unsigned>(mask);
    }();
    return mode;
}

bool SetExactTimes(int file, const CFileAttributes& attributes)
{
    struct timespec times[2];
    times[0].tv_sec = attributes.accessSeconds;
    times[0].tv_nsec = attributes.accessNanoseconds;
    times[1].tv_sec = attributes.writeSeconds;
    times[1].tv_nsec = attributes.writeNanoseconds;
    return futimens(file, times) == 0;
}

} // namespace fsys
