#include "engine/apply/CompactRebuild.h"

#include "engine/apply/ApplyContext.h"
#include "platform/FileSystem.h"

#include <zstd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr size_t kInputChunk = size_t{128} << 10;
constexpr size_t kChunk = size_t{1} << 20;

// One packed stream of the patch, unpacked on demand from the start on; a record's
// part is reached by unpacking and passing over what lies before it.
class CUnpacker {
public:
    CUnpacker(CFileRef imageFd, const CCompactSpan& span) : fd_(imageFd), next_(span.position), left_(span.packed), raw_(span.raw)
    {
        if (span.packed == 0)
            return;
        dctx_ = ZSTD_createDCtx();
        input_.resize(kInputChunk);
        if (dctx_)
            ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, kCompactWindowLog);
    }
    ~CUnpacker() { ZSTD_freeDCtx(dctx_); }
    CUnpacker(const CUnpacker&) = delete;
    CUnpacker& operator=(const CUnpacker&) = delete;

    uint64_t Position() const { return produced_; }
    // Passes over the stream up to offset; false when it lies behind or past the end.
    bool SkipTo(uint64_t offset)
    {
        if (offset < produced_ || offset > raw_)
            return false;
        unsigned char scrap[16384];
        while (produced_ < offset)
            if (!Read(scrap, static_cast<size_t>(std::min<uint64_t>(sizeof scrap, offset - produced_))))
                return false;
        return true;
    }
    // Exactly n bytes of the stream; false when it ends first or is damaged.
    bool Read(unsigned char* out, size_t n)
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

private:
    // One call of the decoder, with input fetched when it has none; false when it
    // cannot go on.
    bool Unpack(ZSTD_outBuffer& o)
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
        const size_t r = ZSTD_decompressStream(dctx_, &o, &in_);
        if (ZSTD_isError(r))
            return failed_ = true, false;
        if (r == 0)
            frameDone_ = true; // the frame has given all it holds
        if (o.pos == before && in_.pos == inBefore && left_ == 0)
            return failed_ = true, false; // the stream is cut short
        return true;
    }

    CFileRef fd_;
    uint64_t next_;
    uint64_t left_;
    uint64_t raw_;
    uint64_t produced_ = 0;
    ZSTD_DCtx* dctx_ = nullptr;
    std::vector<unsigned char> input_;
    ZSTD_inBuffer in_{nullptr, 0, 0};
    bool frameDone_ = false;
    bool failed_ = false;
};

} // namespace

// The three streams of one pass over a compact patch's records.
class CCompactReaders {
public:
    CCompactReaders(CFileRef imageFd, const CCompactDelta& delta)
        : controls(imageFd, delta.spans[kControls]), differences(imageFd, delta.spans[kDifferences]),
          literals(imageFd, delta.spans[kLiterals])
    {
    }
    CUnpacker controls, differences, literals;
};

namespace {

// The readers of the record's apply (made by its first compact record, and again when a
// record lies behind where they are: the next pass over the records), or of its own.
CCompactReaders& ReadersFor(const CFilePatch& record, CFileRef imageFd, std::unique_ptr<CCompactReaders>& own)
{
    if (!record.applyContext) {
        own = std::make_unique<CCompactReaders>(imageFd, record.compactDelta);
        return *own;
    }
    std::shared_ptr<CCompactReaders>& readers = record.applyContext->compact;
    const CCompactStream* s = record.compactDelta.streams;
    if (!readers || s[kControls].offset < readers->controls.Position() ||
        s[kDifferences].offset < readers->differences.Position() || s[kLiterals].offset < readers->literals.Position())
        readers = std::make_shared<CCompactReaders>(imageFd, record.compactDelta);
    return *readers;
}

// The steps of the control stream, read one at a time and checked before they are given.
class CStepReader {
public:
    CStepReader(const CFilePatch& record, CUnpacker& controls)
        : unpacker_(controls), left_(record.compactDelta.streams[kControls].raw),
          check_(record.oldLength, record.newLength, record.compactDelta.streams[kDifferences].raw,
                 record.compactDelta.streams[kLiterals].raw)
    {
        damaged_ = !unpacker_.SkipTo(record.compactDelta.streams[kControls].offset);
    }
    // False at the end of the controls and when a step is damaged (Damaged() tells).
    bool Next(CCompactStep& step)
    {
        if (damaged_ || (left_ == 0 && at_ == buffer_.size()))
            return false;
        uint64_t copy, literal, move;
        if (!Varint(copy) || !Varint(literal) || !Varint(move) || copy > UINT32_MAX || literal > UINT32_MAX ||
            move > (uint64_t{1} << 34)) {
            damaged_ = true;
            return false;
        }
        step.copy = static_cast<uint32_t>(copy);
        step.literal = static_cast<uint32_t>(literal);
        step.move = Unzigzag(move);
        if (!check_.Take(step)) {
            damaged_ = true;
            return false;
        }
        return true;
    }
    uint64_t CopyFrom() const { return check_.CopyFrom(); }
    bool Damaged() const { return damaged_; }
    // True when the steps ended cleanly and wrote the whole file.
    bool Complete() const { return !damaged_ && check_.Complete() && left_ == 0 && at_ == buffer_.size(); }

private:
    bool Varint(uint64_t& v)
    {
        v = 0;
        for (int shift = 0; shift < 42; shift += 7) {
            if (at_ == buffer_.size()) {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, 64 << 10));
                buffer_.resize(take);
                at_ = 0;
                if (take == 0 || !unpacker_.Read(buffer_.data(), take))
                    return false;
                left_ -= take;
            }
            const unsigned char b = buffer_[at_++];
            v |= uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    CUnpacker& unpacker_;
    uint64_t left_; // of the record's controls, not yet unpacked
    CCompactControlCheck check_;
    std::vector<unsigned char> buffer_;
    size_t at_ = 0;
    bool damaged_ = false;
};

} // namespace

