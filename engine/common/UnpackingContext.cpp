#define ZSTD_STATIC_LINKING_ONLY // the context with its own allocator
#include "engine/common/UnpackingContext.h"

#include "platform/ByteBuffer.h"

#include <cstddef>
#include <new>

namespace {

// Each block starts with its length, so that it can be given back the way it was taken;
// the header keeps the block's start aligned as the heap's would be.
constexpr size_t kHeader = alignof(std::max_align_t) > sizeof(size_t) ? alignof(std::max_align_t) : sizeof(size_t);

void* Allocate(void*, size_t bytes)
{
    if (bytes > static_cast<size_t>(-1) - kHeader)
        return nullptr;
    const size_t total = bytes + kHeader;
    void* block = nullptr;
    try {
        block = total >= memory::kLargeFrom ? memory::LargeAllocate(total) : ::operator new(total);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    *static_cast<size_t*>(block) = total;
    return static_cast<unsigned char*>(block) + kHeader;
}

void Free(void*, void* p)
{
    if (!p)
        return;
    void* block = static_cast<unsigned char*>(p) - kHeader;
    const size_t total = *static_cast<size_t*>(block);
    if (total >= memory::kLargeFrom)
        memory::LargeFree(block, total);
    else
        ::operator delete(block);
}

} // namespace

CUnpackingContext NewUnpackingContext(int windowLogMax)
{
    CUnpackingContext dctx(ZSTD_createDCtx_advanced(ZSTD_customMem{Allocate, Free, nullptr}));
    if (dctx && ZSTD_isError(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, windowLogMax)))
        dctx.reset();
    return dctx;
}
