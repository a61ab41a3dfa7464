// One packed stream of a compact patch, unpacked on demand from its start on with a
// window an apply can hold; a record's part is reached by unpacking and passing over
// what lies before it.
#pragma once
#include "engine/common/CompactDelta.h"
#include "engine/common/UnpackingContext.h"
#include "platform/FileHandle.h"

#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct CCompactLead;

class CCompactUnpacker {
public:
    // With lead, the stream was packed as if the lead's contents came just before it: a
    // lead not read and checked yet makes every read fail.
    CCompactUnpacker(CFileRef imageFd, const CCompactSpan& span, const CCompactLead* lead = nullptr);
    CCompactUnpacker(const CCompactUnpacker&) = delete;
    CCompactUnpacker& operator=(const CCompactUnpacker&) = delete;

    uint64_t Position() const { return produced_; }
    // Passes over the stream up to offset; false when it lies behind or past the end.
    bool SkipTo(uint64_t offset);
    // Exactly n bytes of the stream; false when it ends first or is damaged.
    bool Read(unsigned char* out, size_t n);

private:
    bool Unpack(ZSTD_outBuffer& o);

    CFileRef fd_;
    uint64_t next_;
    uint64_t left_;
    uint64_t raw_;
    uint64_t produced_ = 0;
    CUnpackingContext dctx_;
    std::vector<unsigned char> input_;
    ZSTD_inBuffer in_{nullptr, 0, 0};
    bool frameDone_ = false;
    bool failed_ = false;
};
