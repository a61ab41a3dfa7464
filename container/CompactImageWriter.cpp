// The writer of a compact patch file (after the part prefix): the fixed start of
// CompactDelta.h, the packed description, then the packed controls, differences and
// literals of all records, then the frames of the packed deltas as they are.
// The description (little-endian): date sum (signed 32 bits), publisher name,
// organisation, default folder and dialog text (each a 16-bit length and its bytes, at
// most 64, 65, 256 and 256 bytes), the remove count (16 bits) and as many names (16-bit
// length, at most 256 bytes, '\' between components), the file count (16 bits), the
// files left alone that lead the literals (CompactLead.h: their count (16 bits), each
// one's name as a record's and length (32 bits), and with any, the SHA-256 of their
// contents together), then the file records (CompactRecord.cpp). The literals are packed
// as if the lead's contents came just before them.
//
// A build writes the description into the work file and the three streams and the frames
// into work files of their own; when it is finished the description and the streams are
// packed on both cores, each into a work file of its own, and joined behind the fixed
// start with the frames.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/CompactImageLimits.h"
#include "container/CompressionParameters.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "engine/common/CompactLead.h"
#include "engine/common/Sha256.h"
#include "container/PackagingProgress.h"
#include "platform/FileSystem.h"
#include "platform/WorkFile.h"

#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <system_error>

namespace {

void PutText(std::vector<unsigned char>& out, const std::string& text, size_t limit)
{
    const size_t n = std::min(text.size(), limit);
    PutU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

struct CCctxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
// Called with the unpacked bytes a packer has just taken in; false stops it.
using CPackTick = std::function<bool(uint64_t bytes)>;

// Packs the whole file `from` into one zstd frame appended to `to`; packed receives its
// length. The window is one an apply can hold; differences says the file is that stream,
// twoPieces packs it on both cores, lead (or null) is the content packed as if it came
// just before it. False when a file fails or tick stops it.
bool PackFile(const std::string& from, CBinFile& to, uint64_t& packed, bool differences, bool twoPieces,
              const std::vector<unsigned char>* lead, const CPackTick& tick)
{
    CBinFile in;
    if (!in.Open(from, CBinFile::Mode::Read))
        return false;
    const uint64_t length = in.Length();
    packed = 0;
    if (length == 0)
        return true;
    std::unique_ptr<ZSTD_CCtx, CCctxFree> cctx(ZSTD_createCCtx());
    if (!cctx)
        return false;
    std::vector<unsigned char> input(kCompactChunk), output(ZSTD_CStreamOutSize());
    bool text = false;
    if (twoPieces) {
        const size_t start = static_cast<size_t>(std::min<uint64_t>(kCompactChunk, length));
        if (!in.ReadExact(input.data(), start) || !in.Seek(0))
            return false;
        if (differences)
            twoPieces = !FewDifferences(input.data(), start);
        else
            text = MostlyText(input.data(), start);
    }
    SetPackingParameters(cctx.get(), length, differences, twoPieces, text);
    ZSTD_CCtx_setPledgedSrcSize(cctx.get(), length);
    if (lead && !lead->empty() && ZSTD_isError(ZSTD_CCtx_refPrefix(cctx.get(), lead->data(), lead->size())))
        return false;
    for (uint64_t done = 0;;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kCompactChunk, length - done));
        if (n > 0 && !in.ReadExact(input.data(), n))
            return false;
        done += n;
        const ZSTD_EndDirective mode = done == length ? ZSTD_e_end : ZSTD_e_continue;
        ZSTD_inBuffer i{input.data(), n, 0};
        size_t left;
        do {
            ZSTD_outBuffer o{output.data(), output.size(), 0};
            left = ZSTD_compressStream2(cctx.get(), &o, &i, mode);
            if (ZSTD_isError(left) || (o.pos > 0 && !to.Write(output.data(), o.pos)))
                return false;
            packed += o.pos;
        } while (mode == ZSTD_e_end ? left != 0 : i.pos < i.size);
        if (!tick(n))
            return false;
        if (mode == ZSTD_e_end)
            return true;
    }
}

