// A read-only mapping of part of an open file that survives the file shrinking: a read
// of a page the file no longer has finds zeros instead of ending the program, and the
// mapping reports itself damaged.
#pragma once
#include "platform/FileHandle.h"

#include <cstddef>
#include <cstdint>

namespace fsys {

enum class MapResult { Mapped, NoMemory, NotMapped };

// Maps length bytes of the open file from offset (a multiple of the page size). Mapped:
// map and guard are set. NotMapped: the file cannot be mapped (or too many mappings are
// guarded already); it is to be read instead.
MapResult MapGuarded(CFileRef file, size_t length, uint64_t offset, void*& map, int& guard);
// True when the file lost bytes while it was mapped.
bool GuardedMappingDamaged(int guard);
void UnmapGuarded(void* map, size_t length, int guard);

} // namespace fsys
