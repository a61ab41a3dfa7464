// A file a build reads: opened only when it is a regular file (a named pipe at the name
// is refused without waiting for a writer), with its length and times from the one
// status query of the open file. Closed when it goes.
#pragma once
#include "platform/FileHandle.h"
#include "platform/FileTimes.h"

#include <cstdint>
#include <string>

class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile() { Close(); }
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // Opens the file and fills times; on failure times are cleared.
    bool Open(const std::string& path, CFileTimes& times);
    // After a failed Open: true when nothing was at the name at all.
    bool Missing() const { return missing_; }

    bool IsOpen() const { return fd_.Valid(); }
    uint64_t Length() const { return length_; }
    CFileRef Fd() const { return fd_; }
    void Close();

private:
    CFileRef fd_;
    uint64_t length_ = 0;
    bool missing_ = false;
};
