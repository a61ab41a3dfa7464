// Files and folders as the engine sees them: existence tests, folder enumeration with
// the entry kinds and attributes the walk filters on, creation, deletion, renaming,
// whole-file reads and the folders the program works in.
#pragma once
#include "platform/FileHandle.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fsys {

// One entry of a folder listing, in the order the file system returns them.
struct DirEntry {
    std::string name;
    bool isFolder = false;    // a real folder (links to folders are not walked)
    bool isFile = false;      // a regular file, or a link to one
    bool hidden = false;      // the name begins with "."
};

// Lists the folder's entries; sockets, pipes, devices, broken links and links to
// folders are left out. False when the folder cannot be opened.
bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries);

bool FileExists(const std::string& path);   // a regular file (following links)
bool FolderExists(const std::string& path); // a folder (following links)
bool PathExists(const std::string& path);   // anything, links not followed
// Creates one folder; fails when it exists already or its parent is missing.
bool CreateFolder(const std::string& path);
// Creates a folder and any missing folders above it; true when it exists at the end.
bool CreateFolders(const std::string& folder);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Length of a regular file; false when it cannot be had.
bool FileLength(const std::string& path, uint64_t& length);
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& data);
// Reads exactly size bytes at offset of the open file; false when the file ends
// first or cannot be read.
bool ReadAt(CFileRef file, void* data, size_t size, uint64_t offset);
bool WriteWholeFile(const std::string& path, const void* data, size_t size);
// Appends bytes at the end of the file, creating it when it is missing. False only when
// the file can be neither opened nor created (a failed write is not told).
bool AppendToFile(const std::string& path, const std::string& bytes);
// Permission bits of a file (0644 style); false when it cannot be had.
bool GetPermissions(const std::string& path, unsigned& mode);
bool SetPermissions(const std::string& path, unsigned mode);

// True when path names something below folder, either as written or with every link
// resolved in both (the last component of path need not exist yet): a folder reached
// through a link to it is the same folder.
bool LiesInsideFolder(const std::string& path, const std::string& folder);

// Folder of a path (text before its last '/'), "" when there is none; "/" for a file in the root.
std::string FolderOf(const std::string& path);
// Joins a folder and a name with one '/'.
std::string Join(const std::string& folder, const std::string& name);
// The folder path without trailing '/' (the root stays "/").
std::string WithoutTrailingSlash(const std::string& path);

#ifdef _WIN32
// The full path of a path given relative to the current folder ("C:/a/b" style).
std::string AbsolutePath(const std::string& path);
#endif

// The folder of the running executable, without a trailing '/'.
std::string ProgramFolder();
// The running executable's full path.
std::string ProgramPath();

// A folder only this run uses, made on first call under $TMPDIR or /tmp, ending in '/'.
// It is removed with its content by RemovePrivateTempFolder (called at exit). It is
// locked while its owner lives, so that a run made after one that was killed finds and
// removes the abandoned folder (RemoveAbandonedTempFolders, called when it is made).
const std::string& PrivateTempFolder();
void RemovePrivateTempFolder();
// Removes the private temporary folders in base of this user whose owner has gone.
void RemoveAbandonedTempFolders(const std::string& base);
// Removes a folder tree (for tests and the private temporary folder).
bool RemoveTree(const std::string& path);

} // namespace fsys
