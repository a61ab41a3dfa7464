// The buffered binary file on Windows: the file opened with CreateFileW (its long path,
// shared for reading, writing and deleting) and read and written through a C stream of
// the runtime on that handle.
#include "platform/BinFile.h"

#include "platform/windows/NtFiles.h"

#include <algorithm>
#include <fcntl.h>
#include <io.h>

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
    DWORD access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_EXISTING;
    int flags = _O_BINARY;
    const char* fmode = "r+b";
    switch (mode) {
    case Mode::Read: access = GENERIC_READ; flags |= _O_RDONLY; fmode = "rb"; break;
    case Mode::CreateAlways: disposition = CREATE_ALWAYS; break;
    case Mode::ReadWriteExisting: break;
    case Mode::CreateNew: disposition = CREATE_NEW; break;
    }
    HANDLE h = CreateFileW(winfs::LongPath(path).c_str(), access, winfs::kShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | (mode == Mode::CreateNew ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return winfs::FailWith(GetLastError());
    // Only files on a disk: a pipe or a device at the name is refused.
    LARGE_INTEGER length{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &length)) {
        CloseHandle(h);
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        return false;
    }
    file_ = _fdopen(fd, fmode);
    if (!file_) {
        _close(fd);
        return false;
    }
    buffer_ = std::make_unique<char[]>(kStreamBuffer);
    setvbuf(file_, buffer_.get(), _IOFBF, kStreamBuffer);
    path_ = path;
    readOnly_ = mode == Mode::Read;
    openLength_ = static_cast<uint64_t>(length.QuadPart);
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
    const size_t got = std::fread(data, 1, size, file_);
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
    const bool ok = _fseeki64(file_, static_cast<int64_t>(position), SEEK_SET) == 0;
    position_ = ok ? static_cast<int64_t>(position) : -1;
    return ok;
}

bool CBinFile::Skip(uint64_t count)
{
    if (!file_)
        return false;
    // A short stretch is read through the stream's buffer and dropped, as a seek
    // throws the buffer away.
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
    const bool ok = _fseeki64(file_, static_cast<int64_t>(count), SEEK_CUR) == 0;
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
    const int64_t p = _ftelli64(file_);
    return p < 0 ? 0 : static_cast<uint64_t>(p);
}

uint64_t CBinFile::Length() const
{
    if (!file_)
        return 0;
    if (readOnly_)
        return openLength_;
    std::fflush(file_); // pending output counts
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(winfs::ToHandle(Fd()), &length))
        return 0;
    return static_cast<uint64_t>(length.QuadPart);
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
    if (!file_)
        return CFileRef();
    return winfs::FromHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_))));
}
