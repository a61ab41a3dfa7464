#include "engine/apply/WritePlan.h"

#include "engine/apply/Backups.h"
#include "engine/apply/ReplaceQueue.h"
#include "engine/apply/StagedNames.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cstring>

namespace {

std::string OuterFolder(const std::string& relative)
{
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string Below(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

// The length of the staged files' names.
size_t StagedNameLength()
{
    return std::strlen(kStagedPrefix) + 6;
}

} // namespace

uint64_t CWritePlan::Blocks(const CDisk& disk, uint64_t bytes) const
{
    return (bytes + disk.blockSize - 1) / disk.blockSize * disk.blockSize;
}

CWritePlan::CFolder& CWritePlan::Look(const std::string& folder)
{
    auto found = looked_.find(folder);
    if (found != looked_.end())
        return found->second;
    CFolder& entry = looked_[folder];
    // The folder the files go into, or, where it is still to be made, the nearest one
    // above it that exists: new folders are made there.
    std::string at = folder;
    CFolderHandle handle = root_.Folder(at);
    while (!handle.Valid() && (LastSystemError() == SystemError::NotFound || LastSystemError() == SystemError::NameTooLong) && !at.empty()) {
        at = OuterFolder(at);
        handle = root_.Folder(at);
    }
    if (!handle.Valid()) {
        entry.blockedBy = FirstNonFolder(folder);
        return entry;
    }
    entry.known = true;
    entry.exists = at == folder;
    entry.at = at;
    entry.writable = handle.Writable();
    CFolderRoom room;
    if (!handle.Room(room)) {
        entry.known = false;
        return entry;
    }
    entry.device = room.device;
    if (room.nameMax != 0)
        entry.nameMax = room.nameMax;
    if (disks_.count(room.device) == 0) {
        CDisk& disk = disks_[room.device];
        disk.firstFolder = at.empty() ? rootPath_ : fsys::Join(rootPath_, at);
        disk.blockSize = room.blockSize ? room.blockSize : 4096;
        disk.available = room.available;
        // A file system that counts no inodes has no fixed number of them.
        disk.inodesKnown = room.inodesKnown;
        disk.inodesAvailable = room.inodesAvailable;
    }
    return entry;
}

bool CWritePlan::Repeats(const CFilePatch& record) const
{
    return files_.count(record.name) != 0;
}

bool CWritePlan::Clashes(const CFilePatch& record)
{
    bool clash = outerFolders_.count(record.name) != 0;
    for (std::string folder = OuterFolder(record.name); !folder.empty(); folder = OuterFolder(folder)) {
        clash = clash || files_.count(folder) != 0;
        outerFolders_.insert(folder);
    }
    files_.insert(record.name);
    return clash;
}

std::string CWritePlan::BlockedBy(const CFilePatch& record)
{
    return Look(OuterFolder(record.name)).blockedBy;
}

std::string CWritePlan::FirstNonFolder(const std::string& folder) const
{
    // From the target folder down: the first name of the folder that is there and is
    // not a folder.
    std::vector<std::string> outward;
    for (std::string at = folder; !at.empty(); at = OuterFolder(at))
        outward.push_back(at);
    for (auto at = outward.rbegin(); at != outward.rend(); ++at) {
        std::string parent, leaf;
        SplitRelativeName(*at, parent, leaf);
        CFolderHandle handle = root_.Folder(parent);
        CEntryStatus st;
        if (!handle.Valid() || !handle.Status(leaf, st))
            return "";
        if (!st.IsFolder())
            return fsys::Join(rootPath_, *at);
    }
    return "";
}

std::string CWritePlan::TooLongBackup(const std::string& folder, const std::string& leaf, const CFolder& entry)
{
    // Only a file that is there gets a backup, and only in a folder that is there.
    if (!backup_ || !entry.exists)
        return "";
    const CFolderHandle& handle = cache_.Folder(folder);
    CEntryStatus st;
    if (!handle.Valid() || !handle.Status(leaf, st))
        return "";
    std::set<std::string>& taken = backupNames_[folder];
    const std::string name = FreeBackupName(handle, leaf, backupExt_, taken);
    taken.insert(name);
    return name.size() > entry.nameMax ? fsys::Join(rootPath_, Below(folder, name)) : "";
}

std::string CWritePlan::TooLong(const CFilePatch& record)
{
    std::string folder, leaf;
    SplitRelativeName(record.name, folder, leaf);
    const CFolder& entry = Look(folder);
    if (!entry.known)
        return "";
    // Every name of the path, from the first one below the target folder.
    std::string path;
    size_t start = 0;
    for (;;) {
        const size_t slash = record.name.find('/', start);
        const std::string part = record.name.substr(start, slash == std::string::npos ? slash : slash - start);
        path = Below(path, part);
        if (part.size() > entry.nameMax)
            return fsys::Join(rootPath_, path);
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    if (!record.Rebuilds())
        return "";
    if (StagedNameLength() > entry.nameMax)
        return fsys::Join(rootPath_, Below(folder, std::string(kStagedPrefix) + "XXXXXX"));
    return TooLongBackup(folder, leaf, entry);
}

std::string CWritePlan::RemovalTooLong(const std::string& relative)
{
    std::string folder, leaf;
    SplitRelativeName(relative, folder, leaf);
    const CFolder& entry = Look(folder);
    return entry.known ? TooLongBackup(folder, leaf, entry) : "";
}

std::string CWritePlan::Add(const CFilePatch& record)
{
    std::string folder, leaf;
    SplitRelativeName(record.name, folder, leaf);
    folders_.insert(folder);
    if (!record.Rebuilds() || record.targetHoldsNew)
        return ""; // writes nothing
    CFolder& entry = Look(folder);
    if (!entry.known)
        return "";
    CDisk& disk = disks_[entry.device];
    // The size of the file being replaced, if any.
    bool replacing = !record.newFileFlag;
    uint64_t replaced = record.newFileFlag ? 0 : record.oldLength;
    if (record.newFileFlag && entry.exists) {
        const CFolderHandle& handle = cache_.Folder(folder);
        CEntryStatus st;
        if (handle.Valid() && handle.Status(leaf, st) && st.IsFile()) {
            replaced = st.size;
            replacing = true;
        }
    }
    // The folders still to be made, from the one of the file outwards.
    for (std::string made = folder; made != entry.at && madeFolders_.insert(made).second; made = OuterFolder(made))
        ++disk.newFolders;
    const uint64_t written = Blocks(disk, record.newLength);
    const uint64_t freed = backup_ ? 0 : Blocks(disk, replaced);
    disk.written += written;
    disk.freed += freed;
    disk.grown += written > freed ? written - freed : 0;
    disk.largest = std::max(disk.largest, written);
    ++disk.files;
    disk.replaced += replacing ? 1 : 0;
    if (entry.writable || entry.reported)
        return "";
    entry.reported = true;
    return folder.empty() ? rootPath_ : fsys::Join(rootPath_, folder);
}

std::vector<std::string> CWritePlan::FoldersWithoutRoom(Order order) const
{
    std::vector<std::string> out;
    for (const auto& [device, disk] : disks_) {
        const uint64_t folderBytes = disk.newFolders * disk.blockSize;
        const uint64_t newFiles = disk.files - disk.replaced;
        uint64_t bytes = 0, inodes = 0;
        switch (order) {
        case Order::Staged:
            // Every file is staged beside the old one before any old one goes.
            bytes = disk.written;
            inodes = disk.files;
            break;
        case Order::Batched: {
            const uint64_t waiting = std::min(disk.freed, CReplaceQueue::kMaxBytes + disk.largest);
            bytes = disk.written + waiting > disk.freed ? disk.written + waiting - disk.freed : 0;
            inodes = newFiles + std::min<uint64_t>(disk.replaced, CReplaceQueue::kMaxFiles);
            break;
        }
        case Order::OneByOne:
            bytes = disk.grown + disk.largest;
            inodes = newFiles + (disk.replaced != 0 ? 1 : 0);
            break;
        }
        bytes += folderBytes;
        inodes += disk.newFolders;
        if (bytes > disk.available || (disk.inodesKnown && inodes > disk.inodesAvailable))
            out.push_back(disk.firstFolder);
    }
    return out;
}
