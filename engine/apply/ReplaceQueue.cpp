#include "engine/apply/ReplaceQueue.h"

#include "app/EngineHost.h"
#include "engine/apply/Backups.h"
#include "platform/FileSystem.h"
#include "platform/OpenFiles.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

// More folders than this on one file system are flushed with it.
constexpr size_t kFoldersFlushedOneByOne = 16;
// Up to this many staged files are flushed each on its own: a flush of the whole file
// system would also wait for whatever other programs have not written yet.
constexpr size_t kFilesFlushedOneByOne = 16;

// Flushes each staged file of the entries: every one is sent to the disk first, so that
// the flushes after the first find little left to wait for. False when a staged file is
// gone or cannot be flushed.
bool FlushEachFile(const std::vector<const CReplaceQueue::CEntry*>& staged)
{
    std::vector<CFileRef> files;
    bool ok = true;
    for (const CReplaceQueue::CEntry* e : staged) {
        CEntryStatus st;
        const CFileRef fd = e->folder->Status(e->staged, st) && st.IsFile() ? e->folder->OpenEntry(e->staged) : CFileRef();
        if (!fd.Valid()) {
            ok = false;
            break;
        }
        fsys::StartWriteback(fd);
        files.push_back(fd);
    }
    for (const CFileRef fd : files) {
        ok = ok && fsys::FlushFile(fd);
        fsys::CloseFile(fd);
    }
    return ok;
}

// Flushes the file system of every entry's folder once (few staged files each on its
// own instead); where a file system cannot be flushed whole, the staged file itself is.
// False when a staged file is gone or cannot be flushed.
bool MakeDurable(const std::vector<CReplaceQueue::CEntry>& entries)
{
    std::vector<const CReplaceQueue::CEntry*> staged;
    for (const CReplaceQueue::CEntry& e : entries)
        if (!e.timesOnly)
            staged.push_back(&e);
    if (staged.size() <= kFilesFlushedOneByOne)
        return FlushEachFile(staged);
    std::set<uint64_t> flushed;
    for (const CReplaceQueue::CEntry& e : entries) {
        if (e.timesOnly)
            continue;
        CEntryStatus st;
        if (!e.folder->Status(e.staged, st) || !st.IsFile())
            return false;
        if (flushed.count(st.device) != 0)
            continue;
        if (e.folder->FlushFileSystem()) {
            flushed.insert(st.device);
            continue;
        }
        CFileRef fd = e.folder->OpenEntry(e.staged);
        const bool ok = fd.Valid() && fsys::FlushFile(fd);
        if (fd.Valid())
            fsys::CloseFile(fd);
        if (!ok)
            return false;
    }
    return true;
}

// Opens the entry's target as it is (never through a link) for reading; an invalid file when it cannot.
CFileRef OpenTarget(const CReplaceQueue::CEntry& e)
{
    return e.folder->OpenEntry(e.leaf);
}

} // namespace

CReplaceQueue::~CReplaceQueue()
{
    // Files still waiting (the apply ended without a flush) are not left behind.
    Discard();
}

void CReplaceQueue::SetLimits(uint64_t maxBytes, size_t maxFiles)
{
    maxBytes_ = maxBytes;
    maxFiles_ = maxFiles;
}

void CReplaceQueue::KeepBackups(BackupList* list, const std::string& ext)
{
    backups_ = list;
    backupExt_ = ext;
}

bool CReplaceQueue::Add(CEntry entry, uint64_t bytes)
{
    targets_.insert(entry.target);
    entries_.push_back(std::move(entry));
    bytes_ += bytes;
    if (bytes_ >= maxBytes_ || entries_.size() >= maxFiles_)
        return Flush();
    return true;
}

bool CReplaceQueue::Holds(const std::string& target) const
{
    return targets_.count(target) != 0;
}

void CReplaceQueue::Discard()
{
    for (const CEntry& e : entries_)
        if (!e.timesOnly)
            e.folder->Remove(e.staged);
    entries_.clear();
    targets_.clear();
    bytes_ = 0;
}

bool CReplaceQueue::Commit(const CEntry& e)
{
    if (e.backup) {
        // The old file keeps its bytes under the backup name before the new one takes
        // the target's name; only a file that is there is backed up.
        CEntryStatus st;
        std::string backupLeaf;
        if (e.folder->Status(e.leaf, st)) {
            // A link is kept as the link it is; only a copy needs the file open.
            const CFileRef fd = OpenTarget(e);
            const bool kept = BackUpEntry(*e.folder, e.leaf, fd, false, backupExt_, backupLeaf);
            if (fd.Valid())
                fsys::CloseFile(fd);
            const std::string folder = fsys::FolderOf(e.target);
            if (!kept)
                return Tell("Unable to create file:\n" + fsys::Join(folder, BackupName(e.leaf, backupExt_, 0)));
            NoteBackup(core_, backups_, e.target, fsys::Join(folder, backupLeaf));
        }
    }
    if (e.timesOnly) {
        // A target that cannot be given its times keeps them, without a message.
        CFileRef fd = OpenTarget(e);
        if (fd.Valid()) {
            SetOpenFileTimes(fd, e.times);
            fsys::CloseFile(fd);
        }
        return true;
    }
    return e.folder->Rename(e.staged, e.leaf) || Tell("Unable to create file:\n" + e.target);
}

bool CReplaceQueue::Tell(const std::string& text)
{
    core_.Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
    return false;
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
    // Each folder once, however many handles of it the entries hold; a handle is looked
    // at once, however many entries share it.
    std::set<const CFolderHandle*> handles;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    std::map<uint64_t, std::vector<const CFolderHandle*>> folders;
    bool ok = true;
    for (const CEntry& e : entries) {
        if (ok && !durable)
            ok = Tell("Unable to create file:\n" + e.target);
        if (ok && Commit(e)) {
            if (!e.timesOnly)
                ++core_.Image().filesUpdated;
            CEntryStatus st;
            if (!handles.insert(e.folder.get()).second)
                continue;
            if (!e.folder->Status(st))
                e.folder->Flush(); // a folder that cannot be told apart is flushed now
            else if (seen.insert({st.device, st.fileId}).second)
                folders[st.device].push_back(e.folder.get());
            continue;
        }
        ok = false;
        if (!e.timesOnly)
            e.folder->Remove(e.staged);
    }
    // The renames are made durable with their folders: one by one where they are few,
    // by one flush of their file system where many (a tree of many small folders).
    for (const auto& [device, list] : folders) {
        if (list.size() > kFoldersFlushedOneByOne && list.front()->FlushFileSystem())
            continue;
        for (const CFolderHandle* folder : list)
            folder->Flush();
    }
    return ok;
}
