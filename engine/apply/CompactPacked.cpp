#include "engine/apply/CompactPacked.h"

#include "app/EngineHost.h"
#include "engine/apply/ApplyContext.h"
#include "engine/common/CompactLayout.h"
#include "engine/common/CompactRecord.h"
#include "engine/common/UnpackingContext.h"
#include "platform/FileSystem.h"
#include "platform/OpenFiles.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

namespace {

constexpr size_t kInputChunk = size_t{128} << 10;

CCompactLayout* LayoutOf(const CFilePatch& record)
{
    return record.Core().Image().compactLayout.get();
}

// True when the frame's header names exactly length as its content (and no dictionary):
// the decoder then holds no more than that for its window.
bool FrameNamesLength(const unsigned char* p, size_t n, uint64_t length)
{
    if (n < 6 || p[0] != 0x28 || p[1] != 0xB5 || p[2] != 0x2F || p[3] != 0xFD)
        return false;
    const unsigned descriptor = p[4];
    const unsigned sizeFlag = descriptor >> 6;
    const bool singleSegment = (descriptor & 0x20) != 0;
    if ((descriptor & 0x08) != 0 || (descriptor & 0x03) != 0 || (sizeFlag == 0 && !singleSegment))
        return false; // reserved bit, a dictionary, or no stated length
    size_t at = 5 + (singleSegment ? 0 : 1);
    const size_t bytes = sizeFlag == 0 ? 1 : size_t{1} << sizeFlag;
    if (n < at + bytes)
        return false;
    uint64_t stated = 0;
    for (size_t i = 0; i < bytes; ++i)
        stated |= uint64_t{p[at + i]} << (8 * i);
    if (sizeFlag == 1)
        stated += 256;
    return stated == length;
}

// Reads the twin's content from its target, which an earlier run made already; false
// when it is not there, or not what the verification found there.
bool TwinFromTarget(const CFilePatch& record, const CCompactPlace& twin, size_t twinIndex,
                    std::vector<unsigned char>& prefix)
{
    CApplyContext* context = record.applyContext;
    if (!context || twinIndex >= context->newDigests.size() || !context->newDigests[twinIndex])
        return false;
    // The twin's name, read again from its record.
    IEngineHost& core = record.Core();
    CBinFile& image = core.Image().file;
    const uint64_t back = image.Tell();
    CFilePatch other(core);
    const bool read = image.Seek(twin.position) && ReadCompactRecord(other);
    if (!image.Seek(back) || !read)
        return false;
    CFileRef fd = context->root.OpenForReading(other.name);
    if (!fd.Valid())
        return false;
    prefix.resize(twin.newLength);
    CEntryStatus st;
    const bool ok = fsys::OpenFileStatus(fd, st) && st.size == twin.newLength &&
                    fsys::ReadAt(fd, prefix.data(), prefix.size(), 0);
    fsys::CloseFile(fd);
    return ok && CSha256::Of(prefix.data(), prefix.size()) == *context->newDigests[twinIndex];
}

// Unpacks the frame with the prefix into output.
CCompactRebuild Unpack(const CFilePatch& record, CFileRef imageFd, const std::vector<unsigned char>& prefix,
                       CCompactOutput& output)
{
    const CCompactDelta& delta = record.compactDelta;
    const CUnpackingContext dctx = NewUnpackingContext(kPackedWindowLog);
    if (!dctx ||
        (!prefix.empty() && ZSTD_isError(ZSTD_DCtx_refPrefix(dctx.get(), prefix.data(), prefix.size()))))
        return CCompactRebuild::ReadFailed;
    std::vector<unsigned char> input(static_cast<size_t>(std::min<uint64_t>(delta.frameLength, kInputChunk)));
    std::vector<unsigned char> out(ZSTD_DStreamOutSize());
    size_t last = 1;
    for (uint64_t done = 0; done < delta.frameLength;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(input.size(), delta.frameLength - done));
        if (!fsys::ReadAt(imageFd, input.data(), n, delta.framePosition + done))
            return CCompactRebuild::ReadFailed;
        if (done == 0 && !FrameNamesLength(input.data(), n, record.newLength))
            return CCompactRebuild::Damaged;
        done += n;
        ZSTD_inBuffer in{input.data(), n, 0};
        while (in.pos < in.size) {
            if (last == 0)
                return CCompactRebuild::Damaged; // bytes after the frame
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            last = ZSTD_decompressStream(dctx.get(), &o, &in);
            if (ZSTD_isError(last) || output.Written() + o.pos > record.newLength)
                return CCompactRebuild::Damaged;
            if (o.pos > 0 && !output.Put(out.data(), o.pos))
                return CCompactRebuild::WriteFailed;
        }
    }
    // Output the decoder holds back until it is asked once more.
    while (last != 0) {
        ZSTD_inBuffer in{nullptr, 0, 0};
        ZSTD_outBuffer o{out.data(), out.size(), 0};
        last = ZSTD_decompressStream(dctx.get(), &o, &in);
        if (ZSTD_isError(last) || o.pos == 0 || output.Written() + o.pos > record.newLength)
            return CCompactRebuild::Damaged;
        if (!output.Put(out.data(), o.pos))
            return CCompactRebuild::WriteFailed;
    }
    return CCompactRebuild::Ok;
}

} // namespace

