// The two kinds of patch object: their bytes in the patch file, and the copies an apply
// makes with them into the file being rebuilt.
#include "engine/common/ByteOrder.h"
#include "engine/common/CFilePatch.h"

#include <algorithm>
#include <cstring>

namespace {

const unsigned char kOldPatchTag[8] = {'o', 'l', 'd', 'p', 't', 'c', 'h', 0};
const unsigned char kNewPatchTag[8] = {'n', 'e', 'w', 'p', 't', 'c', 'h', 0};

// Copies length bytes from the current position of from to the current position of to,
// through the copy buffer, in chunks of 64,000 bytes (the last one the remainder).
bool CopyThroughBuffer(CBinFile& from, CBinFile& to, uint32_t length, std::vector<unsigned char>& buffer)
{
    if (buffer.size() < CFilePatch::kCopyBufferSize)
        buffer.resize(CFilePatch::kCopyBufferSize);
    uint32_t left = length;
    while (left > 0) {
        size_t chunk = std::min<size_t>(left, CFilePatch::kCopyBufferSize);
        if (!from.ReadExact(buffer.data(), chunk) || !to.Write(buffer.data(), chunk))
            return false;
        left -= static_cast<uint32_t>(chunk);
    }
    return true;
}

} // namespace

bool COldPatch::ReadWrite(CBinFile& image, bool storing)
{
    if (!storing)
        return Read(image) == CObjectRead::Ok;
    std::vector<unsigned char> bytes(kOldPatchTag, kOldPatchTag + 8);
    PutU32(bytes, oldOffset);
    PutU32(bytes, newOffset);
    PutU32(bytes, length);
    return image.Write(bytes.data(), bytes.size());
}

CObjectRead COldPatch::Read(CBinFile& image)
{
    unsigned char bytes[kSize];
    if (!image.ReadExact(bytes, sizeof bytes))
        return CObjectRead::ReadError;
    if (std::memcmp(bytes, kOldPatchTag, 8) != 0)
        return CObjectRead::BadTag;
    oldOffset = GetU32(bytes + 8);
    newOffset = GetU32(bytes + 12);
    length = GetU32(bytes + 16);
    return CObjectRead::Ok;
}

bool COldPatch::ApplyTo(CBinFile& oldFile, CBinFile& output, std::vector<unsigned char>& copyBuffer) const
{
    if (!oldFile.Seek(oldOffset) || !output.Seek(newOffset))
        return false;
    return CopyThroughBuffer(oldFile, output, length, copyBuffer);
}

bool CNewPatch::ReadWrite(CBinFile& image, bool storing, const unsigned char* newContent)
{
    if (!storing)
        return Read(image, image.Length()) == CObjectRead::Ok;
    if (length > 0 && !newContent)
        return false;
    std::vector<unsigned char> bytes;
    AppendHeader(bytes);
    return image.Write(bytes.data(), bytes.size()) && image.Write(newContent + newOffset, length);
}

void CNewPatch::AppendHeader(std::vector<unsigned char>& out) const
{
    out.insert(out.end(), kNewPatchTag, kNewPatchTag + 8);
    PutU32(out, newOffset);
    PutU32(out, length);
}

CObjectRead CNewPatch::Read(CBinFile& image, uint64_t imageLength)
{
    unsigned char bytes[kHeaderSize];
    if (!image.ReadExact(bytes, sizeof bytes))
        return CObjectRead::ReadError;
    if (std::memcmp(bytes, kNewPatchTag, 8) != 0)
        return CObjectRead::BadTag;
    newOffset = GetU32(bytes + 8);
    length = GetU32(bytes + 12);
    // The data follow the length field; they are passed over, not read.
    dataPosition = image.Tell();
    if (dataPosition > imageLength || length > imageLength - dataPosition)
        return CObjectRead::PastEnd;
    if (!image.Skip(length))
        return CObjectRead::ReadError;
    return CObjectRead::Ok;
}

bool CNewPatch::ApplyTo(CBinFile& image, CBinFile& output, std::vector<unsigned char>& copyBuffer) const
{
    uint64_t resume = image.Tell();
    bool ok = output.Seek(newOffset) && image.Seek(dataPosition) &&
              CopyThroughBuffer(image, output, length, copyBuffer);
    // Reading of the following records goes on from where it was.
    return image.Seek(resume) && ok;
}
