// What the changing pass of an apply is going to write, gathered during the
// verification, so that what can be found before anything changes is found then: a
// folder it cannot write to, a name longer than its file system holds, a record that
// names a file twice, and a file system without room for what it writes.
//
// The room a file system needs is estimated from the records, in blocks and in inodes:
// every file that is written takes its new length (in whole blocks) and, while it is
// staged, an inode of its own; every folder made for new files takes a block and an
// inode. A staged apply holds every staged file beside the old one until its commit.
// An apply that replaces the files as it goes gets the blocks of a file it replaces
// back once renamed over (unless backups are kept: a backup keeps the old file's
// blocks); the replaced files waiting in its queue are counted as still taken. The
// files of the remove list, deleted last, are not counted.
#pragma once
#include "engine/apply/FolderCache.h"
#include "platform/FolderHandle.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class CFilePatch;

class CWritePlan {
public:
    // The folders are looked at through the verification's cache of them.
    CWritePlan(CFolderCache& folders, const CFolderHandle& root, const std::string& rootPath, bool backup,
               const std::string& backupExt)
        : cache_(folders), root_(root), rootPath_(rootPath), backup_(backup), backupExt_(backupExt)
    {
    }

    // True when an earlier record named the same file (a patch names each file once).
    bool Repeats(const CFilePatch& record) const;
    // Notes the file and the folders of a record (every record, before its other
    // checks); true when an earlier record's file is one of its folders, or its file is
    // a folder of an earlier record: no tree holds both.
    bool Clashes(const CFilePatch& record);
    // The full path of what stands where a folder of the record must be (a file, or a
    // link, which a folder of the tree is never reached through); "" when nothing does.
    std::string BlockedBy(const CFilePatch& record);
    // The full path of the first name the record makes the file system hold that is
    // longer than it holds: a folder or the file, the staged file, or the backup (with
    // the number it takes); "" when every name fits.
    std::string TooLong(const CFilePatch& record);
    // The same for the backup of a file of the remove list (relative name).
    std::string RemovalTooLong(const std::string& relative);
    // Notes a record that passed its checks. Returns the full path of the folder it
    // writes into when that folder cannot be written to (once per folder), else "".
    std::string Add(const CFilePatch& record);

    // How the files are put in place, for the room each way needs.
    enum class Order {
        Staged,    // every file staged, then all renamed
        Batched,   // replaced as they are done, in batches of the replace queue
        OneByOne,  // replaced as they are done, each on its own
    };
    // The folders (full paths, one per file system) whose file system lacks room.
    std::vector<std::string> FoldersWithoutRoom(Order order) const;
    // The folders the records lie in, relative to the target folder ("" for itself).
    const std::set<std::string>& Folders() const { return folders_; }

private:
    struct CDisk {
        std::string firstFolder; // for the message
        uint64_t blockSize = 4096;
        uint64_t available = 0;
        bool inodesKnown = false;
        uint64_t inodesAvailable = 0;
        uint64_t written = 0;    // blocks of the files written
        uint64_t freed = 0;      // blocks of the files they replace (without backups)
        uint64_t grown = 0;      // what the files written take beyond those they replace
        uint64_t largest = 0;
        uint64_t files = 0;      // files written
        uint64_t replaced = 0;   // of them, ones that replace a file
        uint64_t newFolders = 0; // folders made
    };
    struct CFolder {
        bool known = false; // an existing folder could be found
        uint64_t device = 0;
        bool reported = false;
        bool writable = true;
        bool exists = false;   // the folder itself, not only one above it
        std::string at;        // the folder, or the nearest one above it that exists
        uint64_t nameMax = 255;
        std::string blockedBy; // what stands where it or a folder above it must be
    };
    CFolder& Look(const std::string& folder);
    std::string FirstNonFolder(const std::string& folder) const;
    uint64_t Blocks(const CDisk& disk, uint64_t bytes) const;
    // The full path of the backup name the file leaf of the folder takes when it is
    // longer than the file system holds, else "". The name is taken for later backups.
    std::string TooLongBackup(const std::string& folder, const std::string& leaf, const CFolder& entry);

    CFolderCache& cache_;
    const CFolderHandle& root_;
    const std::string rootPath_;
    const bool backup_;
    const std::string backupExt_;
    std::set<std::string> folders_;
    std::set<std::string> files_;         // the records' files, relative
    std::set<std::string> outerFolders_;  // every folder a record lies in, and those above
    std::set<std::string> madeFolders_;   // the folders made for new files
    std::map<std::string, std::set<std::string>> backupNames_; // folder -> backup names taken
    std::map<std::string, CFolder> looked_;
    std::map<uint64_t, CDisk> disks_;
};
