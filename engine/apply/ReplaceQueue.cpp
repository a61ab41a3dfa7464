#include "engine/apply/ReplaceQueue.h"

#include "app/AppCore.h"
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
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

// Flushes the file systems that hold the paths (files or folders), each once: every
// waiting file, or every renamed entry, at once. Where a file system cannot be flushed
// whole, the path itself is. The targets of one apply may lie on several file systems
// (a folder of the tree can be another mount), so each path's own is flushed.
bool SyncAll(const std::vector<std::string>& paths)
{
    std::set<dev_t> flushed;
    for (const std::string& p : paths) {
        int fd = open(p.empty() ? "." : p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat st;
        const bool known = fstat(fd, &st) == 0;
        bool ok = true;
        if (!known || flushed.count(st.st_dev) == 0) {
            if (syncfs(fd) == 0) {
                if (known)
                    flushed.insert(st.st_dev);
            } else {
                ok = fsync(fd) == 0;
            }
        }
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
    // The renames are made durable with their folders.
    SyncAll(std::vector<std::string>(folders.begin(), folders.end()));
    return ok;
}
