#include "container/PeLayout.h"

#include "engine/common/ByteOrder.h"

#include <vector>

namespace {

constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr uint32_t kCertificateDirectory = 4; // the fifth data directory
constexpr uint16_t kMaxSections = 96;         // what the loader accepts

bool ReadAt(CBinFile& file, uint64_t offset, void* into, size_t count)
{
    return file.Seek(offset) && file.ReadExact(into, count);
}

// The optional header and the section table, behind the COFF header at optional.
bool ReadPeHeaders(CBinFile& file, uint64_t fileLength, uint64_t optional, const unsigned char* coffHeader,
                   CPeLayout& layout)
{
    const uint16_t sections = GetU16(coffHeader + 2);
    const uint16_t optionalSize = GetU16(coffHeader + 16);
    const uint64_t sectionTable = optional + optionalSize;
    if (sections > kMaxSections || sectionTable + uint64_t{sections} * kSectionHeaderSize > fileLength)
        return false;

    std::vector<unsigned char> header(optionalSize);
    if (optionalSize < 2 || !ReadAt(file, optional, header.data(), header.size()))
        return false;
    const uint16_t magic = GetU16(header.data());
    // PE32 and PE32+ differ in where the data directories begin.
    const size_t countAt = magic == kPe32PlusMagic ? 108 : magic == kPe32Magic ? 92 : 0;
    if (countAt == 0 || optionalSize < countAt + 4)
        return false;
    const uint32_t directories = GetU32(header.data() + countAt);
    const size_t certificateEntry = countAt + 4 + kCertificateDirectory * 8;
    layout = CPeLayout{};
    if (directories > kCertificateDirectory && optionalSize >= certificateEntry + 8) {
        // Unlike the other directories, this one holds a file offset, not an address.
        layout.certificateAt = GetU32(header.data() + certificateEntry);
        layout.certificateSize = GetU32(header.data() + certificateEntry + 4);
        if (layout.certificateSize == 0)
            layout.certificateAt = 0;
        if (layout.certificateAt > fileLength || layout.certificateSize > fileLength - layout.certificateAt)
            return false;
    }

    layout.imageEnd = sectionTable + uint64_t{sections} * kSectionHeaderSize;
    unsigned char section[kSectionHeaderSize];
    for (uint16_t i = 0; i < sections; ++i) {
        if (!ReadAt(file, sectionTable + uint64_t{i} * kSectionHeaderSize, section, sizeof section))
            return false;
        const uint64_t size = GetU32(section + 16);
        const uint64_t at = GetU32(section + 20);
        if (size == 0) // uninitialised data takes no room in the file
            continue;
        if (at > fileLength || size > fileLength - at)
            return false;
        if (at + size > layout.imageEnd)
            layout.imageEnd = at + size;
    }
    return layout.certificateAt == 0 || layout.certificateAt >= layout.imageEnd;
}

} // namespace

PeRead ReadPeLayout(CBinFile& file, uint64_t fileLength, CPeLayout& layout)
{
    unsigned char dos[64];
    if (fileLength < sizeof dos || !ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return PeRead::NotPe;
    const uint64_t pe = GetU32(dos + 0x3c);
    unsigned char coff[4 + kCoffHeaderSize];
    if (pe > fileLength || fileLength - pe < sizeof coff || !ReadAt(file, pe, coff, sizeof coff) ||
        coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0)
        return PeRead::NotPe;
    return ReadPeHeaders(file, fileLength, pe + sizeof coff, coff + 4, layout) ? PeRead::Read : PeRead::Damaged;
}
