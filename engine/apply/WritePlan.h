// What the changing pass of an apply is going to write, gathered during the
// verification, so that what can be found before anything changes is found then: a
// folder it cannot write to, and a file system without room for the files it writes.
//
// The room a file system needs is estimated from the records: every file that is
// written takes its new length (in whole blocks); a file it replaces gives its blocks
// back once renamed over, unless backups are kept (a backup keeps the old file's
// blocks). Replaced files wait in the apply's queue before their rename, so the old
// blocks of up to a queue's worth of files (64 MiB and the largest file) are counted
// as still taken. The files of the remove list, deleted last, are not counted.
#pragma once
#include "platform/FolderHandle.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class CFilePatch;

class CWritePlan {
public:
    CWritePlan(const CFolderHandle& root, const std::string& rootPath, bool backup)
        : root_(root), rootPath_(rootPath), backup_(backup)
    {
    }

    // Notes the file and the folders of a record (every record, before its other
    // checks); true when an earlier record's file is one of its folders, or its file is
    // a folder of an earlier record: no tree holds both.
    bool Clashes(const CFilePatch& record);
    // The full path of what stands where a folder of the record must be (a file, or a
    // link, which a folder of the tree is never reached through); "" when nothing does.
    std::string BlockedBy(const CFilePatch& record);
    // Notes a record that passed its checks. Returns the full path of the folder it
    // writes into when that folder cannot be written to (once per folder), else "".
    std::string Add(const CFilePatch& record);
    // The folders (full paths, one per file system) whose file system lacks room.
    std::vector<std::string> FoldersWithoutRoom() const;
    // The folders the records lie in, relative to the target folder ("" for itself).
    const std::set<std::string>& Folders() const { return folders_; }

private:
    struct CDisk {
        std::string firstFolder; // for the message
        uint64_t blockSize = 4096;
        uint64_t available = 0;
        uint64_t written = 0;
        uint64_t freed = 0;
        uint64_t largest = 0;
    };
    struct CFolder {
        bool known = false; // an existing folder could be found
        dev_t device = 0;
        bool reported = false;
        bool writable = true;
        bool exists = false; // the folder itself, not only one above it
        std::string blockedBy; // what stands where it or a folder above it must be
    };
    CFolder& Look(const std::string& folder);
    std::string FirstNonFolder(const std::string& folder) const;
    uint64_t Blocks(const CDisk& disk, uint64_t bytes) const;

    const CFolderHandle& root_;
    const std::string rootPath_;
    const bool backup_;
    std::set<std::string> folders_;
    std::set<std::string> files_;         // the records' files, relative
    std::set<std::string> outerFolders_;  // every folder a record lies in, and those above
    std::map<std::string, CFolder> looked_;
    std::map<dev_t, CDisk> disks_;
};
