#include "engine/apply/CompactRebuild.h"

#include "engine/apply/ApplyContext.h"
#include "engine/apply/CompactPacked.h"
#include "app/EngineHost.h"
#include "engine/common/CompactLead.h"
#include "engine/common/CompactUnpacker.h"
#include "platform/FileSystem.h"
#include "platform/GuardedMapping.h"

#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr size_t kChunk = size_t{1} << 20;
// Old files from this length on are mapped for the copies: a stepped delta copies from
// all over the old file in short pieces, one read each otherwise.
constexpr uint64_t kMapOldFrom = uint64_t{256} << 10;
using CUnpacker = CCompactUnpacker;

// The old file as the copies read it: mapped where it can be, else read piece by piece.
class COldFile {
public:
    COldFile(CFileRef fd, uint64_t length) : fd_(fd)
    {
        if (fd.Valid() && length >= kMapOldFrom && length <= SIZE_MAX &&
            fsys::MapGuarded(fd, static_cast<size_t>(length), 0, map_, guard_) == fsys::MapResult::Mapped)
            length_ = static_cast<size_t>(length);
        else
            map_ = nullptr;
    }
    ~COldFile()
    {
        if (map_)
            fsys::UnmapGuarded(map_, length_, guard_);
    }
    COldFile(const COldFile&) = delete;
    COldFile& operator=(const COldFile&) = delete;

    // n bytes from offset: in the mapping, or read into buffer. Null when they cannot be read.
    const unsigned char* At(uint64_t offset, size_t n, std::vector<unsigned char>& buffer)
    {
        if (map_) // the steps were checked to keep within the old file's recorded length
            return offset + n <= length_ ? static_cast<const unsigned char*>(map_) + offset : nullptr;
        buffer.resize(std::max(buffer.size(), n));
        return fd_.Valid() && fsys::ReadAt(fd_, buffer.data(), n, offset) ? buffer.data() : nullptr;
    }
    // False when the mapped file lost bytes while it was read (they read as zeros).
    bool Intact() const { return !map_ || !fsys::GuardedMappingDamaged(guard_); }

private:
    CFileRef fd_;
    void* map_ = nullptr;
    size_t length_ = 0;
    int guard_ = -1;
};

// A piece of memory the rebuild writes into.
struct CSpan {
    unsigned char* bytes;
    size_t length;
    size_t size() const { return length; }
    unsigned char* data() const { return bytes; }
    unsigned char& operator[](size_t i) const { return bytes[i]; }
};

} // namespace

// The three streams of one pass over a compact patch's records.
class CCompactReaders {
public:
    CCompactReaders(CFileRef imageFd, const CCompactDelta& delta, const CCompactLead* lead)
        : controls(imageFd, delta.spans[kControls]), differences(imageFd, delta.spans[kDifferences]),
          literals(imageFd, delta.spans[kLiterals], lead)
    {
    }
    CUnpacker controls, differences, literals;
};

namespace {

// The readers of the record's apply (made by its first compact record, and again when a
// record lies behind where they are: the next pass over the records), or of its own.
CCompactReaders& ReadersFor(const CFilePatch& record, CFileRef imageFd, std::unique_ptr<CCompactReaders>& own)
{
    const CCompactLead* lead = record.Core().Image().compactLead.get();
    if (!record.applyContext) {
        own = std::make_unique<CCompactReaders>(imageFd, record.compactDelta, lead);
        return *own;
    }
    std::shared_ptr<CCompactReaders>& readers = record.applyContext->compact;
    const CCompactStream* s = record.compactDelta.streams;
    if (!readers || s[kControls].offset < readers->controls.Position() ||
        s[kDifferences].offset < readers->differences.Position() || s[kLiterals].offset < readers->literals.Position())
        readers = std::make_shared<CCompactReaders>(imageFd, record.compactDelta, lead);
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
        if (!ReadStep(step, [this](unsigned char& b) { return NextByte(b); }) || !check_.Take(step)) {
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
    bool NextByte(unsigned char& b)
    {
        if (at_ == buffer_.size()) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, 64 << 10));
            buffer_.resize(take);
            at_ = 0;
            if (take == 0 || !unpacker_.Read(buffer_.data(), take))
                return false;
            left_ -= take;
        }
        b = buffer_[at_++];
        return true;
    }

    CUnpacker& unpacker_;
    uint64_t left_; // of the record's controls, not yet unpacked
    CCompactControlCheck check_;
    std::vector<unsigned char> buffer_;
    size_t at_ = 0;
    bool damaged_ = false;
};

