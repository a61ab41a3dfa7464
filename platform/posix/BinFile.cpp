#include "platform/BinFile.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

bool CBinFile::Open(const std::string& path, Mode mode)
{
    Close();
    int flags = O_CLOEXEC;
    const char* fmode = "rb";
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; fmode = "rb"; break;
    case Mode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; fmode = "w+b"; break;
    case Mode::ReadWriteExisting: flags |= O_RDWR; fmode = "r+b"; break;
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; fmode = "w+b"; break;
    }
    // Opened without waiting, so that a named pipe at the path cannot stall the program
    // (opening one blocks until the other end is opened); pipes are then refused.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    bool opened = fstat(fd, &st) == 0;
    // A folder or a pipe at the path is refused with its own cause (the caller shows it),
    // not whatever an earlier call left behind.
    if (opened && (S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ESPIPE;
        opened = false;
    }
    if (!opened || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int cause = errno;
        ::close(fd);
        errno = cause;
        return false;
    }
    std::FILE* file = fdopen(fd, fmode);
    if (!file) {
        ::close(fd);
        return false;
    }
    Adopt(file, path, mode, static_cast<uint64_t>(st.st_size));
    return true;
}

uint64_t CBinFile::Length() const
{
    if (!file_)
        return 0;
    if (readOnly_)
        return openLength_;
    // Pending output must reach the file to be counted. Only then flush: flushing a
    // stream that is being read throws away its read buffer, which the record reader,
    // asking once per record, would pay for with a fresh read every time.
    if (__fpending(file_) > 0)
        std::fflush(file_);
    struct stat st;
    if (fstat(fileno(file_), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

CFileRef CBinFile::Fd() const
{
    return CFileRef(file_ ? fileno(file_) : -1);
}
