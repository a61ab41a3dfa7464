#include "container/SelfExtractReader.h"

#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "container/PeLayout.h"
#include "engine/common/CompactDelta.h"
#include "platform/BinFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kElfMagic[4] = {0x7f, 'E', 'L', 'F'};
constexpr size_t kElfHeaderSize = 64;
constexpr uint32_t kSectionNoBits = 8; // a section that takes no room in the file

bool MarkerAt(CBinFile& file, uint64_t offset)
{
    unsigned char marker[kMarkerLength];
    return file.Seek(offset) && file.ReadExact(marker, sizeof marker) &&
           std::memcmp(marker, kSelfExtractMarker, kMarkerLength) == 0;
}

// End of the stub's own bytes for a 64-bit little-endian ELF program; false when a
// number of the headers does not fit the file.
bool ElfImageEnd(CBinFile& file, uint64_t fileLength, uint64_t& end)
{
    unsigned char h[kElfHeaderSize];
    if (fileLength < kElfHeaderSize || !file.Seek(0) || !file.ReadExact(h, sizeof h))
        return false;
    if (h[4] != 2 || h[5] != 1) // 64-bit, little-endian
        return false;
    const uint64_t phoff = GetU64(h + 0x20);
    const uint64_t shoff = GetU64(h + 0x28);
    const uint16_t phentsize = GetU16(h + 0x36);
    const uint16_t phnum = GetU16(h + 0x38);
    const uint16_t shentsize = GetU16(h + 0x3a);
    const uint16_t shnum = GetU16(h + 0x3c);

    end = kElfHeaderSize;
    auto within = [&](uint64_t offset, uint64_t size) {
        return offset <= fileLength && size <= fileLength - offset;
    };
    auto extend = [&](uint64_t offset, uint64_t size) {
        if (!within(offset, size))
            return false;
        if (offset + size > end)
            end = offset + size;
        return true;
    };

    // Every entry of a header table names one file range: program headers at 0x08/0x20
    // (p_offset, p_filesz), section headers at 0x18/0x20 (sh_offset, sh_size).
    auto table = [&](uint64_t offset, uint16_t count, uint16_t entrySize, uint16_t minimumSize, size_t rangeAt,
                     bool sections) {
        if (count == 0)
            return true;
        if (entrySize < minimumSize || !extend(offset, static_cast<uint64_t>(count) * entrySize))
            return false;
        std::vector<unsigned char> entry(entrySize);
        for (uint16_t i = 0; i < count; ++i) {
            if (!file.Seek(offset + static_cast<uint64_t>(i) * entrySize) || !file.ReadExact(entry.data(), entry.size()))
                return false;
            if (sections && GetU32(entry.data() + 0x04) == kSectionNoBits)
                continue;
            if (!extend(GetU64(entry.data() + rangeAt), GetU64(entry.data() + 0x20)))
                return false;
        }
        return true;
    };
    return table(phoff, phnum, phentsize, 56, 0x08, false) && table(shoff, shnum, shentsize, 64, 0x18, true);
}

// A marker followed by a part prefix that a build can have written and the first bytes
// of a gzip stream or of a compact image (as many as the file holds).
bool PlausiblePayload(const unsigned char* p, size_t available)
{
    if (available < kMarkerLength + kPartPrefixLength + 1)
        return false;
    if (std::memcmp(p, kSelfExtractMarker, kMarkerLength) != 0)
        return false;
    const int32_t count = static_cast<int32_t>(GetU32(p + kMarkerLength));
    const int32_t size = static_cast<int32_t>(GetU32(p + kMarkerLength + 4));
    if (count < 0 || count > kMaxParts || (size != 0 && size <= 26) || size < 0)
        return false;
    const unsigned char* stream = p + kMarkerLength + kPartPrefixLength;
    size_t streamBytes = available - kMarkerLength - kPartPrefixLength;
    if (stream[0] == 0x1f)
        return streamBytes < 2 || stream[1] == 0x8b;
    return std::memcmp(stream, kCompactMagic, std::min(streamBytes, sizeof kCompactMagic)) == 0;
}