// The four parts of a compact image (description, controls, differences, literals),
// packed on both cores: each into a work file of its own, the largest first, by this
// thread and a helper taking the next part as they finish. Only this thread shows
// progress and asks about a cancel; the helper stops at its next piece once told.
class CImagePacker {
public:
    struct Part {
        std::string from;
        uint64_t raw = 0;
        CWorkFile packedFile;
        CBinFile packed;
        uint64_t packedLength = 0;
        bool ok = false;
    };

    CImagePacker(Part (&parts)[kCompactStreams + 1], CPackagingProgress& progress,
                 const std::vector<unsigned char>* literalsLead)
        : parts_(parts), progress_(progress), literalsLead_(literalsLead)
    {
        for (size_t i = 0; i < std::size(order_); ++i)
            order_[i] = i;
        std::stable_sort(std::begin(order_), std::end(order_),
                         [&](size_t a, size_t b) { return parts_[a].raw > parts_[b].raw; });
        for (const Part& p : parts_)
            total_ += p.raw;
    }

    // False when a part failed or the user cancelled (Cancelled() tells).
    bool Run()
    {
        std::future<void> helper;
        try {
            helper = std::async(std::launch::async, [this] { Work(false); });
        } catch (const std::system_error&) {
            // Without a helper this thread packs every part.
        }
        Work(true);
        if (helper.valid()) {
            while (helper.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
                Show();
            helper.get();
        }
        if (cancelled_ || !Show())
            return false;
        for (const Part& p : parts_)
            if (!p.ok)
                return false;
        return true;
    }
    bool Cancelled() const { return cancelled_; }

private:
    void Work(bool showing)
    {
        for (size_t next; !stop_ && (next = next_++) < std::size(order_);) {
            Part& p = parts_[order_[next]];
            p.ok = PackFile(p.from, p.packed, p.packedLength, order_[next] == 1 + kDifferences,
                            PackInTwoPieces(p.raw, total_ - p.raw),
                            order_[next] == 1 + kLiterals ? literalsLead_ : nullptr, [&](uint64_t bytes) {
                done_ += bytes;
                return showing ? Show() : !stop_.load();
            });
            if (!p.ok)
                stop_ = true;
        }
    }
    // Shows the bytes packed so far; false (and every packer told to stop) once the user
    // cancelled.
    bool Show()
    {
        if (!cancelled_ && !progress_.Reached(done_))
            cancelled_ = stop_ = true;
        return !cancelled_;
    }

    Part (&parts_)[kCompactStreams + 1];
    CPackagingProgress& progress_;
    const std::vector<unsigned char>* literalsLead_;
    size_t order_[kCompactStreams + 1];
    uint64_t total_ = 0;
    std::atomic<size_t> next_{0};
    std::atomic<uint64_t> done_{0};
    std::atomic<bool> stop_{false};
    bool cancelled_ = false; // read and written by this thread only
};

} // namespace


bool CPatchDoc::WriteCompactHeader(int32_t dateSum)
{
    std::vector<unsigned char> bytes;
    PutU32(bytes, static_cast<uint32_t>(dateSum));
    const std::string* texts[4] = {&core_.UserName(), &core_.UserOrganization(), &core_.Settings().defaultFolder,
                                   &core_.Settings().dialogText};
    for (int i = 0; i < 4; ++i)
        PutText(bytes, *texts[i], kCompactTextLimits[i]);

    std::vector<std::string> stored;
    for (const std::string& e : dirDiff_.RemoveList()) {
        if (e.empty())
            continue;
        std::string name;
        if (!StoredRemoveName(e, name))
            return false;
        if (name.size() > kCompactRemoveNameLimit) {
            ShowError("The name of the following file to remove is longer than 256 characters\n"
                      "and cannot be stored in a Delvorin file:\n" + e,
                      owner_);
            return false;
        }
        stored.push_back(name);
    }
    if (stored.size() > 65535) {
        ShowError("The list of files to remove holds " + std::to_string(stored.size()) +
                      " files.\nA Delvorin file can remove at most 65535 files.",
                  owner_);
        return false;
    }
    PutU16(bytes, static_cast<uint16_t>(stored.size()));
    for (const std::string& name : stored)
        PutText(bytes, name, kCompactRemoveNameLimit);

    CBinFile& image = core_.Image().file;
    core_.Image().compactNewDigests.clear();
    core_.Image().compactTwins.reset();
    core_.Image().compactLead.reset();
    if (!buildWorkFile_.Create(SetExtension(pathName_, "~dvp"), image))
        return false;
    workFileName_ = buildWorkFile_.Path();
    imageUse_ = ImageUse::Build;
    for (int i = 0; i <= kCompactStreams; ++i) {
        if (!compactStreamFiles_[i].Create(SetExtension(pathName_, "~dv" + std::to_string(i)),
                                           core_.Image().compactStreams[i])) {
            AbandonPatchFile();
            return false;
        }
    }
    countPosition_ = bytes.size();
    PutU16(bytes, 0);
    if (!image.Write(bytes.data(), bytes.size()) || !image.Flush()) {
        AbandonPatchFile();
        return false;
    }
    return true;
}

