#include "codec/ZstdSequences.h"

#include "codec/BackwardBits.h"
#include "codec/ZstdFormat.h"

#include <algorithm>
#include <cstring>

namespace codec {

namespace {

constexpr unsigned kMaxSymbol[3] = {35, 31, 52};
constexpr unsigned kMaxLog[3] = {9, 8, 9};

// The tables a block may name instead of describing its own.
constexpr int16_t kDefaultLiteralLengths[36] = {4, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 2, 2,
                                                2, 2, 2, 2, 2, 2, 2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
constexpr int16_t kDefaultOffsets[29] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 1,
                                         1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};
constexpr int16_t kDefaultMatchLengths[53] = {1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                              1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                              1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};

struct CDefaultTables {
    CFseTable table[3];
    CDefaultTables()
    {
        BuildFseTable(kDefaultLiteralLengths, 36, 6, table[0]);
        BuildFseTable(kDefaultOffsets, 29, 5, table[1]);
        BuildFseTable(kDefaultMatchLengths, 53, 6, table[2]);
    }
};

const CFseTable& DefaultTable(int kind)
{
    static const CDefaultTables tables;
    return tables.table[kind];
}

// Literal and match lengths: a base per code plus that many extra bits.
constexpr uint32_t kLiteralBase[36] = {0,  1,  2,  3,  4,  5,   6,   7,   8,   9,    10,   11,
                                       12, 13, 14, 15, 16, 18,  20,  22,  24,  28,   32,   40,
                                       48, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
constexpr uint8_t kLiteralExtra[36] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,  1,
                                       1, 1, 2, 2, 3, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr uint32_t kMatchBase[53] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  12,  13,   14,   15,   16,
                                     17, 18, 19, 20, 21, 22, 23, 24,  25,  26,  27,   28,   29,   30,
                                     31, 32, 33, 34, 35, 37, 39, 41,  43,  47,  51,   59,   67,   83,
                                     99, 131, 259, 515, 1027, 2051, 4099, 8195, 16387, 32771, 65539};
constexpr uint8_t kMatchExtra[53] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
                                     2, 2, 3, 3, 4, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

constexpr size_t kDamaged = ~size_t{0};

// Copies length bytes from src to dst in whole 16-byte pieces, so up to 15 bytes past
// the end of both are touched; for literals, whose buffers are padded.
void CopyLiterals(uint8_t* dst, const uint8_t* src, size_t length)
{
    for (size_t i = 0; i < length; i += 16)
        std::memcpy(dst + i, src + i, 16);
}

// Copies a match of length bytes from offset bytes back; may write up to 15 bytes past
// its end. A short offset repeats a pattern: once a few bytes are copied one at a time,
// a multiple of the offset of at least 8 gives the same bytes in whole words.
void CopyMatch(uint8_t* op, uint64_t offset, size_t length)
{
    size_t distance = static_cast<size_t>(offset), i = 0;
    if (offset < 8) {
        const uint8_t* from = op - offset;
        distance = offset * ((8 + offset - 1) / offset);
        for (; i < length && i < distance; ++i)
            op[i] = from[i];
    }
    if (distance >= 16) {
        for (; i < length; i += 16)
            std::memcpy(op + i, op + i - distance, 16);
    } else {
        for (; i < length; i += 8)
            std::memcpy(op + i, op + i - distance, 8);
    }
}

} // namespace

void CZstdSequences::Reset()
{
    current_[0] = current_[1] = current_[2] = nullptr;
    repeat_[0] = 1;
    repeat_[1] = 4;
    repeat_[2] = 8;
}

size_t CZstdSequences::ReadTable(Kind kind, unsigned mode, const uint8_t* src, size_t size)
{
    switch (mode) {
    case 0: // the default table
        current_[kind] = &DefaultTable(kind);
        return 0;
    case 1: // one symbol for every sequence
        if (size < 1 || src[0] > kMaxSymbol[kind])
            return kDamaged;
        BuildRleFseTable(src[0], own_[kind]);
        current_[kind] = &own_[kind];
        return 1;
    case 2: {
        const size_t used = ReadFseTable(src, size, kMaxSymbol[kind], kMaxLog[kind], own_[kind]);
        if (used == 0) {
            current_[kind] = nullptr;
            return kDamaged;
        }
        current_[kind] = &own_[kind];
        return used;
    }
    default: // the previous block's table
        return current_[kind] ? 0 : kDamaged;
    }
}

size_t CZstdSequences::Run(const uint8_t* src, size_t size, const uint8_t* literals, size_t literalsSize,
                           uint8_t* dst, size_t capacity, const ZstdHistory& history)
{
    const size_t corrupt = ZstdFail(ZstdError::Corrupt);
    if (size == 0 || literalsSize > capacity)
        return corrupt;
    size_t count, p;
    if (src[0] < 128) {
        count = src[0];
        p = 1;
    } else if (src[0] < 255) {
        if (size < 2)
            return corrupt;
        count = ((src[0] - size_t{128}) << 8) + src[1];
        p = 2;
    } else {
        if (size < 3)
            return corrupt;
        count = src[1] + (size_t{src[2]} << 8) + 0x7F00;
        p = 3;
    }
    if (count == 0) {
        // Literals only; the tables are left as they are.
        if (p != size)
            return corrupt;
        std::memcpy(dst, literals, literalsSize);
        return literalsSize;
    }
    if (p >= size)
        return corrupt;
    const unsigned modes = src[p++];
    if ((modes & 3) != 0)
        return corrupt;
    static constexpr Kind kOrder[3] = {kLiteralLength, kOffset, kMatchLength};
    for (int i = 0; i < 3; ++i) {
        const size_t used = ReadTable(kOrder[i], (modes >> (6 - 2 * i)) & 3, src + p, size - p);
        if (used == kDamaged)
            return corrupt;
        p += used;
    }
    CBackwardBits bits;
    if (!bits.Init(src + p, size - p))
        return corrupt;
    const CFseTable& llTable = *current_[kLiteralLength];
    const CFseTable& ofTable = *current_[kOffset];
    const CFseTable& mlTable = *current_[kMatchLength];
    unsigned ll = static_cast<unsigned>(bits.Read(llTable.log));
    unsigned of = static_cast<unsigned>(bits.Read(ofTable.log));
    unsigned ml = static_cast<unsigned>(bits.Read(mlTable.log));

    uint8_t* op = dst;
    uint8_t* const limit = dst + capacity;
    const uint8_t* lit = literals;
    const uint8_t* const litEnd = literals + literalsSize;
    uint64_t farthest = 0;
    for (size_t i = 0; i < count; ++i) {
        const unsigned ofCode = ofTable.entries[of].symbol;
        const unsigned mlCode = mlTable.entries[ml].symbol;
        const unsigned llCode = llTable.entries[ll].symbol;
        const uint64_t ofValue = (uint64_t{1} << ofCode) + bits.Read(ofCode);
        const size_t matchLength = kMatchBase[mlCode] + static_cast<size_t>(bits.Read(kMatchExtra[mlCode]));
        const size_t literalLength = kLiteralBase[llCode] + static_cast<size_t>(bits.Read(kLiteralExtra[llCode]));

        uint64_t offset;
        if (ofValue > 3) {
            offset = ofValue - 3;
            repeat_[2] = repeat_[1];
            repeat_[1] = repeat_[0];
            repeat_[0] = offset;
        } else {
            // A repeated offset; with no literals before it the choice moves one on.
            const unsigned index = static_cast<unsigned>(ofValue) - 1 + (literalLength == 0 ? 1 : 0);
            if (index == 0) {
                offset = repeat_[0];
            } else {
                offset = index == 3 ? repeat_[0] - 1 : repeat_[index];
                if (index != 1)
                    repeat_[2] = repeat_[1];
                repeat_[1] = repeat_[0];
                repeat_[0] = offset;
            }
        }
        if (i + 1 < count) {
            ll = llTable.Next(ll, bits);
            ml = mlTable.Next(ml, bits);
            of = ofTable.Next(of, bits);
        }

        if (literalLength > static_cast<size_t>(litEnd - lit) ||
            literalLength + matchLength > static_cast<size_t>(limit - op))
            return corrupt;
        CopyLiterals(op, lit, literalLength);
        op += literalLength;
        lit += literalLength;
        const uint64_t reach = static_cast<uint64_t>(op - dst) + history.size;
        const uint64_t at = static_cast<uint64_t>(op - dst) + history.position;
        if (offset == 0 || offset > reach + history.earlierSize || (offset > history.window && at > history.window))
            return corrupt;
        farthest = std::max(farthest, offset);
        if (offset > reach) {
            // From the earlier bytes, and on from the buffer's start when they run out.
            const size_t back = static_cast<size_t>(offset - reach);
            const size_t fromEarlier = std::min(back, matchLength);
            std::memcpy(op, history.earlierEnd - back, fromEarlier);
            if (fromEarlier < matchLength)
                CopyMatch(op + fromEarlier, offset, matchLength - fromEarlier);
        } else {
            CopyMatch(op, offset, matchLength);
        }
        op += matchLength;
    }
    if (!bits.Finished())
        return corrupt;
    const size_t rest = static_cast<size_t>(litEnd - lit);
    if (rest > static_cast<size_t>(limit - op))
        return corrupt;
    std::memcpy(op, lit, rest);
    const size_t produced = static_cast<size_t>(op - dst) + rest;
    if (farthest > history.window && history.position + produced > history.window)
        return corrupt;
    return produced;
}

} // namespace codec
