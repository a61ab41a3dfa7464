/* The part of the zstd library's decoding interface that the apply side calls, for the
 * Windows programs, which are built without that library: with this folder on the
 * include path, the compact patch reader and rebuild compile unchanged and run on the
 * project's own frame decoder (codec/ZstdShim.cpp). */
#ifndef DELVORIN_ZSTD_SHIM_H
#define DELVORIN_ZSTD_SHIM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZSTD_DCtx_s ZSTD_DCtx;

typedef struct ZSTD_inBuffer_s {
    const void* src;
    size_t size;
    size_t pos;
} ZSTD_inBuffer;

typedef struct ZSTD_outBuffer_s {
    void* dst;
    size_t size;
    size_t pos;
} ZSTD_outBuffer;

typedef enum { ZSTD_d_windowLogMax = 100 } ZSTD_dParameter;

ZSTD_DCtx* ZSTD_createDCtx(void);
/* The caller's allocator is not used: the project's decoder takes its memory itself. */
typedef void* (*ZSTD_allocFunction)(void* opaque, size_t size);
typedef void (*ZSTD_freeFunction)(void* opaque, void* address);
typedef struct {
    ZSTD_allocFunction customAlloc;
    ZSTD_freeFunction customFree;
    void* opaque;
} ZSTD_customMem;
ZSTD_DCtx* ZSTD_createDCtx_advanced(ZSTD_customMem customMem);
size_t ZSTD_freeDCtx(ZSTD_DCtx* dctx);
size_t ZSTD_DCtx_setParameter(ZSTD_DCtx* dctx, ZSTD_dParameter param, int value);
/* The next frame continues the prefix: its matches may copy from these bytes, which
 * stay the caller's and must stay valid until that frame is decoded. An error while a
 * frame is in progress. */
size_t ZSTD_DCtx_refPrefix(ZSTD_DCtx* dctx, const void* prefix, size_t prefixSize);
/* 0 once a frame is complete and handed out, a positive hint while it goes on, or an
 * error (ZSTD_isError). */
size_t ZSTD_decompressStream(ZSTD_DCtx* dctx, ZSTD_outBuffer* output, ZSTD_inBuffer* input);
unsigned ZSTD_isError(size_t code);
/* An output size that takes a whole block at once. */
size_t ZSTD_DStreamOutSize(void);

#ifdef __cplusplus
}
#endif

#endif
