// The system's status record turned into the platform's neutral one.
#pragma once
#include "platform/EntryStatus.h"

#include <sys/stat.h>

namespace posix {

inline CEntryStatus EntryStatusOf(const struct stat& native)
{
    CEntryStatus st;
    st.kind = S_ISREG(native.st_mode)   ? CEntryStatus::Kind::File
              : S_ISDIR(native.st_mode) ? CEntryStatus::Kind::Folder
              : S_ISLNK(native.st_mode) ? CEntryStatus::Kind::Link
                                        : CEntryStatus::Kind::Other;
    st.size = static_cast<uint64_t>(native.st_size);
    st.device = static_cast<uint64_t>(native.st_dev);
    st.fileId = static_cast<uint64_t>(native.st_ino);
    return st;
}

} // namespace posix