CCompactRebuild RebuildStepped(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, CCompactOutput& output)
{
    const CCompactDelta& delta = record.compactDelta;
    // The new file is assembled piece by piece in the apply's buffer for rebuilt bytes,
    // taken once for all records (fresh memory costs a page fault per page touched).
    CByteBuffer ownBuffer;
    CByteBuffer& buffer = record.applyContext ? record.applyContext->buffers.newBytes : ownBuffer;
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(record.newLength, 1), kChunk));
    if (buffer.size() < piece)
        buffer.resize(piece);
    const CSpan out{buffer.data(), piece};
    std::vector<unsigned char> old;
    COldFile oldFile(oldFd, record.oldLength);
    size_t fill = 0;
    auto flush = [&] {
        const bool ok = fill == 0 || output.Put(out.data(), fill);
        fill = 0;
        return ok;
    };
    std::unique_ptr<CCompactReaders> own;
    CCompactReaders& readers = ReadersFor(record, imageFd, own);
    CStepReader steps(record, readers.controls);
    CUnpacker& differences = readers.differences;
    CUnpacker& literals = readers.literals;
    if (!differences.SkipTo(delta.streams[kDifferences].offset) || !literals.SkipTo(delta.streams[kLiterals].offset))
        return CCompactRebuild::Damaged;
    CCompactStep step;
    while (steps.Next(step)) {
        uint64_t from = steps.CopyFrom();
        for (uint32_t left = step.copy; left > 0;) {
            const size_t n = std::min<size_t>(left, out.size() - fill);
            const unsigned char* source = oldFile.At(from, n, old);
            if (!source)
                return CCompactRebuild::ReadFailed;
            if (!differences.Read(out.data() + fill, n))
                return CCompactRebuild::Damaged;
            for (size_t i = 0; i < n; ++i)
                out[fill + i] = static_cast<unsigned char>(out[fill + i] + source[i]);
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
    if (!oldFile.Intact())
        return CCompactRebuild::ReadFailed;
    return flush() ? CCompactRebuild::Ok : CCompactRebuild::WriteFailed;
}

} // namespace

bool CompactControlsValid(const CFilePatch& record, CFileRef /*imageFd*/)
{
    // The reader walked the record's steps, with every check a rebuild makes, when it
    // read the record the first time (CompactLayout.h); a packed frame is checked as it
    // is unpacked.
    return record.compact;
}

CCompactRebuild RebuildCompact(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, const CCompactWriter& write,
                               CSha256::Digest* digest)
{
    const CCompactDelta& delta = record.compactDelta;
    CCompactOutput output(write, record);
    CCompactRebuild result = CCompactRebuild::Ok;
    if (delta.present && delta.packed)
        result = RebuildPacked(record, imageFd, oldFd, output);
    else if (delta.present)
        result = RebuildStepped(record, imageFd, oldFd, output);
    if (result != CCompactRebuild::Ok)
        return result;
    const CSha256::Digest got = output.Finish();
    if (digest)
        *digest = got;
    if (output.Written() != record.newLength || output.Sum() != record.newByteSum ||
        (record.checks && got != record.checks->newHash))
        return CCompactRebuild::Damaged;
    return CCompactRebuild::Ok;
}
