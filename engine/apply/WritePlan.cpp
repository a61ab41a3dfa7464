#include "engine/apply/WritePlan.h"

#include "engine/apply/ReplaceQueue.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string OuterFolder(const std::string& relative)
{
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
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
    while (!handle.Valid() && errno == ENOENT && !at.empty()) {
        at = OuterFolder(at);
        handle = root_.Folder(at);
    }
    if (!handle.Valid()) {
        entry.blockedBy = FirstNonFolder(folder);
        return entry;
    }
    entry.known = true;
    entry.exists = at == folder;
    entry.writable = faccessat(handle.Fd(), ".", W_OK | X_OK, AT_EACCESS) == 0;
    struct stat st;
    struct statvfs vfs;
    if (fstat(handle.Fd(), &st) != 0 || fstatvfs(handle.Fd(), &vfs) != 0) {
        entry.known = false;
        return entry;
    }
    entry.device = st.st_dev;
    if (disks_.count(st.st_dev) == 0) {
        CDisk& disk = disks_[st.st_dev];
        disk.firstFolder = at.empty() ? rootPath_ : fsys::Join(rootPath_, at);
        disk.blockSize = vfs.f_frsize ? vfs.f_frsize : 4096;
        disk.available = static_cast<uint64_t>(vfs.f_bavail) * disk.blockSize;
    }
    return entry;
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
        struct stat st;
        if (!handle.Valid() || !handle.Status(leaf, st))
            return "";
        if (!S_ISDIR(st.st_mode))
            return fsys::Join(rootPath_, *at);
    }
    return "";
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
    uint64_t replaced = record.newFileFlag ? 0 : record.oldLength;
    if (record.newFileFlag && entry.exists) {
        CFolderHandle handle = root_.Folder(folder);
        struct stat st;
        if (handle.Valid() && handle.Status(leaf, st) && S_ISREG(st.st_mode))
            replaced = static_cast<uint64_t>(st.st_size);
    }
    const uint64_t written = Blocks(disk, record.newLength);
    disk.written += written;
    disk.largest = std::max(disk.largest, written);
    if (!backup_)
        disk.freed += Blocks(disk, replaced);
    if (entry.writable || entry.reported)
        return "";
    entry.reported = true;
    return folder.empty() ? rootPath_ : fsys::Join(rootPath_, folder);
}

std::vector<std::string> CWritePlan::FoldersWithoutRoom() const
{
    std::vector<std::string> out;
    for (const auto& [device, disk] : disks_) {
        const uint64_t waiting = std::min(disk.freed, CReplaceQueue::kMaxBytes + disk.largest);
        const uint64_t needed = disk.written + waiting > disk.freed ? disk.written + waiting - disk.freed : 0;
        if (needed > disk.available)
            out.push_back(disk.firstFolder);
    }
    return out;
}
