// Where a content-defined block ends, and the hash of a block's bytes: the two steps
// that cutting a file into blocks takes for every block, shared by the block index and
// the helper that cuts ahead of it.
#pragma once
#include "engine/CBlockNode.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace blocks {

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t Mix(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

// A hash of n bytes, started from seed. Only the block index uses it, to find blocks
// of equal content (confirmed byte by byte): it is not part of any patch. Four chains
// over 32 bytes at a time keep the multiplier busy; one chain would wait on each.
inline uint64_t HashBytes(uint64_t seed, const unsigned char* p, size_t n)
{
    constexpr uint64_t k1 = 0x9E3779B97F4A7C15ULL;
    constexpr uint64_t k2 = 0xC2B2AE3D27D4EB4FULL;
    uint64_t h1 = seed * k1;
    uint64_t h2 = h1 ^ k2;
    if (n >= 32) {
        uint64_t h3 = h1 + k2;
        uint64_t h4 = h2 - k1;
        while (n >= 32) {
            h1 = std::rotl(h1 ^ (Load64(p) * k2), 29) * k1;
            h2 = std::rotl(h2 ^ (Load64(p + 8) * k2), 31) * k1;
            h3 = std::rotl(h3 ^ (Load64(p + 16) * k2), 27) * k1;
            h4 = std::rotl(h4 ^ (Load64(p + 24) * k2), 33) * k1;
            p += 32;
            n -= 32;
        }
        h1 ^= std::rotl(h3, 17);
        h2 ^= std::rotl(h4, 41);
    }
    while (n >= 16) {
        h1 = std::rotl(h1 ^ (Load64(p) * k2), 29) * k1;
        h2 = std::rotl(h2 ^ (Load64(p + 8) * k2), 31) * k1;
        p += 16;
        n -= 16;
    }
    if (n >= 8) {
        h1 = std::rotl(h1 ^ (Load64(p) * k2), 27) * k1;
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        uint64_t tail = 0;
        std::memcpy(&tail, p, n);
        h2 = std::rotl(h2 ^ (tail * k2), 33) * k1;
    }
    return Mix(h1 ^ std::rotl(h2, 32));
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
