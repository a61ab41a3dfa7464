// Replacements of target files that wait for one disk flush together.
//
// A new file may take its target's name only once its bytes are on the disk, so that a
// crash leaves the old file or the new one (or none, for a new file), never a mixture.
// Waiting for the disk once per file costs an apply of many small files most of its
// time; the queue holds complete, checked files staged beside their targets, makes all
// of them durable with one flush of each file system that holds them, only then renames
// each over its target, in order, and makes the renames durable with one more flush of
// each folder.
#pragma once
#include "platform/FolderHandle.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class CAppCore;

class CReplaceQueue {
public:
    // Limits that bound the extra disk space the waiting files take.
    static constexpr uint64_t kMaxBytes = uint64_t{64} << 20;
    static constexpr size_t kMaxFiles = 1024;

    struct CEntry {
        std::shared_ptr<const CFolderHandle> folder; // the folder of target and staged file
        std::string staged;                          // the staged file's name in it
        std::string leaf;                            // the target's name in it
        std::string target;                          // the target's full path, for messages
    };

    explicit CReplaceQueue(CAppCore& core) : core_(core) {}
    ~CReplaceQueue();
    CReplaceQueue(const CReplaceQueue&) = delete;
    CReplaceQueue& operator=(const CReplaceQueue&) = delete;

    // Queues the staged file for its target; flushes when the queue is full. False when
    // a flush failed (the user has been told).
    bool Add(CEntry entry, uint64_t bytes);
    // True when the target (full path) has a replacement waiting.
    bool Holds(const std::string& target) const;
    // Makes every waiting file durable and renames it over its target. When a waiting
    // file cannot be made durable no target is replaced; when a rename fails, the ones
    // before it stay done. Either way the user is told which target could not be
    // replaced, the waiting files are removed and false is returned.
    bool Flush();

private:
    CAppCore& core_;
    std::vector<CEntry> entries_;
    std::unordered_set<std::string> targets_; // of the entries
    uint64_t bytes_ = 0;
};
