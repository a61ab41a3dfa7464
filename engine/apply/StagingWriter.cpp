#include "engine/apply/StagingWriter.h"

#include "engine/apply/StagedNames.h"
#include "platform/FileSystem.h"
#include "platform/OpenFiles.h"

#include <algorithm>
#include <system_error>
#include <utility>

CStagingWriter::CStagingWriter(CReplaceQueue& queue) : queue_(queue)
{
    // The permissions of new files are read before the helper makes any: reading the
    // process's mask means setting it for a moment.
    fsys::NewFileMode();
}

CStagingWriter::~CStagingWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        stopFlushing_ = true;
    }
    flushDue_.notify_all();
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (flusher_.joinable())
        flusher_.join();
    // Files written but never put in the queue are not left behind.
    for (const CWritten& written : written_)
        written.entry.folder->Remove(written.entry.staged);
}

bool CStagingWriter::Add(CFile file)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !failure_.empty() || waitingBytes_ < kMaxWaiting; });
    if (!failure_.empty())
        return false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Run(); });
            StartFlusher();
        } catch (const std::system_error&) {
            // No thread could be started: the file is written here and now.
            targets_.insert(file.target);
            CReplaceQueue::CEntry entry;
            if (!Write(file, entry, failure_))
                return false;
            written_.push_back(CWritten{std::move(entry), file.bytes.size(), handedOn_++});
            return true;
        }
    }
    targets_.insert(file.target);
    waitingBytes_ += file.bytes.size();
    waiting_.emplace_back(std::move(file), handedOn_++);
    const bool wake = sleeping_ && BatchReady();
    lock.unlock();
    if (wake)
        changed_.notify_all();
    return true;
}

bool CStagingWriter::BatchReady() const
{
    return !waiting_.empty() && (finishing_ || waiting_.size() >= kBatchFiles || waitingBytes_ >= kBatchBytes);
}

void CStagingWriter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Once woken, the helper writes every file waiting before it sleeps again.
        if (waiting_.empty()) {
            sleeping_ = true;
            changed_.wait(lock, [&] { return ending_ || BatchReady(); });
            sleeping_ = false;
        }
        if (waiting_.empty())
            return; // ending, with nothing left
        WriteNext(lock);
    }
}

void CStagingWriter::WriteNext(std::unique_lock<std::mutex>& lock)
{
    auto [file, place] = std::move(waiting_.front());
    waiting_.pop_front();
    ++busy_;
    const bool skip = !failure_.empty(); // after a failure nothing more is written
    lock.unlock();
    CReplaceQueue::CEntry entry;
    std::string failure;
    const uint64_t bytes = file.bytes.size();
    const bool ok = skip || Write(file, entry, failure);
    lock.lock();
    --busy_;
    // Only a thread that can be waiting for this file is woken: Add while too many bytes
    // waited, Finish, and Add after a failure.
    const bool wake = waitingBytes_ >= kMaxWaiting || finishing_ || !ok;
    waitingBytes_ -= bytes;
    if (!ok && failure_.empty())
        failure_ = failure;
    else if (ok && !skip) {
        lastFolder_ = entry.folder;
        unflushed_ += bytes;
        written_.push_back(CWritten{std::move(entry), bytes, place});
        if (unflushed_ >= kEarlyFlushBytes)
            flushDue_.notify_one();
    }
    if (wake)
        changed_.notify_all();
}

void CStagingWriter::StartFlusher()
{
    try {
        flusher_ = std::thread([this] { FlushEarly(); });
    } catch (const std::system_error&) {
        // Without it the flush before the commit does all the work.
    }
}

void CStagingWriter::FlushEarly()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        flushDue_.wait(lock, [&] { return stopFlushing_ || unflushed_ >= kEarlyFlushBytes; });
        if (stopFlushing_)
            return;
        std::shared_ptr<const CFolderHandle> folder = lastFolder_;
        unflushed_ = 0;
        lock.unlock();
        // Only sooner: the flush before the commit is made all the same. A file system
        // that cannot be flushed whole is not tried again.
        const bool flushed = folder->FlushFileSystem();
        lock.lock();
        if (!flushed)
            return;
    }
}

bool CStagingWriter::Write(CFile& file, CReplaceQueue::CEntry& entry, std::string& failure)
{
    std::string staged;
    const CFileRef fd = file.folder->CreateUnique(kStagedPrefix, staged, file.mode);
    if (!fd.Valid()) {
        failure = "Unable to create file:\n" + fsys::Join(file.folderPath, std::string(kStagedPrefix) + "XXXXXX");
        return false;
    }
    const bool written = fsys::WriteAllAt(fd, file.bytes.data(), file.bytes.size(), 0);
    if (written)
        SetOpenFileTimes(fd, file.times);
    // A file that cannot be closed may have lost its bytes.
    if (!fsys::CloseFile(fd) || !written) {
        file.folder->Remove(staged);
        failure = "Unable to write file:\n" + fsys::Join(file.folderPath, staged);
        return false;
    }
    entry.folder = file.folder;
    entry.staged = staged;
    entry.leaf = file.leaf;
    entry.target = file.target;
    return true;
}

bool CStagingWriter::Finish()
{
    std::vector<CWritten> written;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        finishing_ = true;
        changed_.notify_all();
        // Making files is most of the work left: this thread makes them too.
        while (!waiting_.empty())
            WriteNext(lock);
        changed_.wait(lock, [&] { return waiting_.empty() && busy_ == 0; });
        finishing_ = false;
        stopFlushing_ = true;
        written.swap(written_);
    }
    // An early flush under way goes on beside the commit's own (joined at the end).
    flushDue_.notify_all();
    std::sort(written.begin(), written.end(),
              [](const CWritten& a, const CWritten& b) { return a.place < b.place; });
    // Without limits the queue only collects: nothing is flushed here.
    for (CWritten& w : written)
        queue_.Add(std::move(w.entry), w.bytes);
    return Failure().empty();
}

std::string CStagingWriter::Failure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}
