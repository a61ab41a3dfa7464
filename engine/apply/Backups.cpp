#include "engine/apply/Backups.h"

#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/apply/StagedNames.h"

#include "platform/OpenFiles.h"
#include "platform/SystemError.h"

#include <vector>

namespace {

// More backups of one name than this are not looked for.
constexpr int kMaxNumber = 9999;

// Copies the open file fd into the open file out, from the start.
bool CopyAll(CFileRef fd, CFileRef out)
{
    std::vector<unsigned char> buffer(size_t{1} << 20);
    uint64_t at = 0;
    for (;;) {
        const int64_t n = fsys::ReadSomeAt(fd, buffer.data(), buffer.size(), at);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!fsys::WriteAllAt(out, buffer.data(), static_cast<size_t>(n), at))
            return false;
        at += static_cast<uint64_t>(n);
    }
}

// A copy of fd staged in the folder with the old file's permissions, owner and times,
// on the disk; its name in staged.
bool StageCopy(const CFolderHandle& folder, CFileRef fd, std::string& staged)
{
    const CFileRef out = folder.CreateUnique(kStagedPrefix, staged);
    if (!out.Valid())
        return false;
    // The times are taken before the copy reads the file.
    fsys::CFileAttributes attributes;
    bool ok = fsys::GetAttributes(fd, attributes) && CopyAll(fd, out);
    if (ok)
        ok = fsys::SetOwnerAndPermissions(out, attributes) && fsys::SetExactTimes(out, attributes) &&
             fsys::FlushFile(out);
    ok = fsys::CloseFile(out) && ok;
    if (!ok)
        folder.Remove(staged);
    return ok;
}

} // namespace

std::string BackupName(const std::string& leaf, const std::string& ext, int number)
{
    const std::string plain = SetExtension(leaf, ext);
    if (number == 0)
        return plain;
    return plain.substr(0, plain.size() - ext.size()) + std::to_string(number) + "." + ext;
}

bool BackUpEntry(const CFolderHandle& folder, const std::string& leaf, CFileRef oldFd, bool copy, const std::string& ext,
                 std::string& backupLeaf)
{
    int number = 0;
    if (!copy) {
        for (; number <= kMaxNumber; ++number) {
            backupLeaf = BackupName(leaf, ext, number);
            if (folder.Link(leaf, backupLeaf))
                return true;
            if (LastSystemError() != SystemError::Exists)
                break; // no second link here: copy instead
        }
    }
    std::string staged;
    if (!oldFd.Valid() || !StageCopy(folder, oldFd, staged))
        return false;
    for (number = 0; number <= kMaxNumber; ++number) {
        backupLeaf = BackupName(leaf, ext, number);
        if (folder.RenameNoReplace(staged, backupLeaf))
            return true;
        if (LastSystemError() != SystemError::Exists)
            break;
    }
    folder.Remove(staged);
    return false;
}

std::string FreeBackupName(const CFolderHandle& folder, const std::string& leaf, const std::string& ext,
                           const std::set<std::string>& taken)
{
    std::string name;
    for (int number = 0; number <= kMaxNumber; ++number) {
        name = BackupName(leaf, ext, number);
        CEntryStatus st;
        if (taken.count(name) == 0 && !folder.Status(name, st))
            return name; // free, or too long for the file system (the caller says so)
    }
    return name;
}

void NoteBackup(IEngineHost& core, BackupList* list, const std::string& target, const std::string& backupPath)
{
    if (list)
        list->emplace_back(target, backupPath);
    if (core.LogEnabled())
        core.AppendToLogFile("Backup of " + target + ": " + backupPath);
}
