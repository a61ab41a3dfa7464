// Where a content-defined block ends, and the hash of a block's bytes: the two steps
// that cutting a file into blocks takes for every block, shared by the block index and
// the helper that cuts ahead of it.
#pragma once
#include "engine/build/MatchLength.h"
#include "engine/common/CBlockNode.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace blocks {

using matchlen::Load64;

// The 128-bit product of a and b, folded to 64 bits: one multiplication mixes every bit
// of both into the result.
inline uint64_t MulFold(uint64_t a, uint64_t b)
{
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// A hash of n bytes, started from seed. Only the block index uses it, to find blocks
// of equal content (confirmed byte by byte): it is not part of any patch. Three chains
// take 48 bytes at a time, one folded multiplication per 16 bytes, so that the
// multiplier never waits on one chain.
inline uint64_t HashBytes(uint64_t seed, const unsigned char* p, size_t n)
{
    constexpr uint64_t k0 = 0xA0761D6478BD642FULL;
    constexpr uint64_t k1 = 0xE7037ED1A0B428DBULL;
    constexpr uint64_t k2 = 0x8EBC6AF09C88C6E3ULL;
    constexpr uint64_t k3 = 0x589965CC75374CC3ULL;
    const uint64_t total = n;
    uint64_t h0 = seed ^ MulFold(seed ^ k0, k1);
    if (n >= 48) {
        uint64_t h1 = h0;
        uint64_t h2 = h0;
        while (n >= 48) {
            h0 = MulFold(Load64(p) ^ k1, Load64(p + 8) ^ h0);
            h1 = MulFold(Load64(p + 16) ^ k2, Load64(p + 24) ^ h1);
            h2 = MulFold(Load64(p + 32) ^ k3, Load64(p + 40) ^ h2);
            p += 48;
            n -= 48;
        }
        h0 ^= h1 ^ h2;
    }
    while (n >= 16) {
        h0 = MulFold(Load64(p) ^ k1, Load64(p + 8) ^ h0);
        p += 16;
        n -= 16;
    }
    // The last 0 to 15 bytes: the first eight and the last eight (which may overlap).
    uint64_t a = 0;
    uint64_t b = 0;
    if (n >= 8) {
        a = Load64(p);
        if (n > 8)
            b = Load64(p + n - 8);
    } else if (n > 0) {
        std::memcpy(&a, p, n);
    }
    return MulFold(k1 ^ total, MulFold(a ^ k1, b ^ h0));
}

// A hash of a block's bytes and length (the byte sum adds nothing to them).
inline uint64_t BytesHash(const unsigned char* p, size_t n)
{
    return HashBytes(n, p, n);
}

// The end of the block that starts at cursor (the boundary rule of Cut, without the sum).
inline const unsigned char* BlockEnd(const unsigned char* cursor, const unsigned char* end, unsigned char sep)
{
    if (static_cast<size_t>(end - cursor) <= CBlockNode::kMinLength)
        return end;
    const unsigned char* q = cursor + CBlockNode::kMinLength;
    const unsigned char* last = end - 1;
    while (q < last) {
        const void* hit = std::memchr(q, sep, static_cast<size_t>(last - q));
        if (!hit)
            break;
        const unsigned char* p = static_cast<const unsigned char*>(hit);
        if (p[1] != sep)
            return p;
        q = p + 1;
    }
    return end;
}

} // namespace blocks
