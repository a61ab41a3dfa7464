#include "engine/common/CompactUnpacker.h"

#include "engine/common/CompactLead.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {
constexpr size_t kInputChunk = size_t{128} << 10;
}

CCompactUnpacker::CCompactUnpacker(CFileRef imageFd, const CCompactSpan& span, const CCompactLead* lead)
    : fd_(imageFd), next_(span.position), left_(span.packed), raw_(span.raw)
{
    if (span.packed == 0)
        return;
    dctx_ = NewUnpackingContext(kCompactWindowLog);
    input_.resize(static_cast<size_t>(std::min<uint64_t>(kInputChunk, span.packed)));
    if (dctx_ && lead && !lead->Empty()) {
        // The lead's contents are referred to, never copied: they stay with the patch
        // image for the whole apply.
        failed_ = !lead->loaded ||
                  ZSTD_isError(ZSTD_DCtx_refPrefix(dctx_.get(), lead->content.data(), lead->content.size()));
    }
}

bool CCompactUnpacker::SkipTo(uint64_t offset)
{
    if (offset < produced_ || offset > raw_)
        return false;
    unsigned char scrap[16384];
    while (produced_ < offset)
        if (!Read(scrap, static_cast<size_t>(std::min<uint64_t>(sizeof scrap, offset - produced_))))
            return false;
    return true;
}

bool CCompactUnpacker::Read(unsigned char* out, size_t n)
{
    if (n > raw_ - produced_)
        return false;
    ZSTD_outBuffer o{out, n, 0};
    while (o.pos < n) {
        if (!Unpack(o))
            return false;
    }
    produced_ += n;
    return true;
}

// One call of the decoder, with input fetched when it has none; false when it cannot go
// on.
bool CCompactUnpacker::Unpack(ZSTD_outBuffer& o)
{
    if (!dctx_ || failed_ || frameDone_)
        return false; // no stream, a damaged one, or one that ended before its length
    if (in_.pos == in_.size && left_ > 0) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, input_.size()));
        if (!fsys::ReadAt(fd_, input_.data(), take, next_))
            return failed_ = true, false;
        next_ += take;
        left_ -= take;
        in_ = ZSTD_inBuffer{input_.data(), take, 0};
    }
    const size_t before = o.pos, inBefore = in_.pos;
    const size_t r = ZSTD_decompressStream(dctx_.get(), &o, &in_);
    if (ZSTD_isError(r))
        return failed_ = true, false;
    if (r == 0)
        frameDone_ = true; // the frame has given all it holds
    if (o.pos == before && in_.pos == inBefore && left_ == 0)
        return failed_ = true, false; // the stream is cut short
    return true;
}
