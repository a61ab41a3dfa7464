#include "platform/BinFile.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kStreamBuffer = 1 << 16;
// Skips up to this many bytes by reading them.
constexpr size_t kReadThrough = 4096;
}

CBinFile::~CBinFile()
{
    Close();
}

bool CBinFile::Open(const std::string& path, Mode mode)
{
    Close();
    int flags = O_CLOEXEC;
    const char* fmode = "rb";
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; fmode = "rb"; break;
    case Mode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; fmode = "w+b"; break;
    case Mode::ReadWriteExisting: flags |= O_RDWR; fmode = "r+b"; break;
    }
    // Opened without waiting, so that a named pipe at the path cannot stall the program
    // (opening one blocks until the other end is opened); pipes are then refused.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    file_ = fdopen(fd, fmode);
    if (!file_) {
        ::close(fd);
        return false;
    }
    setvbuf(file_, nullptr, _IOFBF, kStreamBuffer);
    path_ = path;
    return true;
}

bool CBinFile::Close()
{
    if (!file_)
        return true;
    bool ok = std::ferror(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    return ok;
}

size_t CBinFile::Read(void* data, size_t size)
{
    if (!file_ || size == 0)
        return 0;
    return std::fread(data, 1, size, file_);
}

bool CBinFile::ReadExact(void* data, size_t size)
{
    return Read(data, size) == size;
}

bool CBinFile::Write(const void* data, size_t size)
{
    if (!file_)
        return false;
    if (size == 0)
        return true;
    return std::fwrite(data, 1, size, file_) == size;
}

bool CBinFile::Seek(uint64_t position)
{
    return file_ && fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool CBinFile::Skip(uint64_t count)
{
    if (!file_)
        return false;
    // A short stretch is read through the stream's buffer and dropped: a seek costs the
    // stream a call to the system even within its buffer, and the records of a patch
    // pass over thousands of small data blocks.
    if (count <= kReadThrough) {
        unsigned char scratch[kReadThrough];
        return std::fread(scratch, 1, static_cast<size_t>(count), file_) == count;
    }
    return fseeko(file_, static_cast<off_t>(count), SEEK_CUR) == 0;
}

uint64_t CBinFile::Tell() const
{
    if (!file_)
        return 0;
    off_t p = ftello(file_);
    return p < 0 ? 0 : static_cast<uint64_t>(p);
}

uint64_t CBinFile::Length() const
{
    if (!file_)
        return 0;
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

bool CBinFile::Flush()
{
    return file_ && std::fflush(file_) == 0;
}

bool CBinFile::HadError() const
{
    return !file_ || std::ferror(file_) != 0;
}

int CBinFile::Fd() const
{
    return file_ ? fileno(file_) : -1;
}
