#include "codec/ZstdLiterals.h"

#include "codec/ZstdFormat.h"

#include <cstring>

namespace codec {

namespace {

enum LiteralsType { kRaw = 0, kRle = 1, kCompressed = 2, kTreeless = 3 };

} // namespace

CZstdLiterals::CZstdLiterals() : buffer_(kZstdBlockMax + kZstdSlack) {}

size_t CZstdLiterals::Read(const uint8_t* src, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned type = src[0] & 3, format = (src[0] >> 2) & 3;
    if (type == kCompressed || type == kTreeless)
        return ReadCoded(src, size);
    // Stored or repeated: a 5-, 12- or 20-bit size in a header of 1, 2 or 3 bytes.
    size_t head, regenerated;
    if ((format & 1) == 0) {
        head = 1;
        regenerated = src[0] >> 3;
    } else {
        head = format == 1 ? 2 : 3;
        if (size < head)
            return 0;
        regenerated = static_cast<size_t>(LoadBytes(src, head) >> 4);
    }
    if (regenerated > kZstdBlockMax)
        return 0;
    if (type == kRaw) {
        if (size - head < regenerated)
            return 0;
        data_ = src + head;
        size_ = regenerated;
        return head + regenerated;
    }
    if (size - head < 1)
        return 0;
    std::memset(buffer_.data(), src[head], regenerated);
    data_ = buffer_.data();
    size_ = regenerated;
    return head + 1;
}

size_t CZstdLiterals::ReadCoded(const uint8_t* src, size_t size)
{
    const unsigned type = src[0] & 3, format = (src[0] >> 2) & 3;
    // Header of 3, 3, 4 or 5 bytes holding two sizes of 10, 10, 14 or 18 bits.
    static constexpr unsigned kHead[4] = {3, 3, 4, 5}, kWidth[4] = {10, 10, 14, 18};
    const size_t head = kHead[format];
    if (size < head)
        return 0;
    const uint64_t field = LoadBytes(src, head) >> 4;
    const uint64_t mask = (uint64_t{1} << kWidth[format]) - 1;
    const size_t regenerated = static_cast<size_t>(field & mask);
    const size_t packed = static_cast<size_t>((field >> kWidth[format]) & mask);
    if (regenerated > kZstdBlockMax || packed > size - head)
        return 0;
    const uint8_t* p = src + head;
    size_t left = packed;
    if (type == kCompressed) {
        const size_t tree = huffman_.Read(p, left);
        if (tree == 0)
            return 0;
        p += tree;
        left -= tree;
    } else if (!huffman_.Ready()) {
        return 0; // a block that reuses a code no block has given
    }
    uint8_t* out = buffer_.data();
    if (format == 0) {
        if (!huffman_.DecodeStream(p, left, out, regenerated))
            return 0;
    } else {
        // Four streams behind a table of the first three's sizes; each but the last
        // regenerates a quarter, rounded up.
        if (left < 6)
            return 0;
        size_t sizes[4] = {Load16(p), Load16(p + 2), Load16(p + 4), 0};
        const size_t firstThree = sizes[0] + sizes[1] + sizes[2];
        if (firstThree > left - 6)
            return 0;
        sizes[3] = left - 6 - firstThree;
        const size_t quarter = (regenerated + 3) / 4;
        if (3 * quarter > regenerated)
            return 0;
        const uint8_t* const streams[4] = {p + 6, p + 6 + sizes[0], p + 6 + sizes[0] + sizes[1],
                                           p + 6 + firstThree};
        if (!huffman_.DecodeFourStreams(streams, sizes, out, quarter, regenerated))
            return 0;
    }
    data_ = out;
    size_ = regenerated;
    return head + packed;
}

} // namespace codec
