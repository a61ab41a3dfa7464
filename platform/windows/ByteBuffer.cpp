// Large buffers straight from the system: VirtualAlloc gives zeroed pages on first touch.
#include "platform/ByteBuffer.h"

#include <windows.h>

namespace memory {

void* LargeAllocate(size_t bytes)
{
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void LargeFree(void* p, size_t) noexcept
{
    if (p)
        VirtualFree(p, 0, MEM_RELEASE);
}

} // namespace memory
