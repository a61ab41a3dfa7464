// The zstd decoding context every compact patch frame is unpacked with.
//
// A stream's window (up to 16 MiB) is fresh memory that the decoder fills as it goes:
// taken from the ordinary heap it costs one page fault per 4 KiB, which for a patch of
// many new files came to a fifth of the apply's processor time. The context therefore
// takes its blocks of 2 MiB and more as large-page memory (memory::LargeAllocate), the
// rest from the heap.
#pragma once
#include <zstd.h>

#include <memory>

struct CUnpackingContextFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};
using CUnpackingContext = std::unique_ptr<ZSTD_DCtx, CUnpackingContextFree>;

// A new context that accepts windows up to 2^windowLogMax bytes; empty when there is no
// memory for it.
CUnpackingContext NewUnpackingContext(int windowLogMax);
