// The zstd decoder in libzstd.a also reads the frames of its pre-1.0 formats (v0.5 to
// v0.7): its frame decoder calls their decoders whenever it sees one of their magic
// numbers, so the whole of them, about 90 KB, is linked into every program that decodes
// a frame. Delvorin has only ever written 1.0 frames, and every self-extracting patch
// carries this program, so it brings these stand-ins instead: the decoder takes an old
// frame for one it cannot read (an error, as for a damaged frame) and nothing of the old
// decoders is linked. The calls are those libzstd's own frame decoder makes; the
// handles they would return are never made.
#include <zstd.h>
#include <zstd_errors.h>

#include <cstddef>

namespace {

// libzstd's "unknown frame" error, in the form its calls return errors: (size_t)-code.
constexpr size_t kNotReadable = 0 - static_cast<size_t>(ZSTD_error_prefix_unknown);
constexpr unsigned long long kContentSizeError = ZSTD_CONTENTSIZE_ERROR;

size_t NotReadable() { return kNotReadable; }

void NoFrameSize(size_t* compressedSize, unsigned long long* decompressedBound)
{
    *compressedSize = kNotReadable;
    *decompressedBound = kContentSizeError;
}

} // namespace

// One set of stand-ins for each old format: a context that cannot be made (the caller
// reports the frame as unreadable), frame sizes and parameters that are errors, and calls
// on a context that fail.
#define DELVORIN_NO_OLD_ZSTD(v)                                                                                    \
    extern "C" {                                                                                                   \
    void* ZSTDv0##v##_createDCtx() { return nullptr; }                                                            \
    size_t ZSTDv0##v##_freeDCtx(void*) { return 0; }                                                              \
    size_t ZSTDv0##v##_decompress_usingDict(void*, void*, size_t, const void*, size_t, const void*, size_t)        \
    {                                                                                                              \
        return NotReadable();                                                                                      \
    }                                                                                                              \
    size_t ZSTDv0##v##_getFrameParams(void*, const void*, size_t) { return NotReadable(); }                      \
    void ZSTDv0##v##_findFrameSizeInfoLegacy(const void*, size_t, size_t* cSize, unsigned long long* dBound)      \
    {                                                                                                              \
        NoFrameSize(cSize, dBound);                                                                                \
    }                                                                                                              \
    void* ZBUFFv0##v##_createDCtx() { return nullptr; }                                                           \
    size_t ZBUFFv0##v##_freeDCtx(void*) { return 0; }                                                             \
    size_t ZBUFFv0##v##_decompressInitDictionary(void*, const void*, size_t) { return NotReadable(); }           \
    size_t ZBUFFv0##v##_decompressContinue(void*, void*, size_t*, const void*, size_t*) { return NotReadable(); } \
    }

DELVORIN_NO_OLD_ZSTD(5)
DELVORIN_NO_OLD_ZSTD(6)
DELVORIN_NO_OLD_ZSTD(7)
