#include "container/ChecksTrailer.h"

#include "container/ContainerUtil.h"

#include <cstring>

namespace {

constexpr char kHeadMark[] = "DvChecks";
constexpr char kEndMark[] = "DvChkEnd";
constexpr size_t kMarkLength = 8;
constexpr uint32_t kVersion = 1;
constexpr size_t kEndLength = 4 + kMarkLength;
constexpr unsigned char kNewFile = 0, kChanged = 1, kUnchanged = 2;

void Append(std::string& out, const void* data, size_t size)
{
    out.append(static_cast<const char*>(data), size);
}

void AppendU32(std::string& out, uint32_t v)
{
    unsigned char b[4];
    PutLE32(b, v);
    Append(out, b, sizeof b);
}

} // namespace

std::string ChecksTrailerBytes(const std::vector<CRecordChecks>& records)
{
    std::string out;
    out.reserve(kChecksTrailerFixed + records.size() * (1 + 2 * CSha256::kSize));
    Append(out, kHeadMark, kMarkLength);
    AppendU32(out, kVersion);
    AppendU32(out, static_cast<uint32_t>(records.size()));
    for (const CRecordChecks& r : records) {
        const unsigned char kind = !r.hasOld ? kNewFile : r.oldHash == r.newHash ? kUnchanged : kChanged;
        out.push_back(static_cast<char>(kind));
        if (kind == kChanged)
            Append(out, r.oldHash.data(), CSha256::kSize);
        Append(out, r.newHash.data(), CSha256::kSize);
    }
    const CSha256::Digest body = CSha256::Of(reinterpret_cast<const unsigned char*>(out.data()), out.size());
    Append(out, body.data(), body.size());
    AppendU32(out, static_cast<uint32_t>(out.size() + kEndLength));
    Append(out, kEndMark, kMarkLength);
    return out;
}

CTrailerRead ReadChecksTrailer(CBinFile& image, uint64_t recordsStart, uint16_t count, CPatchChecks& checks,
                               std::string& why)
{
    checks.Clear();
    const uint64_t length = image.Length();
    if (length < recordsStart + kEndLength)
        return CTrailerRead::Absent;
    unsigned char end[kEndLength];
    if (!image.Seek(length - kEndLength) || !image.ReadExact(end, sizeof end))
        return CTrailerRead::Absent;
    if (std::memcmp(end + 4, kEndMark, kMarkLength) != 0)
        return CTrailerRead::Absent;

    auto damaged = [&](const char* text) {
        why = text;
        checks.Clear();
        return CTrailerRead::Damaged;
    };
    const uint32_t total = GetU32(end);
    // Every entry takes at least 33 bytes.
    const uint64_t most = kChecksTrailerFixed + uint64_t{count} * (1 + 2 * CSha256::kSize);
    if (total < kChecksTrailerFixed || total > length - recordsStart || total > most)
        return damaged("the strong checks at its end have a wrong length.");
    std::string bytes(total, '\0');
    if (!image.Seek(length - total) || !image.ReadExact(bytes.data(), bytes.size()))
        return damaged("the strong checks at its end cannot be read.");
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (std::memcmp(p, kHeadMark, kMarkLength) != 0)
        return damaged("the strong checks at its end are incomplete.");
    if (GetU32(p + 8) != kVersion)
        return CTrailerRead::Absent; // a later layout: passed over, the byte sums check
    const size_t bodyLength = total - kEndLength - CSha256::kSize;
    const CSha256::Digest body = CSha256::Of(p, bodyLength);
    if (std::memcmp(body.data(), p + bodyLength, body.size()) != 0)
        return damaged("the strong checks at its end do not match themselves.");
    if (GetU32(p + 12) != count)
        return damaged("the strong checks at its end are not those of its file records.");

    size_t at = 16;
    checks.records.resize(count);
    for (CRecordChecks& r : checks.records) {
        if (at + 1 > bodyLength)
            return damaged("the strong checks at its end are incomplete.");
        const unsigned char kind = p[at++];
        if (kind > kUnchanged)
            return damaged("the strong checks at its end are of an unknown kind.");
        const size_t need = (kind == kChanged ? 2 : 1) * CSha256::kSize;
        if (at + need > bodyLength)
            return damaged("the strong checks at its end are incomplete.");
        r.hasOld = kind != kNewFile;
        if (kind == kChanged) {
            std::memcpy(r.oldHash.data(), p + at, CSha256::kSize);
            at += CSha256::kSize;
        }
        std::memcpy(r.newHash.data(), p + at, CSha256::kSize);
        at += CSha256::kSize;
        if (kind == kUnchanged)
            r.oldHash = r.newHash;
    }
    if (at != bodyLength)
        return damaged("the strong checks at its end are not those of its file records.");
    checks.start = length - total;
    checks.present = true;
    return CTrailerRead::Read;
}
