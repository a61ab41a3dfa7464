// A work file that a build writes beside the user's files (the patch image before it is
// compressed, the stream while it is split, the program while it is composed). It is
// created exclusively under a name no other file has: the usual name when that is free,
// else the usual name with a number added, so a user's file of that name is never
// touched and two builds into one folder never share a file. It is removed on every way
// out (the end of the object, an exception, a second interrupt signal) unless it was
// moved into place.
#pragma once
#include "platform/BinFile.h"
#include "platform/Interrupts.h"

#include <memory>
#include <string>

class CWorkFile {
public:
    CWorkFile() = default;
    ~CWorkFile();
    CWorkFile(const CWorkFile&) = delete;
    CWorkFile& operator=(const CWorkFile&) = delete;

    // Creates the file (a free name near preferredPath, in its folder) and opens it in
    // file for reading and writing. False when no file could be created there.
    bool Create(const std::string& preferredPath, CBinFile& file);
    // The name the file was created under ("" when there is none).
    const std::string& Path() const { return path_; }
    // Renames the file over target; afterwards it is no longer removed.
    bool MoveTo(const std::string& target);
    // Deletes the file now (nothing when there is none).
    void Remove();

private:
    std::string path_;
    std::unique_ptr<CRemoveOnSignal> onSignal_;
};
