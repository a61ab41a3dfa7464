// An open handle of a folder through which an apply creates, opens, renames and
// deletes the files below it, by names relative to it. The kernel resolves every name
// beneath the folder (openat2 with RESOLVE_BENEATH; where the kernel lacks it, a walk
// one component at a time that follows no link at all), so a link that leads out of the
// folder is refused, and no change of the tree made while the apply runs (a folder
// swapped for a link to elsewhere) can turn a checked name into a place outside.
#pragma once
#include "platform/EntryStatus.h"
#include "platform/FileHandle.h"

#include <cstdint>
#include <string>
#include <vector>

// The room on the file system a folder lies on, as far as the system tells it.
struct CFolderRoom {
    uint64_t device = 0;     // the file system
    uint64_t nameMax = 0;    // the longest name it takes (0: not told)
    uint64_t blockSize = 0;  // its unit of allocation (0: not told)
    uint64_t available = 0;  // bytes an unprivileged user may still take
    bool inodesKnown = false; // false for a file system without a fixed number of them
    uint64_t inodesAvailable = 0;
};

class CFolderHandle {
public:
    CFolderHandle() = default;
    ~CFolderHandle();
    CFolderHandle(CFolderHandle&& other) noexcept;
    CFolderHandle& operator=(CFolderHandle&& other) noexcept;
    CFolderHandle(const CFolderHandle&) = delete;
    CFolderHandle& operator=(const CFolderHandle&) = delete;

    // Opens the folder at path (as the user gave it; links on the way are followed).
    bool Open(const std::string& path);
    bool Valid() const { return fd_ >= 0; }
    // Takes the folder's apply lock, held until this handle and its copies are closed
    // (or the process ends, however it ends). False only while another process holds
    // it: where the file system has no locks, nobody is kept out.
    bool TryLock() const;

    // The folder at the relative name below this one; a link anywhere in the name is
    // refused. An invalid handle (LastSystemError() tells why) when it cannot be opened.
    CFolderHandle Folder(const std::string& relative) const;
    // The same, creating the folders of the name that are missing, outermost first. On
    // a failure, failedAt is the relative name of the folder that could not be made.
    // With made, the relative names of the folders it made are added to it, in order.
    CFolderHandle MakeFolders(const std::string& relative, std::string& failedAt,
                              std::vector<std::string>* made = nullptr) const;
    // Opens the regular file at the relative name for reading: links are followed only
    // while they stay beneath this folder, and a pipe at the name is never waited on.
    // An invalid file when it cannot be opened (LastSystemError() tells why: NotRegular for
    // a file that is not regular, LinkOut for a link refused).
    CFileRef OpenForReading(const std::string& relative) const;

    // Operations on one entry of this folder (a name without '/'). Links at the name
    // are never followed.
    // Creates a new, empty file named prefix + six letters or digits that nothing had;
    // returns it (open for reading and writing) and sets name. The file gets the
    // permission bits of mode less those the process masks (where the system has them):
    // by default only its owner may read it.
    static constexpr unsigned kPrivateMode = 0600;
    CFileRef CreateUnique(const std::string& prefix, std::string& name, unsigned mode = kPrivateMode) const;
    // Moves from over to, replacing whatever is at to.
    bool Rename(const std::string& from, const std::string& to) const;
    // Moves from to to only where nothing is at to (LastSystemError() Exists
    // otherwise): never replaces.
    bool RenameNoReplace(const std::string& from, const std::string& to) const;
    // Gives the entry from a second name to, only where nothing is at to (Exists
    // otherwise); a link at from is linked as the link it is.
    bool Link(const std::string& from, const std::string& to) const;
    // Deletes the entry (never a folder).
    bool Remove(const std::string& name) const;
    // Deletes the empty folder at the entry.
    bool RemoveFolder(const std::string& name) const;
    // What is at the name, the name itself where it is a link. False when nothing is.
    bool Status(const std::string& name, CEntryStatus& st) const;
    // The same with a link at the name followed to what it leads to.
    bool FollowedStatus(const std::string& name, CEntryStatus& st) const;

    // The folder itself: what it is, and the room on its file system. False when the
    // system cannot tell.
    bool Status(CEntryStatus& st) const;
    bool Room(CFolderRoom& room) const;
    // True when this process may create and delete entries in the folder.
    bool Writable() const;
    // The names of the folder's entries, in the order the file system returns them.
    bool ListNames(std::vector<std::string>& names) const;
    // Opens the entry as it is (never through a link) for reading; an invalid file when it cannot.
    CFileRef OpenEntry(const std::string& name) const;
    // Makes the folder's entries durable: its own, or those of its whole file system.
    bool Flush() const;
    bool FlushFileSystem() const;

    // For tests: resolve names by the component walk even where openat2 is there.
    static void UseWalkOnly(bool on);

private:
    explicit CFolderHandle(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Splits a relative name into its folder part ("" for a name in the top folder) and its
// last component.
void SplitRelativeName(const std::string& relative, std::string& folder, std::string& leaf);
// The components of a relative name, cut at any of the separators; empty ones (a doubled
// or trailing separator) left out.
std::vector<std::string> RelativeNameComponents(const std::string& relative, const char* separators);
