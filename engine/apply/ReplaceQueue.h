// Replacements of target files that wait for one disk flush together.
//
// A new file may take its target's name only once its bytes are on the disk, so that a
// crash leaves the old file or the new one (or none, for a new file), never a mixture.
// Waiting for the disk once per file costs an apply of many small files most of its
// time; the queue holds complete, checked files staged beside their targets, makes all
// of them durable with one flush of each file system that holds them, only then renames
// each over its target, in order, and makes the renames durable with one more flush of
// each folder.
//
// A staged apply lets every file of the patch wait here and flushes once, in its commit;
// the queue then also keeps the old files' backups and gives the targets that only get
// new times their times, so that nothing in the target folder changes before it.
#pragma once
#include "engine/common/CDirDiff.h"
#include "platform/FileTimes.h"
#include "platform/FolderHandle.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class IEngineHost;

class CReplaceQueue {
public:
    // Limits that bound the extra disk space the waiting files take, unless set otherwise.
    static constexpr uint64_t kMaxBytes = uint64_t{64} << 20;
    static constexpr size_t kMaxFiles = 1024;

    struct CEntry {
        std::shared_ptr<const CFolderHandle> folder; // the folder of target and staged file
        std::string staged;                          // the staged file's name in it
        std::string leaf;                            // the target's name in it
        std::string target;                          // the target's full path, for messages
        bool backup = false;                         // keep the old file under its backup name first
        bool timesOnly = false;                      // no staged file: the target only gets times
        CFileTimes times;                            // those times
    };

    explicit CReplaceQueue(IEngineHost& core) : core_(core) {}
    ~CReplaceQueue();
    CReplaceQueue(const CReplaceQueue&) = delete;
    CReplaceQueue& operator=(const CReplaceQueue&) = delete;

    // How much may wait before a flush; without limits, everything waits for Flush.
    void SetLimits(uint64_t maxBytes, size_t maxFiles);
    void NoLimits() { SetLimits(std::numeric_limits<uint64_t>::max(), std::numeric_limits<size_t>::max()); }
    // Where the backups of entries that ask for one go on record, and their extension.
    void KeepBackups(BackupList* list, const std::string& ext);

    // Queues the staged file for its target; flushes when the queue is full. False when
    // a flush failed (the user has been told).
    bool Add(CEntry entry, uint64_t bytes);
    // True when the target (full path) has a replacement waiting.
    bool Holds(const std::string& target) const;
    // Makes every waiting file durable and renames it over its target (after its
    // backup, where one is asked for). When a waiting file cannot be made durable no
    // target is replaced; when a rename fails, the ones before it stay done. Either way
    // the user is told which target could not be replaced, the waiting files are removed
    // and false is returned.
    bool Flush();
    // Removes every waiting file; no target changes.
    void Discard();

private:
    // Backs up, renames or gives times for one entry; false when it failed (told).
    bool Commit(const CEntry& e);
    bool Tell(const std::string& text); // shows the text; false

    IEngineHost& core_;
    std::vector<CEntry> entries_;
    std::unordered_set<std::string> targets_; // of the entries
    uint64_t bytes_ = 0;
    uint64_t maxBytes_ = kMaxBytes;
    size_t maxFiles_ = kMaxFiles;
    BackupList* backups_ = nullptr;
    std::string backupExt_;
};
