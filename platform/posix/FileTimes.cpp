#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds)
{
    return static_cast<uint64_t>((seconds + kFileTimeEpochOffset) * 10000000LL + nanoseconds / 100);
}

void FileTimeToUnix(uint64_t fileTime, int64_t& seconds, uint32_t& nanoseconds)
{
    int64_t t = static_cast<int64_t>(fileTime / 10000000ULL) - kFileTimeEpochOffset;
    seconds = t;
    nanoseconds = static_cast<uint32_t>(fileTime % 10000000ULL) * 100;
}

namespace {

bool StatxTimes(int dirFd, const char* path, int flags, CFileTimes& times, struct statx& sx)
{
    if (statx(dirFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    if (sx.stx_mask & STATX_BTIME)
        times.creation = UnixToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    else
        times.creation = UnixToFileTime(sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec);
    times.lastAccess = UnixToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    times.lastWrite = UnixToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    return true;
}

void ToTimespecs(const CFileTimes& times, struct timespec ts[2])
{
    int64_t s;
    uint32_t ns;
    FileTimeToUnix(times.lastAccess, s, ns);
    ts[0].tv_sec = s;
    ts[0].tv_nsec = ns;
    FileTimeToUnix(times.lastWrite, s, ns);
    ts[1].tv_sec = s;
    ts[1].tv_nsec = ns;
}

} // namespace

bool GetFileTimes(const std::string& path, CFileTimes& times)
{
    struct statx sx;
    return StatxTimes(AT_FDCWD, path.c_str(), 0, times, sx);
}

bool GetOpenFileStatus(CFileRef handle, CFileTimes& times, CFileStatus& status)
{
    const int fd = handle.Native();
    struct statx sx;
    if (!StatxTimes(fd, "", AT_EMPTY_PATH, times, sx))
        return false;
    status.length = sx.stx_size;
    status.regular = S_ISREG(sx.stx_mode);
    return true;
}

bool SetFileTimes(const std::string& path, const CFileTimes& times)
{
    struct timespec ts[2];
    ToTimespecs(times, ts);
    return utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

bool SetOpenFileTimes(CFileRef handle, const CFileTimes& times)
{
    const int fd = handle.Native();
    struct timespec ts[2];
    ToTimespecs(times, ts);
    return futimens(fd, ts) == 0;
}