CCompactOutput::CCompactOutput(const CCompactWriter& write, const CFilePatch& record) : write_(write)
{
    CCompactLayout* layout = LayoutOf(record);
    const size_t index = record.compactDelta.index;
    const CCompactPlace* place = layout ? layout->At(index) : nullptr;
    if (!place || !record.compactDelta.present)
        return;
    layout->DropTwinsBefore(index);
    if (place->isTwin) {
        CCompactLayout::CHeldTwin& held = layout->heldTwins[index];
        held.confirmed = false;
        held.content.clear();
        keep_ = &held.content;
    }
}

bool CCompactOutput::Put(const unsigned char* data, size_t length)
{
    if (!write_(data, length, written_))
        return false;
    sum_ += ByteSum(data, length);
    sha_.Update(data, length);
    written_ += length;
    if (keep_)
        keep_->insert(keep_->end(), data, data + length);
    return true;
}

CCompactRebuild RebuildPacked(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, CCompactOutput& output)
{
    const CCompactDelta& delta = record.compactDelta;
    CCompactLayout* layout = LayoutOf(record);
    if (!layout)
        return CCompactRebuild::Damaged;
    // The prefix: the twin's new content, then the old content.
    std::vector<unsigned char> prefix;
    size_t twinLength = 0;
    const size_t twinIndex = delta.twin == 0 ? SIZE_MAX : delta.twin - 1u;
    bool borrowed = false;
    if (delta.twin != 0) {
        const CCompactPlace* twin = layout->At(twinIndex);
        if (!twin)
            return CCompactRebuild::Damaged;
        auto held = layout->heldTwins.find(twinIndex);
        if (held != layout->heldTwins.end() && held->second.confirmed && held->second.content.size() == twin->newLength) {
            prefix.swap(held->second.content);
            borrowed = true;
        } else if (!TwinFromTarget(record, *twin, twinIndex, prefix)) {
            return CCompactRebuild::Damaged;
        }
        twinLength = prefix.size();
    }
    // The twin's content goes back to the apply's keeping whatever the rebuild does.
    struct CGiveBack {
        CCompactLayout& layout;
        size_t index;
        std::vector<unsigned char>& prefix;
        size_t length;
        bool borrowed;
        ~CGiveBack()
        {
            if (!borrowed)
                return;
            prefix.resize(length);
            layout.heldTwins[index].content.swap(prefix);
        }
    } giveBack{*layout, twinIndex, prefix, twinLength, borrowed};

    if (!record.newFileFlag && record.oldLength > 0) {
        prefix.resize(twinLength + record.oldLength);
        if (!oldFd.Valid() || !fsys::ReadAt(oldFd, prefix.data() + twinLength, record.oldLength, 0))
            return CCompactRebuild::ReadFailed;
    }
    return Unpack(record, imageFd, prefix, output);
}

void ConfirmCompactTwin(const CFilePatch& record)
{
    CCompactLayout* layout = record.compact && record.compactDelta.present ? LayoutOf(record) : nullptr;
    if (!layout)
        return;
    auto held = layout->heldTwins.find(record.compactDelta.index);
    if (held != layout->heldTwins.end())
        held->second.confirmed = held->second.content.size() == record.newLength;
}