// The end of the patch of a signed program. Signing tools pad the file to a multiple of
// eight bytes before the certificate table; a gzip stream ends by itself, but the first
// file of a split patch ends at the part size and a compact image at its own length, so
// those are taken where they fit.
uint64_t SignedPayloadEnd(CBinFile& file, uint64_t markerOffset, uint64_t certificateAt)
{
    const uint64_t prefixAt = markerOffset + kMarkerLength;
    unsigned char head[kPartPrefixLength + kCompactFixedSize];
    const uint64_t available = certificateAt - prefixAt;
    if (available < kPartPrefixLength || !file.Seek(prefixAt) ||
        !file.ReadExact(head, static_cast<size_t>(std::min<uint64_t>(available, sizeof head))))
        return certificateAt;
    const uint64_t partSize = GetU32(head + 4);
    if (head[0] > 1) // only the lowest byte of the part count is read
        return partSize > prefixAt + kPartPrefixLength && partSize <= certificateAt ? partSize : certificateAt;
    CCompactFixed fixed;
    if (available < sizeof head || !GetCompactFixed(head + kPartPrefixLength, fixed))
        return certificateAt;
    uint64_t end = prefixAt + kPartPrefixLength + kCompactFixedSize + fixed.descriptionPacked;
    for (const CCompactSpan& span : fixed.spans)
        end += std::min<uint64_t>(span.packed, certificateAt); // no sum of damaged sizes wraps
    end += std::min<uint64_t>(fixed.frames, certificateAt);
    return end <= certificateAt ? end : certificateAt;
}

} // namespace

bool FindSelfExtractPayload(const std::string& program, uint64_t& markerOffset)
{
    uint64_t payloadEnd = 0;
    return FindSelfExtractPayload(program, markerOffset, payloadEnd);
}

bool FindSelfExtractPayload(const std::string& program, uint64_t& markerOffset, uint64_t& payloadEnd)
{
    CBinFile file;
    if (!file.Open(program, CBinFile::Mode::Read))
        return false;
    const uint64_t length = file.Length();
    payloadEnd = length;

    // A program that starts as a PE file but whose headers do not fit is no stub.
    CPeLayout pe;
    const PeRead peRead = ReadPeLayout(file, length, pe);
    if (peRead == PeRead::Damaged)
        return false;
    if (peRead == PeRead::Read) {
        const uint64_t end = pe.certificateAt ? pe.certificateAt : length;
        if (pe.imageEnd > end || end - pe.imageEnd < kMarkerLength || !MarkerAt(file, pe.imageEnd))
            return false;
        markerOffset = pe.imageEnd;
        payloadEnd = pe.certificateAt ? SignedPayloadEnd(file, markerOffset, pe.certificateAt) : length;
        return true;
    }

    unsigned char magic[4];
    if (length >= sizeof magic && file.Seek(0) && file.ReadExact(magic, sizeof magic) && std::memcmp(magic, kElfMagic, 4) == 0) {
        uint64_t end = 0;
        if (!ElfImageEnd(file, length, end) || end + kMarkerLength > length || !MarkerAt(file, end))
            return false;
        markerOffset = end;
        return true;
    }

    // Not an ELF stub: search the file in overlapping windows.
    constexpr size_t kWindow = 1 << 20;
    constexpr size_t kOverlap = kMarkerLength + kPartPrefixLength + 2;
    std::vector<unsigned char> buffer(kWindow + kOverlap);
    uint64_t base = 0;
    while (base < length) {
        uint64_t want = length - base < buffer.size() ? length - base : buffer.size();
        if (!file.Seek(base) || !file.ReadExact(buffer.data(), static_cast<size_t>(want)))
            return false;
        const size_t have = static_cast<size_t>(want);
        const bool last = base + want == length;
        const size_t scanEnd = last ? have : kWindow;
        for (size_t i = 0; i < scanEnd; ++i) {
            if (buffer[i] != static_cast<unsigned char>(kSelfExtractMarker[0]))
                continue;
            if (PlausiblePayload(buffer.data() + i, have - i)) {
                markerOffset = base + i;
                return true;
            }
        }
        if (last)
            break;
        base += kWindow;
    }
    return false;
}
