// The buffered binary file on Windows: the file opened with CreateFileW (its long path,
// shared for reading, writing and deleting) and read and written through a C stream of
// the runtime on that handle.
#include "platform/BinFile.h"

#include "platform/windows/NtFiles.h"

#include <fcntl.h>
#include <io.h>

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

CFileRef CBinFile::Fd() const
{
    if (!file_)
        return CFileRef();
    return winfs::FromHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_))));
}
