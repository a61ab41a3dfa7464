#include "engine/apply/StagedNames.h"

#include "platform/FolderHandle.h"

#include <cctype>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

bool IsStagedName(const std::string& name)
{
    const size_t prefix = std::strlen(kStagedPrefix);
    if (name.size() != prefix + 6 || name.compare(0, prefix, kStagedPrefix) != 0)
        return false;
    for (size_t i = prefix; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

void RemoveStagedLeftovers(const CFolderHandle& folder)
{
    // The listing reads through a descriptor of its own, so the handle keeps its own.
    int fd = openat(folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> found;
    while (dirent* d = readdir(dir))
        if (IsStagedName(d->d_name))
            found.push_back(d->d_name);
    closedir(dir);
    for (const std::string& name : found) {
        struct stat st;
        if (folder.Status(name, st) && S_ISREG(st.st_mode))
            folder.Remove(name);
    }
}
