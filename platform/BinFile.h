// A binary file opened in one of the ways the engine needs: read-only, create-always
// (truncating), create-new (exclusive), or open-existing for reading and writing without
// truncation.
// Reads and writes are buffered; every failure is reported by the return value.
#pragma once
#include "platform/FileHandle.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CBinFile {
public:
    enum class Mode {
        Read,              // existing file, read-only
        CreateAlways,      // create or truncate, read and write
        ReadWriteExisting, // existing file, read and write, not truncated
        CreateNew,         // a file that must not exist yet (no link followed), read and write
    };

    // The size of the stream's buffer.
    static constexpr size_t kStreamBuffer = 1 << 16;

    CBinFile() = default;
    ~CBinFile();
    CBinFile(const CBinFile&) = delete;
    CBinFile& operator=(const CBinFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    // Closes the file; false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Reads up to size bytes; returns the number read (0 at the end or on an error).
    size_t Read(void* data, size_t size);
    // Reads exactly size bytes; false when fewer were there.
    bool ReadExact(void* data, size_t size);
    bool Write(const void* data, size_t size);
    bool Seek(uint64_t position);
    bool Skip(uint64_t count);
    uint64_t Tell() const;
    uint64_t Length() const;
    bool Flush();
    bool HadError() const;
    // The open file (invalid when closed), for copies at explicit offsets that leave
    // the stream's position alone.
    CFileRef Fd() const;

private:
    void Advance(size_t bytes);

    std::FILE* file_ = nullptr;
    std::string path_;
    // The stream's buffer: the C library takes the size asked for only with a buffer
    // of the caller's (without one it keeps its own default of a few KiB).
    std::unique_ptr<char[]> buffer_;
    // A file opened for reading only keeps the length it had when opened: the patch
    // image is asked for it once per record and object.
    bool readOnly_ = false;
    uint64_t openLength_ = 0;
    // The stream position as far as this object knows it (-1: ask the stream); asking
    // the stream costs a call to the system every time.
    int64_t position_ = -1;
};
