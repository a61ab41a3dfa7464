#include "support/CompactImage.h"

#include "support/PatchImage.h"

#include "engine/common/Sha256.h"

#include <zstd.h>

#include <algorithm>

namespace compact {

namespace {

std::string Pack(const std::string& raw, const std::string& prefix = "")
{
    if (raw.empty())
        return "";
    std::string out(ZSTD_compressBound(raw.size()), '\0');
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, 3);
    if (!prefix.empty())
        ZSTD_CCtx_refPrefix(cctx, prefix.data(), prefix.size());
    out.resize(ZSTD_compress2(cctx, out.data(), out.size(), raw.data(), raw.size()));
    ZSTD_freeCCtx(cctx);
    return out;
}

void PutVarint(std::string& out, uint64_t v)
{
    for (; v >= 0x80; v >>= 7)
        out += static_cast<char>(v | 0x80);
    out += static_cast<char>(v);
}

std::array<uint8_t, 32> Digest(const std::string& s)
{
    return CSha256::Of(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

void PutText(std::string& out, const std::string& text)
{
    image::Put16(out, static_cast<uint16_t>(text.size()));
    out += text;
}

} // namespace

std::string Record::Bytes(std::string streams[4]) const
{
    std::string out = "cfil";
    PutText(out, storedName);
    out += static_cast<char>(flags);
    image::Put32(out, oldLength);
    image::Put32(out, newLength);
    image::Put32(out, oldSum);
    image::Put32(out, newSum);
    image::Put64(out, 0);
    image::Put64(out, 0);
    image::Put64(out, 0);
    if (flags & 4) {
        out.append(oldSha.begin(), oldSha.end());
        out.append(newSha.begin(), newSha.end());
    }
    if (!(flags & 2))
        return out;
    if (flags & 8) {
        image::Put32(out, frameLength.value_or(static_cast<uint32_t>(frame.size())));
        image::Put16(out, twin);
        streams[3] += frame;
        return out;
    }
    std::string controls;
    for (const Step& s : steps) {
        PutVarint(controls, s.copy);
        PutVarint(controls, s.literal);
        PutVarint(controls, (static_cast<uint64_t>(s.move) << 1) ^ static_cast<uint64_t>(s.move >> 63));
    }
    const std::string rawStreams[3] = {controls, differences, literals};
    for (int i = 0; i < 3; ++i) {
        std::string part = rawStreams[i];
        if (raw[i])
            part.resize(*raw[i], '\0');
        streams[i] += std::string(static_cast<size_t>(offset[i].value_or(0)), '\0') + part;
    }
    return out;
}

Record Changed(const std::string& storedName, const std::string& oldContent, const std::string& newContent)
{
    Record r;
    r.storedName = storedName;
    r.oldLength = static_cast<uint32_t>(oldContent.size());
    r.newLength = static_cast<uint32_t>(newContent.size());
    r.oldSum = image::Sum(oldContent);
    r.newSum = image::Sum(newContent);
    r.oldSha = Digest(oldContent);
    r.newSha = Digest(newContent);
    const size_t common = std::min(oldContent.size(), newContent.size());
    for (size_t i = 0; i < common; ++i)
        r.differences += static_cast<char>(newContent[i] - oldContent[i]);
    r.literals = newContent.substr(common);
    if (r.oldLength == r.newLength && r.oldSum == r.newSum)
        r.flags |= 4;
    r.steps.push_back({static_cast<uint32_t>(common), static_cast<uint32_t>(newContent.size() - common), 0});
    return r;
}

Record Packed(const std::string& storedName, const std::string& oldContent, const std::string& newContent,
              uint16_t twin, const std::string& twinContent)
{
    Record r = oldContent.empty() && twin != 0 ? NewFile(storedName, newContent) : Changed(storedName, oldContent, newContent);
    r.flags |= 8;
    r.steps.clear();
    r.differences.clear();
    r.literals.clear();
    r.twin = twin;
    const std::string prefix = twinContent + oldContent;
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 1);
    if (!prefix.empty())
        ZSTD_CCtx_refPrefix(cctx, prefix.data(), prefix.size());
    r.frame.assign(ZSTD_compressBound(newContent.size()), '\0');
    r.frame.resize(ZSTD_compress2(cctx, r.frame.data(), r.frame.size(), newContent.data(), newContent.size()));
    ZSTD_freeCCtx(cctx);
    return r;
}

Record NewFile(const std::string& storedName, const std::string& content)
{
    Record r = Changed(storedName, "", content);
    r.flags = content.empty() ? 1 : 3;
    r.oldSha = {};
    return r;
}

std::string Image(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames, int fileCount,
                  uint16_t version, const std::vector<LeadFile>& lead)
{
    std::string description;
    image::Put32(description, 2044);
    for (const char* text : {"Publisher", "Organisation", "/opt/app", "Dialog"})
        PutText(description, text);
    image::Put16(description, static_cast<uint16_t>(storedRemoveNames.size()));
    for (const std::string& name : storedRemoveNames)
        PutText(description, name);
    image::Put16(description, static_cast<uint16_t>(fileCount < 0 ? records.size() : fileCount));
    std::string leadContent;
    image::Put16(description, static_cast<uint16_t>(lead.size()));
    for (const LeadFile& file : lead) {
        PutText(description, file.storedName);
        image::Put32(description, file.length.value_or(static_cast<uint32_t>(file.content.size())));
        leadContent += file.content;
    }
    if (!lead.empty()) {
        const std::array<uint8_t, 32> leadDigest = Digest(leadContent);
        description.append(leadDigest.begin(), leadDigest.end());
    }
    std::string streams[4];
    CSha256 tree;
    for (const Record& r : records) {
        description += r.Bytes(streams);
        if (r.flags & 2)
            tree.Update(r.newSha.data(), r.newSha.size());
    }

    const std::string packedDescription = Pack(description);
    std::string out("DVCP\r\n\x1a\n", 8);
    image::Put16(out, version);
    image::Put16(out, 0);
    image::Put32(out, static_cast<uint32_t>(description.size()));
    image::Put32(out, static_cast<uint32_t>(packedDescription.size()));
    std::string packed[3];
    for (int i = 0; i < 3; ++i) {
        packed[i] = Pack(streams[i], i == 2 ? leadContent : "");
        image::Put64(out, streams[i].size());
        image::Put64(out, packed[i].size());
    }
    image::Put64(out, streams[3].size());
    const CSha256::Digest treeDigest = tree.Final();
    out.append(treeDigest.begin(), treeDigest.end());
    return out + packedDescription + packed[0] + packed[1] + packed[2] + streams[3];
}

std::string PatchFile(const std::string& image)
{
    return std::string(8, '\0') + image;
}

} // namespace compact
