// The zstd library's decoding calls of stub/windows/zstd/zstd.h over the project's own
// frame decoder. Built only into the Windows programs: elsewhere the library itself
// provides these names.
#include "codec/ZstdFrameDecoder.h"

#include <zstd.h>

#include <new>

struct ZSTD_DCtx_s {
    codec::CZstdFrameDecoder decoder;
};

ZSTD_DCtx* ZSTD_createDCtx(void) { return new (std::nothrow) ZSTD_DCtx_s; }

ZSTD_DCtx* ZSTD_createDCtx_advanced(ZSTD_customMem) { return ZSTD_createDCtx(); }

size_t ZSTD_freeDCtx(ZSTD_DCtx* dctx)
{
    delete dctx;
    return 0;
}

size_t ZSTD_DCtx_setParameter(ZSTD_DCtx* dctx, ZSTD_dParameter param, int value)
{
    if (!dctx || param != ZSTD_d_windowLogMax || value < 0 || !dctx->decoder.SetWindowLogMax(static_cast<unsigned>(value)))
        return codec::ZstdFail(codec::ZstdError::Parameter);
    return 0;
}

size_t ZSTD_DCtx_refPrefix(ZSTD_DCtx* dctx, const void* prefix, size_t prefixSize)
{
    if (!dctx)
        return codec::ZstdFail(codec::ZstdError::Generic);
    return dctx->decoder.RefPrefix(prefix, prefixSize) ? 0 : codec::ZstdFail(codec::ZstdError::StageWrong);
}

size_t ZSTD_decompressStream(ZSTD_DCtx* dctx, ZSTD_outBuffer* output, ZSTD_inBuffer* input)
{
    if (!dctx || !output || !input)
        return codec::ZstdFail(codec::ZstdError::Generic);
    codec::ZstdOutput out{output->dst, output->size, output->pos};
    codec::ZstdInput in{input->src, input->size, input->pos};
    const size_t r = dctx->decoder.Decode(out, in);
    output->pos = out.pos;
    input->pos = in.pos;
    return r;
}

unsigned ZSTD_isError(size_t code) { return codec::ZstdIsError(code) ? 1 : 0; }

size_t ZSTD_DStreamOutSize(void) { return codec::kZstdBlockMax; }
