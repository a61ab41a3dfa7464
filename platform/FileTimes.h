// The three file times as 64-bit counts of 100-nanosecond intervals since
// 1 January 1601 UTC, the unit the patch file stores.
#pragma once
#include "platform/FileHandle.h"

#include <cstdint>
#include <string>

struct CFileTimes {
    uint64_t creation = 0;
    uint64_t lastAccess = 0;
    uint64_t lastWrite = 0;
};

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600LL;

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds);
void FileTimeToUnix(uint64_t fileTime, int64_t& seconds, uint32_t& nanoseconds);

// Creation is the birth time, or the last status change where the file system keeps no
// birth time.
bool GetFileTimes(const std::string& path, CFileTimes& times);

// What one status query of an open file tells besides its times.
struct CFileStatus {
    uint64_t length = 0;
    bool regular = false;
};
// The times, length and kind of an open file in one query (no second walk of its path).
bool GetOpenFileStatus(CFileRef file, CFileTimes& times, CFileStatus& status);
// Sets last access and last write; the creation time cannot be set on this platform.
bool SetFileTimes(const std::string& path, const CFileTimes& times);
// The same for an open file (no walk of its path).
bool SetOpenFileTimes(CFileRef file, const CFileTimes& times);
