// Reading ahead for a build of many files: while the build differences one file pair,
// helper threads open and read the small pairs that come next, so that the opening,
// status query, reading and closing of thousands of files (almost all of a build's time
// when few files change) is spread over the processors. The build takes the pairs in
// order; a pair the helpers have not read, could not read completely or did not take
// (a large file, which the build maps itself) is read by the build as before, so every
// message and failure stays the build's own.
#pragma once
#include "engine/common/FileContent.h"
#include "platform/FileTimes.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One file of a pair as the helper found it.
struct CPrefetchedFile {
    bool present = false; // opened as a regular file
    CFileTimes times;
    uint32_t length = 0;
    CFileContent content;
};

// The old file (possibly absent: the new file is then a new one) and the new file.
struct CPrefetchedPair {
    CPrefetchedFile oldFile;
    CPrefetchedFile newFile;
};

class CFilePrefetch {
public:
    // Gives the old and the new path of item index; false when the build skips the item.
    using PairOf = std::function<bool(size_t index, std::string& oldPath, std::string& newPath)>;

    // Starts the helpers for items 0 to count - 1 (none for fewer than two items).
    CFilePrefetch(size_t count, PairOf pairOf);
    ~CFilePrefetch();
    CFilePrefetch(const CFilePrefetch&) = delete;
    CFilePrefetch& operator=(const CFilePrefetch&) = delete;

    // The pair of item index, read ahead, or null when the caller must read it itself.
    // Items are taken in increasing order; items passed over are dropped.
    std::unique_ptr<CPrefetchedPair> Take(size_t index);

    // Reads one pair of small files; null when anything is not as a build expects.
    static std::unique_ptr<CPrefetchedPair> ReadPair(const std::string& oldPath, const std::string& newPath);

private:
    void Work();

    const size_t count_;
    PairOf pairOf_;
    std::mutex mutex_;
    std::condition_variable room_;     // helpers wait here for items to claim
    std::condition_variable readyCv_; // the build waits here for its item
    size_t nextClaim_ = 0; // the first item no thread has claimed
    size_t wanted_ = 0;    // the item the build takes next
    size_t heldBytes_ = 0;
    bool stop_ = false;
    bool buildWaiting_ = false;
    unsigned idleHelpers_ = 0;
    std::map<size_t, std::unique_ptr<CPrefetchedPair>> ready_;
    std::vector<std::thread> helpers_;
};