bool CompactControlsValid(const CFilePatch& record, CFileRef imageFd)
{
    if (!record.compactDelta.present)
        return true;
    std::unique_ptr<CCompactReaders> own;
    CStepReader steps(record, ReadersFor(record, imageFd, own).controls);
    CCompactStep step;
    while (steps.Next(step)) {
    }
    return steps.Complete();
}

CCompactRebuild RebuildCompact(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, const CCompactWriter& write,
                               CSha256::Digest* digest)
{
    const CCompactDelta& delta = record.compactDelta;
    std::vector<unsigned char> out(std::min<uint64_t>(std::max<uint64_t>(record.newLength, 1), kChunk));
    std::vector<unsigned char> old;
    size_t fill = 0;
    uint64_t written = 0;
    uint32_t sum = 0;
    CSha256 sha;
    auto flush = [&] {
        if (fill == 0)
            return true;
        if (!write(out.data(), fill, written))
            return false;
        sum += ByteSum(out.data(), fill);
        sha.Update(out.data(), fill);
        written += fill;
        fill = 0;
        return true;
    };

    if (delta.present) {
        std::unique_ptr<CCompactReaders> own;
        CCompactReaders& readers = ReadersFor(record, imageFd, own);
        CStepReader steps(record, readers.controls);
        CUnpacker& differences = readers.differences;
        CUnpacker& literals = readers.literals;
        if (!differences.SkipTo(delta.streams[kDifferences].offset) ||
            !literals.SkipTo(delta.streams[kLiterals].offset))
            return CCompactRebuild::Damaged;
        CCompactStep step;
        while (steps.Next(step)) {
            uint64_t from = steps.CopyFrom();
            for (uint32_t left = step.copy; left > 0;) {
                const size_t n = std::min<size_t>(left, out.size() - fill);
                old.resize(std::max(old.size(), n));
                if (!oldFd.Valid() || !fsys::ReadAt(oldFd, old.data(), n, from))
                    return CCompactRebuild::ReadFailed;
                if (!differences.Read(out.data() + fill, n))
                    return CCompactRebuild::Damaged;
                for (size_t i = 0; i < n; ++i)
                    out[fill + i] = static_cast<unsigned char>(out[fill + i] + old[i]);
                fill += n;
                from += n;
                left -= static_cast<uint32_t>(n);
                if (fill == out.size() && !flush())
                    return CCompactRebuild::WriteFailed;
            }
            for (uint32_t left = step.literal; left > 0;) {
                const size_t n = std::min<size_t>(left, out.size() - fill);
                if (!literals.Read(out.data() + fill, n))
                    return CCompactRebuild::Damaged;
                fill += n;
                left -= static_cast<uint32_t>(n);
                if (fill == out.size() && !flush())
                    return CCompactRebuild::WriteFailed;
            }
        }
        if (!steps.Complete())
            return CCompactRebuild::Damaged;
    }
    if (!flush())
        return CCompactRebuild::WriteFailed;
    const CSha256::Digest result = sha.Final();
    if (digest)
        *digest = result;
    if (written != record.newLength || sum != record.newByteSum || (record.checks && result != record.checks->newHash))
        return CCompactRebuild::Damaged;
    return CCompactRebuild::Ok;
}
