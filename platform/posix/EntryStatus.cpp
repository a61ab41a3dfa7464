#include "platform/EntryStatus.h"

#include "platform/posix/NativeStatus.h"

namespace fsys {

bool EntryStatus(const std::string& path, CEntryStatus& st, bool follow)
{
    struct stat native;
    const char* name = path.empty() ? "." : path.c_str();
    if ((follow ? stat(name, &native) : lstat(name, &native)) != 0)
        return false;
    st = posix::EntryStatusOf(native);
    return true;
}

} // namespace fsys
