#include "platform/BinFile.h"

#include <algorithm>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kStreamBuffer = 1 << 16;
// Skips up to this many bytes by reading them (in pieces of kSkipPiece).
constexpr size_t kReadThrough = kStreamBuffer;
constexpr size_t kSkipPiece = 4096;
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
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; fmode = "w+b"; break;
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
    buffer_ = std::make_unique<char[]>(kStreamBuffer);
    setvbuf(file_, buffer_.get(), _IOFBF, kStreamBuffer);
    path_ = path;
    readOnly_ = mode == Mode::Read;
    openLength_ = static_cast<uint64_t>(st.st_size);
    position_ = 0;
    return true;
}

bool CBinFile::Close()
{
    if (!file_)
        return true;
    bool ok = std::ferror(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    buffer_.reset();
    position_ = -1;
    return ok;
}

size_t CBinFile::Read(void* data, size_t size)
{
    if (!file_ || size == 0)
        return 0;
    // A file object is used by one thread at a time: the stream's lock is not taken. The
    // record of a thorough patch is read in pieces of 16 and 20 bytes, 100,000s of them.
#if defined(__GLIBC__)
    const size_t got = fread_unlocked(data, 1, size, file_);
#else
    const size_t got = std::fread(data, 1, size, file_);
#endif
    Advance(got);
    return got;
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
    const size_t put = std::fwrite(data, 1, size, file_);
    Advance(put);
    return put == size;
}

bool CBinFile::Seek(uint64_t position)
{
    if (!file_)
        return false;
    const bool ok = fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
    position_ = ok ? static_cast<int64_t>(position) : -1;
    return ok;
}

bool CBinFile::Skip(uint64_t count)
{
    if (!file_)
        return false;
    // A short stretch is read through the stream's buffer and dropped: a seek costs the
    // stream a call to the system even within its buffer, and the records of a patch
    // pass over thousands of small data blocks.
    if (count <= kReadThrough) {
        unsigned char scratch[kSkipPiece];
        while (count > 0) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, kSkipPiece));
            const size_t got = std::fread(scratch, 1, piece, file_);
            Advance(got);
            if (got != piece)
                return false;
            count -= piece;
        }
        return true;
    }
    const bool ok = fseeko(file_, static_cast<off_t>(count), SEEK_CUR) == 0;
    if (ok)
        Advance(static_cast<size_t>(count));
    else
        position_ = -1;
    return ok;
}

uint64_t CBinFile::Tell() const
{
    if (!file_)
        return 0;
    if (position_ >= 0)
        return static_cast<uint64_t>(position_);
    off_t p = ftello(file_);
    return p < 0 ? 0 : static_cast<uint64_t>(p);
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

void CBinFile::Advance(size_t bytes)
{
    if (position_ >= 0)
        position_ += static_cast<int64_t>(bytes);
}

bool CBinFile::Flush()
{
    return file_ && std::fflush(file_) == 0;
}

bool CBinFile::HadError() const
{
    return !file_ || std::ferror(file_) != 0;
}

CFileRef CBinFile::Fd() const
{
    return CFileRef(file_ ? fileno(file_) : -1);
}
