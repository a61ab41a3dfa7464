// Fuzz target: the Windows programs' own zstd decoder against the zstd library. With the
// first byte even, the rest of the input is taken as a stream of frames: whatever our
// decoder accepts in full, the library must accept too, with the same output. With it
// odd, the rest is content, packed by the library at a level the byte gives and then
// decoded by ours, which must give it back exactly. Input and output go in pieces whose
// sizes the first byte also sets.
#include "codec/ZstdFrameDecoder.h"

#include <zstd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct CResult {
    std::vector<uint8_t> data;
    bool complete = false;
};

CResult Ours(const uint8_t* data, size_t size, size_t inPiece, size_t outPiece)
{
    codec::CZstdFrameDecoder decoder;
    CResult r;
    std::vector<uint8_t> out(outPiece);
    size_t at = 0, last = 1;
    for (int idle = 0; idle < 2;) {
        codec::ZstdInput in{data + at, std::min(size - at, inPiece), 0};
        codec::ZstdOutput o{out.data(), out.size(), 0};
        last = decoder.Decode(o, in);
        if (codec::ZstdIsError(last))
            return r;
        r.data.insert(r.data.end(), out.begin(), out.begin() + o.pos);
        at += in.pos;
        idle = in.pos == 0 && o.pos == 0 ? idle + 1 : 0;
        if (at == size && last == 0)
            break;
    }
    r.complete = at == size && last == 0;
    return r;
}

CResult Library(const uint8_t* data, size_t size)
{
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    CResult r;
    std::vector<uint8_t> out(ZSTD_DStreamOutSize());
    ZSTD_inBuffer in{data, size, 0};
    size_t last = 1;
    for (;;) {
        ZSTD_outBuffer o{out.data(), out.size(), 0};
        last = ZSTD_decompressStream(dctx, &o, &in);
        if (ZSTD_isError(last))
            break;
        r.data.insert(r.data.end(), out.begin(), out.begin() + o.pos);
        if (in.pos == in.size && o.pos < o.size)
            break;
    }
    r.complete = !ZSTD_isError(last) && last == 0;
    ZSTD_freeDCtx(dctx);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned mode = data[0];
    const size_t inPiece = size_t{1} << (mode >> 5 & 7), outPiece = size_t{1} << (10 + (mode >> 1 & 7));
    ++data;
    --size;
    if ((mode & 1) == 0) {
        const CResult ours = Ours(data, size, inPiece, outPiece);
        if (ours.complete) {
            const CResult library = Library(data, size);
            if (!library.complete || library.data != ours.data)
                std::abort();
        }
        return 0;
    }
    std::vector<uint8_t> packed(ZSTD_compressBound(size));
    const size_t n = ZSTD_compress(packed.data(), packed.size(), data, size, static_cast<int>(mode >> 1 & 15) + 1);
    if (ZSTD_isError(n))
        std::abort();
    const CResult ours = Ours(packed.data(), n, inPiece, outPiece);
    if (!ours.complete || ours.data != std::vector<uint8_t>(data, data + size))
        std::abort();
    return 0;
}
