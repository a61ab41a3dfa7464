// Operations on a file the engine holds open by its descriptor: opening, status, reads
// and writes at explicit offsets, length, durability, and the owner, permissions and
// times a copy takes over from its original.
#pragma once
#include "platform/EntryStatus.h"
#include "platform/FileHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fsys {

// Opens the file at path for reading without waiting (a named pipe at the name is never
// waited on); an invalid one when it cannot be opened (LastSystemError()
// NotFound when nothing is there).
CFileRef OpenFileForReading(const std::string& path);
// Closes the file; false when the system reported an error (written data may be lost).
bool CloseFile(CFileRef file);
// What the open file is, and its length.
bool OpenFileStatus(CFileRef file, CEntryStatus& st);
// Reads up to size bytes at offset; the number read (0 at the end), -1 on an error. A
// read interrupted by a signal is repeated.
int64_t ReadSomeAt(CFileRef file, void* data, size_t size, uint64_t offset);
// Writes all size bytes at offset; false when they could not all be written.
bool WriteAllAt(CFileRef file, const void* data, size_t size, uint64_t offset);
// Gives the file its length, with its blocks taken at once where the file system can.
// False when the disk has no room for it (or the length cannot be set).
bool ReserveLength(CFileRef file, uint64_t length);
// Starts writing what was written so far to the disk, without waiting for it.
void StartWriteback(CFileRef file);
// Makes the file's data and length durable on its disk.
bool FlushFile(CFileRef file);

// The owner, permission bits and exact times of a file, for a copy that stands in for it.
struct CFileAttributes {
    unsigned permissions = 0; // 0644 style
    uint32_t owner = 0;
    uint32_t group = 0;
    int64_t accessSeconds = 0;
    uint32_t accessNanoseconds = 0;
    int64_t writeSeconds = 0;
    uint32_t writeNanoseconds = 0;
};
bool GetAttributes(CFileRef file, CFileAttributes& attributes);
// Gives the file the owner (where this process may: a failure keeps its own) and the
// permission bits; false when the bits could not be set.
bool SetOwnerAndPermissions(CFileRef file, const CFileAttributes& attributes);
bool SetPermissions(CFileRef file, unsigned permissions);
// The permission bits of a file created new: 0666 less the process's creation mask.
unsigned NewFileMode();
// Sets the last access and last write times exactly.
bool SetExactTimes(CFileRef file, const CFileAttributes& attributes);

} // namespace fsys
