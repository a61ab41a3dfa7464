// Replacements of target files that wait for one disk flush together.
//
// A rebuilt file may take its target's place only once its bytes are on the disk, so
// that a crash leaves the old file or the new one, never a mixture. Waiting for the
// disk once per file costs an apply of many small changes most of its time; the queue
// holds checked, complete rebuilt files, then makes all of them durable with one flush
// of each file system that holds them and only then renames each over its target, in
// order, and makes the renames durable with one more flush of each.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CAppCore;

// Forces a file's bytes (and its times and permissions) to the disk.
bool SyncFile(const std::string& path);
// Makes the renames in a folder durable.
void SyncFolder(const std::string& folder);

class CReplaceQueue {
public:
    // Limits that bound the extra disk space the waiting files take.
    static constexpr uint64_t kMaxBytes = uint64_t{64} << 20;
    static constexpr size_t kMaxFiles = 256;

    explicit CReplaceQueue(CAppCore& core) : core_(core) {}
    ~CReplaceQueue();
    CReplaceQueue(const CReplaceQueue&) = delete;
    CReplaceQueue& operator=(const CReplaceQueue&) = delete;

    // Queues the rebuilt file for target; flushes when the queue is full. False when a
    // flush failed (the user has been told).
    bool Add(const std::string& rebuild, const std::string& target, uint64_t bytes);
    // True when target has a replacement waiting.
    bool Holds(const std::string& target) const;
    // Makes every waiting file durable and renames it over its target. On a failure
    // the user is told which target could not be replaced; the files after it are
    // dropped and false is returned.
    bool Flush();

private:
    struct CEntry {
        std::string rebuild;
        std::string target;
    };
    CAppCore& core_;
    std::vector<CEntry> entries_;
    uint64_t bytes_ = 0;
};
