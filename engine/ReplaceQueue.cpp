#include "engine/ReplaceQueue.h"

#include "app/AppCore.h"
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <set>
#include <unistd.h>

bool SyncFile(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

void SyncFolder(const std::string& folder)
{
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

namespace {

// Flushes the file system that holds path: every waiting file at once. Where that is
// not possible, each file is flushed on its own.
bool SyncAll(const std::vector<std::string>& paths)
{
    int fd = open(paths.front().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        bool ok = syncfs(fd) == 0;
        close(fd);
        if (ok)
            return true;
    }
    for (const std::string& p : paths)
        if (!SyncFile(p))
            return false;
    return true;
}

} // namespace

CReplaceQueue::~CReplaceQueue()
{
    // Files still waiting (the apply ended without a flush) are not left behind.
    for (const CEntry& e : entries_)
        fsys::DeleteFile(e.rebuild);
}

bool CReplaceQueue::Add(const std::string& rebuild, const std::string& target, uint64_t bytes)
{
    entries_.push_back({rebuild, target});
    bytes_ += bytes;
    if (bytes_ >= kMaxBytes || entries_.size() >= kMaxFiles)
        return Flush();
    return true;
}

bool CReplaceQueue::Holds(const std::string& target) const
{
    for (const CEntry& e : entries_)
        if (e.target == target)
            return true;
    return false;
}

bool CReplaceQueue::Flush()
{
    if (entries_.empty())
        return true;
    std::vector<CEntry> entries;
    entries.swap(entries_);
    bytes_ = 0;
    std::vector<std::string> rebuilt;
    for (const CEntry& e : entries)
        rebuilt.push_back(e.rebuild);
    bool durable = SyncAll(rebuilt);
    std::set<std::string> folders;
    bool ok = true;
    for (const CEntry& e : entries) {
        if (ok && durable && fsys::RenameFile(e.rebuild, e.target)) {
            folders.insert(fsys::FolderOf(e.target));
            continue;
        }
        fsys::DeleteFile(e.rebuild);
        if (ok)
            core_.Ask(PromptOwner::MainWindow, "Unable to create file:\n" + e.target, kAppName, PromptButtons::OK,
                      PromptIcon::None);
        ok = false;
    }
    for (const std::string& folder : folders)
        SyncFolder(folder);
    return ok;
}
