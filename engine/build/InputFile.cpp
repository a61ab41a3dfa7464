// A regular file opened for a build (see InputFile.h).
#include "engine/build/InputFile.h"

#include "platform/OpenFiles.h"
#include "platform/SystemError.h"

bool CInputFile::Open(const std::string& path, CFileTimes& times)
{
    Close();
    missing_ = false;
    // Without waiting: a named pipe at the name is refused, not read from.
    fd_ = fsys::OpenFileForReading(path);
    if (!fd_.Valid()) {
        missing_ = LastSystemError() == SystemError::NotFound;
        return false;
    }
    CFileStatus status;
    if (!GetOpenFileStatus(fd_, times, status) || !status.regular) {
        Close();
        times = CFileTimes{};
        return false;
    }
    length_ = status.length;
    return true;
}

void CInputFile::Close()
{
    if (fd_.Valid())
        fsys::CloseFile(fd_);
    fd_ = CFileRef();
    length_ = 0;
}
