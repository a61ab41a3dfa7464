// The compact patch file (after the part prefix): the fixed start of CompactDelta.h, the
// packed description, then the packed controls, differences and literals of all records.
// The description (little-endian): date sum (signed 32 bits), publisher name,
// organisation, default folder and dialog text (each a 16-bit length and its bytes, at
// most 64, 65, 256 and 256 bytes), the remove count (16 bits) and as many names (16-bit
// length, at most 256 bytes, '\' between components), the file count (16 bits), then
// the file records (CompactRecord.cpp).
//
// A build writes the description into the work file and the three streams into work
// files of their own, and packs all four into the patch file when it is finished. An
// apply unpacks the description into the temporary folder, behind the fixed start and
// before the packed streams, which are read from there as the files are rebuilt.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kTextLimits[4] = {64, 65, 256, 256};
constexpr size_t kRemoveNameLimit = 256;
constexpr size_t kChunk = size_t{1} << 20;

void PutText(std::vector<unsigned char>& out, const std::string& text, size_t limit)
{
    const size_t n = std::min(text.size(), limit);
    PutU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

struct CCctxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct CDctxFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
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
    std::vector<unsigned char> input(kChunk), output(ZSTD_CStreamOutSize());
    for (uint64_t done = 0;;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, length - done));
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
    const std::string* texts[4] = {&core_.UserName(), &core_.UserOrganization(), &core_.Settings().defaultFolder,
                                   &core_.Settings().dialogText};
    for (int i = 0; i < 4; ++i)
        PutText(bytes, *texts[i], kTextLimits[i]);

    std::vector<std::string> stored;
    for (const std::string& e : dirDiff_.RemoveList()) {
        if (e.empty())
            continue;
        std::string name;
        if (!StoredRemoveName(e, name))
            return false;
        if (name.size() > kRemoveNameLimit) {
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
        PutText(bytes, name, kRemoveNameLimit);

    CBinFile& image = core_.Image().file;
    if (!buildWorkFile_.Create(SetExtension(pathName_, "~dvp"), image))
        return false;
    workFileName_ = buildWorkFile_.Path();
    imageUse_ = ImageUse::Build;
    for (int i = 0; i < kCompactStreams; ++i) {
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

void CPatchDoc::RemoveCompactStreams()
{
    for (int i = 0; i < kCompactStreams; ++i) {
        core_.Image().compactStreams[i].Close();
        compactStreamFiles_[i].Remove();
    }
}

bool CPatchDoc::PackCompactPatch()
{
    CCompactFixed fixed;
    bool ok = true;
    for (CBinFile& stream : core_.Image().compactStreams)
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

bool CPatchDoc::UnpackCompactImage()
{
    const PromptOwner owner = PromptOwner::MainWindow;
    auto damaged = [&] {
        fsys::DeleteFile(workFileName_);
        ShowError("The Delvorin file:\n" + pathName_ + "\nis damaged or incomplete and cannot be decompressed.", owner);
        return false;
    };
    CBinFile in, out;
    unsigned char start[kCompactFixedSize];
    CCompactFixed fixed;
    if (!in.Open(assembledFileName_, CBinFile::Mode::Read) || !in.ReadExact(start, sizeof start) ||
        !GetCompactFixed(start, fixed))
        return damaged();
    // The packed parts must fill the file exactly.
    uint64_t expected = kCompactFixedSize + uint64_t{fixed.descriptionPacked};
    for (const CCompactSpan& s : fixed.spans) {
        if (s.packed > in.Length())
            return damaged();
        expected += s.packed;
    }
    if (expected != in.Length() || fixed.descriptionRaw > kMaxCompactDescription)
        return damaged();
    if (!out.Open(workFileName_, CBinFile::Mode::CreateAlways)) {
        ShowError("Error creating file:\n" + workFileName_ + "\nfor decompression.", owner);
        return false;
    }
    bool ok = out.Write(start, sizeof start);

    // The description, unpacked to exactly its length, with a window an apply can hold.
    std::unique_ptr<ZSTD_DCtx, CDctxFree> dctx(ZSTD_createDCtx());
    ok = ok && dctx && !ZSTD_isError(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, kCompactWindowLog));
    std::vector<unsigned char> input(kChunk), output(ZSTD_DStreamOutSize());
    uint64_t left = fixed.descriptionPacked, produced = 0;
    size_t last = 1;
    while (ok && left > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, input.size()));
        ok = in.ReadExact(input.data(), n);
        left -= n;
        ZSTD_inBuffer i{input.data(), n, 0};
        while (ok && i.pos < i.size) {
            ZSTD_outBuffer o{output.data(), output.size(), 0};
            last = ZSTD_decompressStream(dctx.get(), &o, &i);
            ok = !ZSTD_isError(last) && produced + o.pos <= fixed.descriptionRaw && out.Write(output.data(), o.pos);
            produced += o.pos;
            if (ok && last == 0 && i.pos < i.size)
                ok = false; // bytes after the description's frame
        }
    }
    if (ok && fixed.descriptionPacked > 0 && last != 0) {
        // The frame may hold output the decoder has not handed out yet.
        ZSTD_inBuffer i{nullptr, 0, 0};
        do {
            ZSTD_outBuffer o{output.data(), output.size(), 0};
            last = ZSTD_decompressStream(dctx.get(), &o, &i);
            ok = !ZSTD_isError(last) && o.pos > 0 && produced + o.pos <= fixed.descriptionRaw &&
                 out.Write(output.data(), o.pos);
            produced += o.pos;
        } while (ok && last != 0);
    }
    if (!ok || produced != fixed.descriptionRaw) {
        out.Close();
        return damaged();
    }
    // The packed streams, as they are.
    std::vector<unsigned char> copy(kChunk);
    const CopyResult copied = CopyBytes(in, out, in.Length() - in.Tell(), copy);
    if (!out.Close() || copied != CopyResult::Ok) {
        fsys::DeleteFile(workFileName_);
        ShowError("The temporary folder could not be written:\n" + core_.TempFolder() +
                      "\nThe disk may be full. The Delvorin file cannot be decompressed.",
                  owner);
        return false;
    }
    return true;
}

bool CPatchDoc::ReadCompactHeader()
{
    CBinFile& image = core_.Image().file;
    auto reject = [&](const std::string& why) {
        image.Close();
        imageUse_ = ImageUse::None;
        fsys::DeleteFile(workFileName_);
        ShowError("The patch file is damaged:\n" + why, PromptOwner::MainWindow);
        return false;
    };
    unsigned char start[kCompactFixedSize];
    CCompactFixed fixed;
    if (!image.Seek(0) || image.Length() < sizeof start || !image.ReadExact(start, sizeof start) ||
        !GetCompactFixed(start, fixed))
        return reject("the header is incomplete.");
    if (fixed.version != kCompactVersion)
        return reject("it was made in a newer compact format (version " + std::to_string(fixed.version) +
                      ") than this program reads.");
    // The description ends where the packed streams begin.
    const uint64_t length = kCompactFixedSize + uint64_t{fixed.descriptionRaw};
    uint64_t position = kCompactFixedSize;
    auto take = [&](void* data, size_t size) {
        if (length - position < size)
            return false;
        position += size;
        return image.ReadExact(data, size);
    };
    auto text = [&](std::string& out, size_t limit) {
        unsigned char n[2];
        if (!take(n, 2) || GetU16(n) > limit)
            return false;
        out.assign(GetU16(n), '\0');
        return take(out.data(), out.size()) && out.find('\0') == std::string::npos;
    };

    header_ = CPatchHeader();
    unsigned char dateSum[4];
    if (!take(dateSum, sizeof dateSum))
        return reject("the header is incomplete.");
    header_.dateSum = static_cast<int32_t>(GetU32(dateSum));
    std::string* texts[4] = {&header_.publisherName, &header_.publisherOrganization, &header_.defaultFolder,
                             &header_.dialogText};
    for (int i = 0; i < 4; ++i)
        if (!text(*texts[i], kTextLimits[i]))
            return reject("the header is incomplete or holds a text longer than allowed.");
    unsigned char count[2];
    if (!take(count, 2))
        return reject("the header is incomplete.");
    const uint16_t removeCount = GetU16(count);
    // Every name takes at least its length field.
    if (uint64_t{removeCount} * 2 > length - position)
        return reject("the list of files to remove runs past the end of the file.");
    dirDiff_.ClearRemoveList();
    for (uint16_t i = 0; i < removeCount; ++i) {
        std::string name;
        if (!text(name, kRemoveNameLimit))
            return reject("the list of files to remove cannot be read.");
        dirDiff_.AddRemoveFile(FromStoredName(name));
    }
    if (!take(count, 2))
        return reject("the header is incomplete.");
    core_.Image().fileCount = GetU16(count);
    core_.Image().format = CPatchFormat::Compact;
    header_.recordsOffset = static_cast<uint32_t>(position);
    firstRecordPosition_ = position;
    return true;
}
