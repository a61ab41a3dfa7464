// Fuzz target: the Windows programs' own zstd decoder against the zstd library. With the
// first byte even, the rest of the input is taken as a stream of frames: whatever our
// decoder accepts in full, the library must accept too, with the same output. With it
// odd, the rest is content, packed by the library at a level the byte gives and then
// decoded by ours, which must give it back exactly. Input and output go in pieces whose
// sizes the first byte also sets. With its bit 4 set, the first frame continues a
// prefix: the next byte times 32 bytes of what follows; the frames are the bytes after
// the prefix, the content is all of what follows, so that it copies from the prefix.
#include "support/ZstdDecoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned mode = data[0];
    const size_t inPiece = size_t{1} << (mode >> 5 & 7), outPiece = size_t{1} << (10 + (mode >> 1 & 7));
    auto pieceIn = [=] { return inPiece; };
    auto pieceOut = [=] { return outPiece; };
    ++data;
    --size;
    zstdcheck::Prefix prefix;
    if (mode & 0x10) {
        if (size < 1)
            return 0;
        prefix.size = std::min<size_t>(size_t{data[0]} * 32, size - 1);
        ++data;
        --size;
        prefix.data = data;
    }
    if ((mode & 1) == 0) {
        const uint8_t* frames = data + prefix.size;
        const size_t framesSize = size - prefix.size;
        const zstdcheck::Decoded ours = zstdcheck::DecodeOurs(frames, framesSize, pieceIn, pieceOut, 0, prefix);
        if (ours.complete) {
            const zstdcheck::Decoded library = zstdcheck::DecodeLibrary(frames, framesSize, 0, prefix);
            if (!library.complete || library.data != ours.data)
                std::abort();
        }
        return 0;
    }
    // Every kind of match finder, from the quickest to the most thorough.
    static const int kLevels[8] = {1, 2, 3, 5, 8, 12, 16, 19};
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, kLevels[mode >> 1 & 7]);
    ZSTD_CCtx_refPrefix(cctx, prefix.data, prefix.size);
    std::vector<uint8_t> packed(ZSTD_compressBound(size));
    const size_t n = ZSTD_compress2(cctx, packed.data(), packed.size(), data, size);
    ZSTD_freeCCtx(cctx);
    if (ZSTD_isError(n))
        std::abort();
    const zstdcheck::Decoded ours = zstdcheck::DecodeOurs(packed.data(), n, pieceIn, pieceOut, 0, prefix);
    if (!ours.complete || ours.data != std::vector<uint8_t>(data, data + size))
        std::abort();
    return 0;
}
