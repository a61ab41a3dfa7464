// The folders of an apply's records as its verification looks at them: each opened
// once beneath the target folder for all the records that lie in it, rather than once
// for every record, and each checked once for a link to a folder on its way. A release
// tree holds many files per folder, and an apply of many new files otherwise spends
// most of its verification opening the same folders again (or failing to, for folders
// that are still to be made).
#pragma once
#include "platform/FolderHandle.h"

#include <map>
#include <string>
#include <unordered_map>

class CFolderCache {
public:
    CFolderCache(const CFolderHandle& root, const std::string& rootPath) : root_(root), rootPath_(rootPath) {}
    CFolderCache(const CFolderCache&) = delete;
    CFolderCache& operator=(const CFolderCache&) = delete;

    // The folder at the relative name ("" for the target folder), opened beneath the
    // target folder the first time it is asked for: an invalid handle when it is not
    // there or is no folder. The reference holds until the next call.
    const CFolderHandle& Folder(const std::string& relative);
    // True when an existing component of the relative name of a file (the file itself
    // included) is a symbolic link to a folder: writing or deleting through it could
    // reach a place outside the target folder.
    bool PassesLinkedFolder(const std::string& name);
    // Closes every handle; what was found about links is forgotten too. The changing
    // pass of an apply makes folders and opens the ones it writes to itself.
    void Clear();

private:
    // Handles kept open at most: a tree of many folders must not run the process out of
    // descriptors before a staged apply raises its limit.
    static constexpr size_t kMaxOpen = 64;
    // What lies at a folder of a name.
    enum class Way { Folder, LinkedFolder, Nothing };
    Way Walk(const std::string& path, Way outer);

    const CFolderHandle& root_;
    const std::string& rootPath_;
    std::unordered_map<std::string, CFolderHandle> open_;
    std::map<std::string, Way> ways_; // by relative folder name
};
