// The reader of a compact patch file (after the part prefix; the layout is told in
// CompactImageWriter.cpp): an apply unpacks the description into the temporary folder,
// behind the fixed start and before the packed streams and the frames, which are read
// from there as the files are rebuilt. Unpacking only: the apply side carries no compressor.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/CompactImageLimits.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/CompactLayout.h"
#include "engine/common/CompactLead.h"
#include "engine/common/UnpackingContext.h"
#include "platform/FileSystem.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

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
    if (!in.Open(streamFile_, CBinFile::Mode::Read) || streamEnd_ < streamStart_ || !in.Seek(streamStart_) ||
        !in.ReadExact(start, sizeof start) || !GetCompactFixed(start, fixed))
        return damaged();
    // The packed parts must fill the patch exactly.
    const uint64_t length = streamEnd_ - streamStart_;
    uint64_t expected = kCompactFixedSize + uint64_t{fixed.descriptionPacked};
    for (const CCompactSpan& s : fixed.spans) {
        if (s.packed > length)
            return damaged();
        expected += s.packed;
    }
    if (fixed.frames > length)
        return damaged();
    expected += fixed.frames;
    if (expected != length || fixed.descriptionRaw > kMaxCompactDescription)
        return damaged();
    if (!out.Open(workFileName_, CBinFile::Mode::CreateAlways)) {
        ShowError("Error creating file:\n" + workFileName_ + "\nfor decompression.", owner);
        return false;
    }
    bool ok = out.Write(start, sizeof start);

    // The description, unpacked to exactly its length, with a window an apply can hold.
    const CUnpackingContext dctx = NewUnpackingContext(kCompactWindowLog);
    ok = ok && dctx;
    std::vector<unsigned char> input(std::min<size_t>(kCompactChunk, std::max<size_t>(fixed.descriptionPacked, 1)));
    std::vector<unsigned char> output(ZSTD_DStreamOutSize());
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
    // The packed streams and the frames, as they are (through the buffer already at hand).
    const CopyResult copied = CopyBytes(in, out, streamEnd_ - in.Tell(), output);
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
        return reject("it was made in " + std::string(fixed.version > kCompactVersion ? "a newer" : "an older") +
                      " compact format (version " + std::to_string(fixed.version) + ") than this program reads.");
    std::copy(std::begin(fixed.treeDigest), std::end(fixed.treeDigest), core_.Image().compactTree.begin());
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
        if (!text(*texts[i], kCompactTextLimits[i]))
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
        if (!text(name, kCompactRemoveNameLimit))
            return reject("the list of files to remove cannot be read.");
        dirDiff_.AddRemoveFile(FromStoredName(name));
    }
    if (!take(count, 2))
        return reject("the header is incomplete.");
    core_.Image().fileCount = GetU16(count);
    // The files left alone that lead the literals: names as a record's, lengths that an
    // apply may hold together, and the digest of their contents.
    if (!take(count, 2))
        return reject("the header is incomplete.");
    auto lead = std::make_shared<CCompactLead>();
    const uint16_t leadCount = GetU16(count);
    if (uint64_t{leadCount} * 6 > length - position)
        return reject("the list of files that lead the literals runs past the end of the file.");
    for (uint16_t i = 0; i < leadCount; ++i) {
        std::string name;
        unsigned char fileLength[4];
        if (!text(name, CFilePatch::kMaxNameField - 1) || name.empty() || !take(fileLength, sizeof fileLength) ||
            GetU32(fileLength) == 0)
            return reject("the list of files that lead the literals cannot be read.");
        lead->names.push_back(FromStoredName(name));
        lead->lengths.push_back(GetU32(fileLength));
        if (lead->Length() > kMaxCompactLead)
            return reject("the files that lead the literals are longer together than an apply holds.");
    }
    if (leadCount > 0 && !take(lead->digest.data(), lead->digest.size()))
        return reject("the list of files that lead the literals cannot be read.");
    core_.Image().compactLead = lead;
    core_.Image().format = CPatchFormat::Compact;
    core_.Image().compactLayout = std::make_shared<CCompactLayout>(fixed, core_.Image().fileCount);
    if (const std::string problem = core_.Image().compactLayout->LeftAlone(lead->names, dirDiff_.RemoveList());
        !problem.empty())
        return reject(problem);
    header_.recordsOffset = static_cast<uint32_t>(position);
    firstRecordPosition_ = position;
    return true;
}

// A build's stream work files, closed and deleted: called wherever a patch file is
// abandoned, so it sits with the reading side every program links.
void CPatchDoc::RemoveCompactStreams()
{
    for (int i = 0; i <= kCompactStreams; ++i) {
        core_.Image().compactStreams[i].Close();
        compactStreamFiles_[i].Remove();
    }
}
