// No file is mapped on Windows: a mapped file cannot be shortened or replaced while the
// mapping lives, which would keep other programs (and this one's renames) from it. The
// engine reads the files instead.
#include "platform/GuardedMapping.h"

namespace fsys {

MapResult MapGuarded(CFileRef, size_t, uint64_t, void*& map, int& guard)
{
    map = nullptr;
    guard = -1;
    return MapResult::NotMapped;
}

bool GuardedMappingDamaged(int)
{
    return false;
}

void UnmapGuarded(void*, size_t, int) {}

} // namespace fsys
