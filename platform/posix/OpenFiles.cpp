#include "platform/OpenFiles.h"

#include "platform/FileSystem.h"
#include "platform/posix/NativeStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {

CFileRef OpenFileForReading(const std::string& path)
{
    return CFileRef(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

bool CloseFile(CFileRef handle)
{
    const int file = handle.Native();
    return close(file) == 0;
}

bool OpenFileStatus(CFileRef handle, CEntryStatus& st)
{
    const int file = handle.Native();
    struct stat native;
    if (fstat(file, &native) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

int64_t ReadSomeAt(CFileRef handle, void* data, size_t size, uint64_t offset)
{
    const int file = handle.Native();
    ssize_t n;
    do {
        n = pread(file, data, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

// Moves all size bytes at offset with transfer (pread or pwrite), piece by piece; false
// when the file ends first or fails.
template <class Bytes, class Transfer>
bool TransferAllAt(int file, Bytes* data, size_t size, uint64_t offset, Transfer transfer)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = transfer(file, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadAt(CFileRef handle, void* data, size_t size, uint64_t offset)
{
    const int fd = handle.Native();
    return TransferAllAt(fd, static_cast<unsigned char*>(data), size, offset, pread);
}

bool WriteAllAt(CFileRef handle, const void* data, size_t size, uint64_t offset)
{
    const int file = handle.Native();
    return TransferAllAt(file, static_cast<const unsigned char*>(data), size, offset, pwrite);
}

bool ReserveLength(CFileRef handle, uint64_t length)
{
    const int file = handle.Native();
    if (length > 0) {
        if (fallocate(file, 0, 0, static_cast<off_t>(length)) == 0)
            return true;
        if (errno == ENOSPC || errno == EDQUOT)
            return false;
    }
    return ftruncate(file, static_cast<off_t>(length)) == 0;
}

void StartWriteback(CFileRef handle)
{
    const int file = handle.Native();
    sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool FlushFile(CFileRef handle)
{
    const int file = handle.Native();
    return fsync(file) == 0;
}

bool GetAttributes(CFileRef handle, CFileAttributes& attributes)
{
    const int file = handle.Native();
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

bool SetOwnerAndPermissions(CFileRef handle, const CFileAttributes& attributes)
{
    const int file = handle.Native();
    // Only a privileged user can give the file another owner.
    if (attributes.owner != geteuid() || attributes.group != getegid())
        [[maybe_unused]] int ignored = fchown(file, attributes.owner, attributes.group);
    return SetPermissions(handle, attributes.permissions);
}

bool SetPermissions(CFileRef handle, unsigned permissions)
{
    const int file = handle.Native();
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

bool SetExactTimes(CFileRef handle, const CFileAttributes& attributes)
{
    const int file = handle.Native();
    struct timespec times[2];
    times[0].tv_sec = attributes.accessSeconds;
    times[0].tv_nsec = attributes.accessNanoseconds;
    times[1].tv_sec = attributes.writeSeconds;
    times[1].tv_nsec = attributes.writeNanoseconds;
    return futimens(file, times) == 0;
}

} // namespace fsys
