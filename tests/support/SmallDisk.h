// A small file system (tmpfs) mounted on a folder for one test, to see how an apply
// behaves when the disk runs short of room or inodes. Mounting needs root (or the
// right to mount): Mounted() says whether it worked, and a test without it skips.
#pragma once
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/mount.h>

class CSmallDisk {
public:
    explicit CSmallDisk(const std::string& folder, const std::string& options = "size=256k") : folder_(folder)
    {
        fsys::CreateFolder(folder);
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~CSmallDisk()
    {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
    }
    CSmallDisk(const CSmallDisk&) = delete;
    CSmallDisk& operator=(const CSmallDisk&) = delete;
    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() { return mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    std::string folder_;
    bool mounted_ = false;
};

// Skips the test where the small file system could not be mounted.
#define SKIP_WITHOUT_SMALL_DISK(disk)                                                                                \
    if (!(disk).Mounted())                                                                                           \
    GTEST_SKIP() << "mounting a small file system needs root (or the right to mount): " << strerror(errno)
