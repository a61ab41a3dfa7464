// What a file system holds at a name: its kind, its length, and the numbers that tell
// its file system and the file within it apart from others.
#pragma once
#include <cstdint>
#include <string>

struct CEntryStatus {
    enum class Kind { File, Folder, Link, Other };
    Kind kind = Kind::Other;
    uint64_t size = 0;
    uint64_t device = 0; // the file system it lies on
    uint64_t fileId = 0; // the file within that file system

    bool IsFile() const { return kind == Kind::File; }
    bool IsFolder() const { return kind == Kind::Folder; }
    bool IsLink() const { return kind == Kind::Link; }
};

namespace fsys {

// What is at path: with follow, what a link there leads to; without, the link itself.
// False when nothing is there (or it cannot be looked at).
bool EntryStatus(const std::string& path, CEntryStatus& st, bool follow);

} // namespace fsys
