// A stream of zstd frames decoded to its end by the Windows programs' own decoder and by
// the zstd library, for the tests and the fuzzer that compare the two; the first frame
// may continue a prefix.
#pragma once
#include "codec/ZstdFrameDecoder.h"

#include <zstd.h>

#include <algorithm>
#include <vector>

namespace zstdcheck {

// Bytes the first frame continues (none when empty).
struct Prefix {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

struct Decoded {
    std::vector<unsigned char> data;
    bool complete = false; // no error, all input read, and the last frame finished
};

// Our decoder, given inPiece() bytes of input and outPiece() bytes of output space at a
// time.
template <class InPiece, class OutPiece>
Decoded DecodeOurs(const unsigned char* packed, size_t size, InPiece inPiece, OutPiece outPiece,
                   unsigned windowLogMax = 0, Prefix prefix = {})
{
    codec::CZstdFrameDecoder decoder;
    Decoded result;
    if (!decoder.SetWindowLogMax(windowLogMax) || !decoder.RefPrefix(prefix.data, prefix.size))
        return result;
    std::vector<unsigned char> out;
    size_t at = 0, last = 1;
    for (int idle = 0; idle < 3;) {
        out.resize(outPiece());
        // Once the input is all given, no buffer at all, as the compact reader does.
        codec::ZstdInput in{at < size ? packed + at : nullptr, std::min<size_t>(size - at, inPiece()), 0};
        codec::ZstdOutput o{out.data(), out.size(), 0};
        last = decoder.Decode(o, in);
        if (codec::ZstdIsError(last))
            return result;
        result.data.insert(result.data.end(), out.begin(), out.begin() + o.pos);
        at += in.pos;
        idle = in.pos == 0 && o.pos == 0 ? idle + 1 : 0;
        if (at == size && last == 0)
            break;
    }
    result.complete = at == size && last == 0;
    return result;
}

inline Decoded DecodeLibrary(const unsigned char* packed, size_t size, unsigned windowLogMax = 0, Prefix prefix = {})
{
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    Decoded result;
    if (ZSTD_isError(ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, static_cast<int>(windowLogMax))) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(dctx, prefix.data, prefix.size))) {
        ZSTD_freeDCtx(dctx);
        return result;
    }
    std::vector<unsigned char> out(ZSTD_DStreamOutSize());
    ZSTD_inBuffer in{packed, size, 0};
    size_t last = 1;
    for (;;) {
        // Called until it moves no more: the library may hand out a frame's last block
        // before it reads the checksum it already holds.
        ZSTD_outBuffer o{out.data(), out.size(), 0};
        const size_t read = in.pos;
        last = ZSTD_decompressStream(dctx, &o, &in);
        if (ZSTD_isError(last))
            break;
        result.data.insert(result.data.end(), out.begin(), out.begin() + o.pos);
        if ((in.pos == in.size && last == 0) || (in.pos == read && o.pos == 0))
            break;
    }
    result.complete = !ZSTD_isError(last) && last == 0;
    ZSTD_freeDCtx(dctx);
    return result;
}

} // namespace zstdcheck