bool CPatchDoc::PackCompactPatch()
{
    bool ok = true;
    for (CBinFile& stream : core_.Image().compactStreams)
        ok = stream.Close() && ok;
    CBinFile frames;
    ok = ok && frames.Open(compactStreamFiles_[kCompactStreams].Path(), CBinFile::Mode::Read);
    CImagePacker::Part parts[kCompactStreams + 1];
    uint64_t total = 0;
    for (int i = 0; ok && i <= kCompactStreams; ++i) {
        CImagePacker::Part& p = parts[i];
        p.from = i == 0 ? workFileName_ : compactStreamFiles_[i - 1].Path();
        ok = fsys::FileLength(p.from, p.raw) &&
             p.packedFile.Create(SetExtension(pathName_, "~dz" + std::to_string(i)), p.packed);
        total += p.raw;
    }
    ok = ok && parts[0].raw <= kMaxCompactDescription;
    CBinFile out;
    ok = ok && out.Open(pathName_, CBinFile::Mode::CreateAlways);
    unsigned char start[kCompactFixedSize] = {};
    ok = ok && out.Write(start, sizeof start);

    CPackagingProgress progress(core_, progress_, "Compressing Delvorin File...", LastComponent(pathName_), total);
    const std::shared_ptr<CCompactLead>& lead = core_.Image().compactLead;
    CImagePacker packer(parts, progress, lead ? &lead->content : nullptr);
    ok = ok && packer.Run();
    if (packer.Cancelled()) {
        cancelled_ = true; // the caller deletes the patch file
        out.Close();
        RemoveCompactStreams();
        return false;
    }
    // The packed parts, one after the other behind the fixed start.
    CCompactFixed fixed;
    fixed.descriptionRaw = static_cast<uint32_t>(parts[0].raw);
    fixed.descriptionPacked = static_cast<uint32_t>(parts[0].packedLength);
    std::vector<unsigned char> buffer(kCompactChunk);
    for (int i = 0; ok && i <= kCompactStreams; ++i) {
        CImagePacker::Part& p = parts[i];
        if (i > 0)
            fixed.spans[i - 1] = CCompactSpan{p.raw, p.packedLength, 0};
        ok = p.packed.Seek(0) && CopyBytes(p.packed, out, p.packedLength, buffer) == CopyResult::Ok;
    }
    fixed.frames = ok ? frames.Length() : 0;
    ok = ok && CopyBytes(frames, out, fixed.frames, buffer) == CopyResult::Ok;
    frames.Close();
    const std::vector<unsigned char>& digests = core_.Image().compactNewDigests;
    const CSha256::Digest tree = CSha256::Of(digests.data(), digests.size());
    std::copy(tree.begin(), tree.end(), fixed.treeDigest);
    std::vector<unsigned char>().swap(core_.Image().compactNewDigests);
    core_.Image().compactTwins.reset();
    core_.Image().compactLead.reset();
    PutCompactFixed(start, fixed);
    ok = ok && out.Seek(0) && out.Write(start, sizeof start);
    ok = out.Close() && ok;
    RemoveCompactStreams();
    if (!ok)
        ShowError("Error writing file:\n" + pathName_ + "\nThe Delvorin file was not created.", PromptOwner::MainWindow);
    return ok;
}
