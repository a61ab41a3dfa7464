// A byte buffer for the large pieces of memory an apply reads whole files into.
//
// Fresh memory costs the system one page fault per 4 KiB page the first time it is
// touched; a 2.6 MiB file read into a new buffer spends more time in those faults than
// in the read. Buffers of 2 MiB and more are therefore taken straight from the system,
// aligned to 2 MiB and marked for large pages, which are faulted in 2 MiB at a time
// where the system allows it (and in 4 KiB pages as before where it does not).
//
// Growing the buffer does not clear the new bytes: every user fills them at once (a
// read, or an explicit assign of zeros), and clearing them first would touch every page
// twice.
#pragma once
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace memory {

// Buffers from this size on come from LargeAllocate.
constexpr size_t kLargeFrom = size_t{2} << 20;

// bytes (at least kLargeFrom) of zeroed memory aligned to kLargeFrom; throws
// std::bad_alloc when the system has none.
void* LargeAllocate(size_t bytes);
// Gives back memory from LargeAllocate(bytes).
void LargeFree(void* p, size_t bytes) noexcept;

template <class T>
class CLargePageAllocator {
public:
    using value_type = T;

    CLargePageAllocator() = default;
    template <class U>
    CLargePageAllocator(const CLargePageAllocator<U>&) noexcept
    {
    }

    T* allocate(size_t n)
    {
        if (n > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        if (bytes >= kLargeFrom)
            return static_cast<T*>(LargeAllocate(bytes));
        return static_cast<T*>(::operator new(bytes));
    }

    void deallocate(T* p, size_t n) noexcept
    {
        const size_t bytes = n * sizeof(T);
        if (bytes >= kLargeFrom)
            LargeFree(p, bytes);
        else
            ::operator delete(p);
    }

    // Default-initialises (for bytes: leaves them as they are) instead of clearing.
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const CLargePageAllocator<U>&) const noexcept
    {
        return true;
    }
};

} // namespace memory

// The bytes of a file, or of a piece of one, held whole in memory.
using CByteBuffer = std::vector<unsigned char, memory::CLargePageAllocator<unsigned char>>;
