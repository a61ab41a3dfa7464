#include "platform/ByteBuffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace memory {

namespace {

size_t RoundUp(size_t bytes)
{
    return (bytes + kLargeFrom - 1) / kLargeFrom * kLargeFrom;
}

} // namespace

void* LargeAllocate(size_t bytes)
{
    const size_t length = RoundUp(bytes);
    if (length < bytes || length + kLargeFrom < length)
        throw std::bad_alloc();
    // One alignment unit more than needed, then the parts before the aligned start and
    // after the aligned end are given back.
    void* raw = mmap(nullptr, length + kLargeFrom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (begin + kLargeFrom - 1) & ~(uintptr_t{kLargeFrom} - 1);
    if (aligned > begin)
        munmap(raw, aligned - begin);
    const uintptr_t tail = begin + length + kLargeFrom - (aligned + length);
    if (tail > 0)
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(p, length, MADV_HUGEPAGE); // a hint: without large pages the memory works as well
#endif
    return p;
}

void LargeFree(void* p, size_t bytes) noexcept
{
    if (p)
        munmap(p, RoundUp(bytes));
}

} // namespace memory
