#include "engine/apply/CompactRebuild.h"

#include "platform/FileSystem.h"

#include <zstd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr size_t kInputChunk = size_t{128} << 10;
constexpr size_t kChunk = size_t{1} << 20;

// One packed stream of the image, unpacked on demand to exactly its unpacked length.
class CUnpacker {
public:
    CUnpacker(int imageFd, const CCompactStream& stream)
        : fd_(imageFd), next_(stream.position), left_(stream.packed), raw_(stream.raw)
    {
        if (stream.packed == 0)
            return;
        dctx_ = ZSTD_createDCtx();
        input_.resize(kInputChunk);
        if (dctx_)
            ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, kCompactWindowLog);
    }
    ~CUnpacker() { ZSTD_freeDCtx(dctx_); }
    CUnpacker(const CUnpacker&) = delete;
    CUnpacker& operator=(const CUnpacker&) = delete;

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
    // True when the stream ends exactly here: its frame is complete and all its bytes used.
    bool Finish()
    {
        if (!dctx_)
            return raw_ == 0 && left_ == 0 && !failed_;
        unsigned char extra;
        ZSTD_outBuffer o{&extra, 1, 0};
        while (!frameDone_) {
            if (!Unpack(o))
                return false;
            if (o.pos != 0)
                return false; // more bytes than the record says
        }
        return left_ == 0 && in_.pos == in_.size && produced_ == raw_;
    }
    uint64_t Left() const { return raw_ - produced_; }

private:
    // One call of the decoder, with input fetched when it has none; false when it
    // cannot go on.
    bool Unpack(ZSTD_outBuffer& o)
    {
        if (!dctx_ || failed_)
            return false;
        if (in_.pos == in_.size) {
            if (left_ == 0) {
                if (frameDone_)
                    return false;
            } else {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, input_.size()));
                if (!fsys::ReadAt(fd_, input_.data(), take, next_))
                    return failed_ = true, false;
                next_ += take;
                left_ -= take;
                in_ = ZSTD_inBuffer{input_.data(), take, 0};
            }
        }
        const size_t before = o.pos, inBefore = in_.pos;
        if (frameDone_)
            return false; // a second frame: not what the format holds
        const size_t r = ZSTD_decompressStream(dctx_, &o, &in_);
        if (ZSTD_isError(r))
            return failed_ = true, false;
        if (r == 0)
            frameDone_ = true;
        if (o.pos == before && in_.pos == inBefore && left_ == 0 && in_.pos == in_.size && !frameDone_)
            return failed_ = true, false; // the stream is cut short
        return true;
    }

    int fd_;
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

// The steps of the control stream, read one at a time and checked before they are given.
class CStepReader {
public:
    CStepReader(const CFilePatch& record, int imageFd)
        : unpacker_(imageFd, record.compactDelta.streams[kControls]),
          check_(record.oldLength, record.newLength, record.compactDelta.streams[kDifferences].raw,
                 record.compactDelta.streams[kLiterals].raw)
    {
    }
    // False at the end of the controls and when a step is damaged (Damaged() tells).
    bool Next(CCompactStep& step)
    {
        if (unpacker_.Left() == 0 && at_ == buffer_.size())
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
    bool Complete() { return !damaged_ && check_.Complete() && unpacker_.Finish(); }

private:
    bool Varint(uint64_t& v)
    {
        v = 0;
        for (int shift = 0; shift < 42; shift += 7) {
            if (at_ == buffer_.size()) {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(unpacker_.Left(), 64 << 10));
                buffer_.resize(take);
                at_ = 0;
                if (take == 0 || !unpacker_.Read(buffer_.data(), take))
                    return false;
            }
            const unsigned char b = buffer_[at_++];
            v |= uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    CUnpacker unpacker_;
    CCompactControlCheck check_;
    std::vector<unsigned char> buffer_;
    size_t at_ = 0;
    bool damaged_ = false;
};

} // namespace

bool CompactControlsValid(const CFilePatch& record, int imageFd)
{
    if (!record.compactDelta.present)
        return true;
    CStepReader steps(record, imageFd);
    CCompactStep step;
    while (steps.Next(step)) {
    }
    return steps.Complete();
}

std::optional<CSha256Digest> Sha256OfOpenFile(int fd, uint64_t length)
{
    std::vector<unsigned char> buffer(std::min<uint64_t>(length, kChunk));
    CSha256 sha;
    for (uint64_t at = 0; at < length;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - at));
        if (!fsys::ReadAt(fd, buffer.data(), n, at))
            return std::nullopt;
        sha.Update(buffer.data(), n);
        at += n;
    }
    return sha.Final();
}

CTargetState StrongStateOfTarget(const CFilePatch& record, int fd, uint64_t length, CTargetState bySum)
{
    // A record without a delta leaves the content as it is: its length and sum say enough.
    if (bySum == CTargetState::Different || !record.compactDelta.present)
        return bySum;
    const std::optional<CSha256Digest> digest = Sha256OfOpenFile(fd, length);
    if (!digest)
        return CTargetState::Different;
    if (bySum == CTargetState::Old && *digest == record.oldSha)
        return CTargetState::Old;
    if (length == record.newLength && *digest == record.newSha)
        return CTargetState::New;
    return CTargetState::Different;
}

CCompactRebuild RebuildCompact(const CFilePatch& record, int imageFd, int oldFd, const CCompactWriter& write)
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
        CStepReader steps(record, imageFd);
        CUnpacker differences(imageFd, delta.streams[kDifferences]);
        CUnpacker literals(imageFd, delta.streams[kLiterals]);
        CCompactStep step;
        while (steps.Next(step)) {
            uint64_t from = steps.CopyFrom();
            for (uint32_t left = step.copy; left > 0;) {
                const size_t n = std::min<size_t>(left, out.size() - fill);
                old.resize(std::max(old.size(), n));
                if (oldFd < 0 || !fsys::ReadAt(oldFd, old.data(), n, from))
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
        if (!steps.Complete() || !differences.Finish() || !literals.Finish())
            return CCompactRebuild::Damaged;
    }
    if (!flush())
        return CCompactRebuild::WriteFailed;
    if (written != record.newLength || sum != record.newByteSum || sha.Final() != record.newSha)
        return CCompactRebuild::Damaged;
    return CCompactRebuild::Ok;
}
