#include "PatchImage.h"

#include "container/ChecksTrailer.h"

#include <stdexcept>
#include <zlib.h>

namespace image {

void Put16(std::string& out, uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Put64(std::string& out, uint64_t v)
{
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

uint32_t Sum(const std::string& bytes)
{
    uint32_t sum = 0;
    for (unsigned char c : bytes)
        sum += c;
    return sum;
}

namespace {
std::string Field(const std::string& text, size_t width)
{
    std::string f(width, '\0');
    f.replace(0, std::min(text.size(), width), text.substr(0, width));
    return f;
}
} // namespace

std::string Header(const std::vector<std::string>& storedRemoveNames, uint16_t fileCount, const std::string& magic)
{
    std::string out = Field(magic, 64);
    Put32(out, 2044);
    out += Field("Tester", 68);
    out += Field("Testing", 68);
    out += Field("", 260);
    out += Field("", 260);
    Put16(out, static_cast<uint16_t>(storedRemoveNames.size()));
    for (const auto& name : storedRemoveNames)
        out += Field(name, 260);
    Put16(out, fileCount);
    Put32(out, static_cast<uint32_t>(out.size() + 4));
    return out;
}

std::string Record::Bytes() const
{
    std::string out = checkBlock;
    Put16(out, nameField ? *nameField : static_cast<uint16_t>(storedName.size() + 1));
    out += storedName;
    if (nameZero)
        out += '\0';
    Put32(out, newFile);
    Put32(out, oldSum);
    Put32(out, newSum);
    Put32(out, oldLength);
    Put32(out, newLength);
    Put64(out, creation);
    Put64(out, lastAccess);
    Put64(out, lastWrite);
    Put32(out, oldCount ? *oldCount : static_cast<uint32_t>(olds.size()));
    Put32(out, newCount ? *newCount : static_cast<uint32_t>(news.size()));
    for (const auto& o : olds) {
        out += o.tag ? *o.tag : oldTag;
        Put32(out, o.oldOffset);
        Put32(out, o.newOffset);
        Put32(out, o.length);
    }
    for (const auto& n : news) {
        out += n.tag ? *n.tag : newTag;
        Put32(out, n.newOffset);
        Put32(out, n.length ? *n.length : static_cast<uint32_t>(n.bytes.size()));
        out += n.bytes;
    }
    return out;
}

std::string Image(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames, int fileCount)
{
    std::string img = Header(storedRemoveNames, static_cast<uint16_t>(fileCount < 0 ? records.size() : fileCount));
    for (const auto& r : records)
        img += r.Bytes();
    return img;
}

std::string Patch(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames, int fileCount)
{
    return PatchFile(Image(records, storedRemoveNames, fileCount));
}

Record NewFile(const std::string& storedName, const std::string& content)
{
    Record r;
    r.storedName = storedName;
    r.newFile = 1;
    r.newSum = Sum(content);
    r.newLength = static_cast<uint32_t>(content.size());
    r.lastWrite = r.lastAccess = r.creation = 132000000000000000ULL;
    r.news.push_back({0, content, std::nullopt});
    return r;
}

Record Changed(const std::string& storedName, const std::string& oldContent, const std::string& newContent)
{
    Record r = NewFile(storedName, newContent);
    r.newFile = 0;
    r.oldSum = Sum(oldContent);
    r.oldLength = static_cast<uint32_t>(oldContent.size());
    return r;
}

std::string Gzip(const std::string& bytes)
{
    z_stream z = {};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, bytes.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    return out;
}

std::string PatchFile(const std::string& image, int32_t partCount, int32_t partSize)
{
    std::string out;
    Put32(out, static_cast<uint32_t>(partCount));
    Put32(out, static_cast<uint32_t>(partSize));
    return out + Gzip(image);
}

std::string Checks(const std::vector<Contents>& records)
{
    auto hash = [](const std::string& bytes) {
        return CSha256::Of(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    std::vector<CRecordChecks> checks;
    for (const Contents& c : records) {
        CRecordChecks r;
        r.hasOld = c.oldContent.has_value();
        if (r.hasOld)
            r.oldHash = hash(*c.oldContent);
        r.newHash = hash(c.newContent);
        checks.push_back(r);
    }
    return ChecksTrailerBytes(checks);
}

} // namespace image
