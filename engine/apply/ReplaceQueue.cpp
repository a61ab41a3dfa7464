#include "engine/apply/ReplaceQueue.h"

#include "app/AppCore.h"

#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// More folders than this on one file system are flushed with it.
constexpr size_t kFoldersFlushedOneByOne = 16;

// Flushes the file system of every entry's folder once; where a file system cannot be
// flushed whole, the staged file itself is. False when a staged file is gone or cannot
// be flushed.
bool MakeDurable(const std::vector<CReplaceQueue::CEntry>& entries)
{
    std::set<dev_t> flushed;
    for (const CReplaceQueue::CEntry& e : entries) {
        struct stat st;
        if (!e.folder->Status(e.staged, st) || !S_ISREG(st.st_mode))
            return false;
        if (flushed.count(st.st_dev) != 0)
            continue;
        if (syncfs(e.folder->Fd()) == 0) {
            flushed.insert(st.st_dev);
            continue;
        }
        int fd = openat(e.folder->Fd(), e.staged.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        const bool ok = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

CReplaceQueue::~CReplaceQueue()
{
    // Files still waiting (the apply ended without a flush) are not left behind.
    for (const CEntry& e : entries_)
        e.folder->Remove(e.staged);
}

bool CReplaceQueue::Add(CEntry entry, uint64_t bytes)
{
    targets_.insert(entry.target);
    entries_.push_back(std::move(entry));
    bytes_ += bytes;
    if (bytes_ >= kMaxBytes || entries_.size() >= kMaxFiles)
        return Flush();
    return true;
}

bool CReplaceQueue::Holds(const std::string& target) const
{
    return targets_.count(target) != 0;
}

bool CReplaceQueue::Flush()
{
    if (entries_.empty())
        return true;
    std::vector<CEntry> entries;
    entries.swap(entries_);
    targets_.clear();
    bytes_ = 0;
    const bool durable = MakeDurable(entries);
    // Each folder once, however many handles of it the entries hold.
    std::set<std::pair<dev_t, ino_t>> seen;
    std::map<dev_t, std::vector<const CFolderHandle*>> folders;
    bool ok = true;
    for (const CEntry& e : entries) {
        if (ok && durable && e.folder->Rename(e.staged, e.leaf)) {
            ++core_.filesUpdated;
            struct stat st;
            if (fstat(e.folder->Fd(), &st) != 0)
                fsync(e.folder->Fd()); // a folder that cannot be told apart is flushed now
            else if (seen.insert({st.st_dev, st.st_ino}).second)
                folders[st.st_dev].push_back(e.folder.get());
            continue;
        }
        e.folder->Remove(e.staged);
        if (ok)
            core_.Ask(PromptOwner::MainWindow, "Unable to create file:\n" + e.target, kAppName, PromptButtons::OK,
                      PromptIcon::None);
        ok = false;
    }
    // The renames are made durable with their folders: one by one where they are few,
    // by one flush of their file system where many (a tree of many small folders).
    for (const auto& [device, list] : folders) {
        if (list.size() > kFoldersFlushedOneByOne && syncfs(list.front()->Fd()) == 0)
            continue;
        for (const CFolderHandle* folder : list)
            fsync(folder->Fd());
    }
    return ok;
}
