// What the binary file does on every system once its stream is open: buffered reads,
// writes, seeks and skips, and the position it keeps itself. Opening the file and
// asking the system for its length are the platform's own (platform/*/BinFile.cpp).
#include "platform/BinFile.h"

#include <algorithm>

namespace {

// Skips up to this many bytes by reading them (in pieces of kSkipPiece).
constexpr size_t kReadThrough = CBinFile::kStreamBuffer;
constexpr size_t kSkipPiece = 4096;

int SeekStream(std::FILE* file, uint64_t offset, int whence)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<int64_t>(offset), whence);
#else
    return fseeko(file, static_cast<off_t>(offset), whence);
#endif
}

int64_t TellStream(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

} // namespace

CBinFile::~CBinFile()
{
    Close();
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
    const bool ok = SeekStream(file_, position, SEEK_SET) == 0;
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
    const bool ok = SeekStream(file_, count, SEEK_CUR) == 0;
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
    const int64_t p = TellStream(file_);
    return p < 0 ? 0 : static_cast<uint64_t>(p);
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

