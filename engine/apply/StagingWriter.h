// Small new files of a staged apply, written to the disk beside the rebuild of the next
// ones. An apply of many new files spends as much of its time making, writing and
// closing the staged files as rebuilding them; with this writer the file system's part
// runs on a helper thread while the apply goes on with the next record, and each written
// file joins the replace queue (in the order the files were handed on) before the
// commit, exactly as one staged by the apply itself.
//
// Only a file that replaces nothing goes this way: it takes no backup and no old file's
// permissions, and its bytes are complete and checked in memory when they are handed on.
#pragma once
#include "engine/apply/ReplaceQueue.h"
#include "platform/FileTimes.h"
#include "platform/FolderHandle.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

class CStagingWriter {
public:
    // Files up to this length are handed on; the bytes waiting are held to this many.
    static constexpr uint64_t kLargestFile = uint64_t{1} << 20;
    static constexpr uint64_t kMaxWaiting = uint64_t{16} << 20;
    // The helper is woken for this many files or bytes at a time, not for every file.
    static constexpr size_t kBatchFiles = 64;
    static constexpr uint64_t kBatchBytes = uint64_t{1} << 20;
    // Whenever this many bytes have been written, a third thread sends them to the disk
    // (a flush of their file system) while the next files are made: the flush before the
    // commit, which the apply waits for, then finds less left to write.
    static constexpr uint64_t kEarlyFlushBytes = uint64_t{2} << 20;

    struct CFile {
        std::shared_ptr<const CFolderHandle> folder; // where the target lies
        std::string folderPath;                      // the folder, for messages
        std::string leaf;                            // the target's name in it
        std::string target;                          // the target's full path, for messages
        std::vector<unsigned char> bytes;            // the new file, checked
        CFileTimes times;
        unsigned mode = 0;                           // its permissions
    };

    explicit CStagingWriter(CReplaceQueue& queue);
    ~CStagingWriter();
    CStagingWriter(const CStagingWriter&) = delete;
    CStagingWriter& operator=(const CStagingWriter&) = delete;

    // Hands a file on, waiting while too many bytes wait. False when a file handed on
    // before could not be written: Failure() says which, and nothing more is written.
    bool Add(CFile file);
    // True when a file for the target (full path) was handed on.
    bool Holds(const std::string& target) const { return targets_.count(target) != 0; }
    // Writes the files still waiting beside the helper (both make files then), waits
    // until every file handed on is written and puts the written ones in the replace
    // queue, in the order they were handed on. False when one could not be written
    // (Failure() says which).
    bool Finish();
    // The message for the first file that could not be written ("" when none).
    std::string Failure() const;

private:
    void Run();
    // Starts the third thread, whose loop flushes while files are written, until Finish.
    void StartFlusher();
    void FlushEarly();
    // Takes the first waiting file and writes it, the lock released meanwhile (it is
    // held on entry and on return).
    void WriteNext(std::unique_lock<std::mutex>& lock);
    // True when the helper has enough to do to be woken (the lock held).
    bool BatchReady() const;
    // Makes, writes and closes the staged file; the entry for the queue, or the message.
    bool Write(CFile& file, CReplaceQueue::CEntry& entry, std::string& failure);

    CReplaceQueue& queue_;
    std::unordered_set<std::string> targets_; // handed on (the apply's thread only)
    std::thread thread_;
    std::thread flusher_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable flushDue_; // wakes the third thread
    std::deque<std::pair<CFile, size_t>> waiting_; // each with its place in the handing on
    size_t handedOn_ = 0;
    uint64_t waitingBytes_ = 0;
    int busy_ = 0;          // files being written
    bool sleeping_ = false; // the helper waits for files
    bool finishing_ = false; // Finish waits for every file
    bool ending_ = false;
    bool stopFlushing_ = false;
    uint64_t unflushed_ = 0; // written since the last early flush
    std::shared_ptr<const CFolderHandle> lastFolder_; // of the file written last
    struct CWritten {
        CReplaceQueue::CEntry entry;
        uint64_t bytes = 0;
        size_t place = 0;
    };
    std::vector<CWritten> written_;
    std::string failure_;
};
