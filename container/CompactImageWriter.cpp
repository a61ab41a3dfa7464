// The writer of a compact patch file (after the part prefix): the fixed start of
// CompactDelta.h, the packed description, then the packed controls, differences and
// literals of all records.
// The description (little-endian): date sum (signed 32 bits), publisher name,
// organisation, default folder and dialog text (each a 16-bit length and its bytes, at
// most 64, 65, 256 and 256 bytes), the remove count (16 bits) and as many names (16-bit
// length, at most 256 bytes, '\' between components), the file count (16 bits), then
// the file records (CompactRecord.cpp).
//
// A build writes the description into the work file and the three streams into work
// files of their own, and packs all four into the patch file when it is finished.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/CompactImageLimits.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

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
// Packs the whole file `from` into one zstd frame appended to `to`; packed receives its
// length. The coder works on both cores and with a window an apply can hold.
bool PackFile(const std::string& from, CBinFile& to, uint64_t& packed)
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
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, length <= (uint64_t{16} << 20) ? 22 : 19);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, kCompactWindowLog);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching, 1);
    if (length > (uint64_t{8} << 20))
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_nbWorkers, 2);
    ZSTD_CCtx_setPledgedSrcSize(cctx.get(), length);
    std::vector<unsigned char> input(kCompactChunk), output(ZSTD_CStreamOutSize());
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
        if (mode == ZSTD_e_end)
            return true;
    }
}

} // namespace


bool CPatchDoc::WriteCompactHeader(int32_t dateSum)
{
    std::vector<unsigned char> bytes;
    PutU32(bytes, static_cast<uint32_t>(dateSum));
    const std::string* texts[4] = {&core_.userName, &core_.userOrganization, &core_.settings.defaultFolder,
                                   &core_.settings.dialogText};
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

    CBinFile& image = core_.patchImage;
    if (!buildWorkFile_.Create(SetExtension(pathName_, "~dvp"), image))
        return false;
    workFileName_ = buildWorkFile_.Path();
    imageUse_ = ImageUse::Build;
    for (int i = 0; i < kCompactStreams; ++i) {
        if (!compactStreamFiles_[i].Create(SetExtension(pathName_, "~dv" + std::to_string(i)),
                                           core_.compactStreams[i])) {
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

void CPatchDoc::RemoveCompactStreams()
{
    for (int i = 0; i < kCompactStreams; ++i) {
        core_.compactStreams[i].Close();
        compactStreamFiles_[i].Remove();
    }
}

bool CPatchDoc::PackCompactPatch()
{
    CCompactFixed fixed;
    bool ok = true;
    for (CBinFile& stream : core_.compactStreams)
        ok = stream.Close() && ok;
    CBinFile out;
    ok = ok && out.Open(pathName_, CBinFile::Mode::CreateAlways);
    unsigned char start[kCompactFixedSize] = {};
    ok = ok && out.Write(start, sizeof start);
    uint64_t packed = 0;
    uint64_t length = 0;
    ok = ok && fsys::FileLength(workFileName_, length) && length <= kMaxCompactDescription &&
         PackFile(workFileName_, out, packed);
    fixed.descriptionRaw = static_cast<uint32_t>(length);
    fixed.descriptionPacked = static_cast<uint32_t>(packed);
    for (int i = 0; ok && i < kCompactStreams; ++i)
        ok = fsys::FileLength(compactStreamFiles_[i].Path(), fixed.spans[i].raw) &&
             PackFile(compactStreamFiles_[i].Path(), out, fixed.spans[i].packed);
    PutCompactFixed(start, fixed);
    ok = ok && out.Seek(0) && out.Write(start, sizeof start);
    ok = out.Close() && ok;
    RemoveCompactStreams();
    if (!ok)
        ShowError("Error writing file:\n" + pathName_ + "\nThe Delvorin file was not created.", PromptOwner::MainWindow);
    return ok;
}
