// Content-defined blocks and the index of the old file's blocks.
#include "engine/CBlockNode.h"

#include <bit>
#include <cstring>

namespace {

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Byte sum of a range, eight bytes at a time: the bytes of each word are added in
// four 16-bit lanes, which are folded into the total before they can overflow.
uint32_t BlockSum(const unsigned char* p, size_t n)
{
    constexpr uint64_t kEven = 0x00FF00FF00FF00FFULL;
    uint64_t total = 0;
    while (n >= 8) {
        // Each word adds at most 2 * 255 to a lane, so 128 words stay below 65536.
        size_t words = n / 8 < 128 ? n / 8 : 128;
        uint64_t lanes = 0;
        for (size_t i = 0; i < words; ++i) {
            uint64_t w = Load64(p + 8 * i);
            lanes += (w & kEven) + ((w >> 8) & kEven);
        }
        total += (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
        p += 8 * words;
        n -= 8 * words;
    }
    while (n--)
        total += *p++;
    return static_cast<uint32_t>(total);
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

} // namespace

bool CBlockNode::Cut(const unsigned char*& cursor, const unsigned char* end, unsigned char sep)
{
    if (cursor >= end)
        return false;
    size_t remaining = static_cast<size_t>(end - cursor);
    const unsigned char* blockEnd = end;
    if (remaining > kMinLength) {
        // The block ends before the first separator at least kMinLength bytes on that is
        // followed by a different byte; a separator in the last position has no follower.
        const unsigned char* q = cursor + kMinLength;
        const unsigned char* last = end - 1;
        while (q < last) {
            const void* hit = std::memchr(q, sep, static_cast<size_t>(last - q));
            if (!hit)
                break;
            const unsigned char* p = static_cast<const unsigned char*>(hit);
            if (p[1] != sep) {
                blockEnd = p;
                break;
            }
            q = p + 1;
        }
    }
    start = cursor;
    length = static_cast<uint32_t>(blockEnd - cursor);
    byteSum = BlockSum(cursor, length);
    cursor = blockEnd;
    return true;
}

bool CBlockNode::SameContent(const CBlockNode& other) const
{
    return byteSum == other.byteSum && length == other.length &&
           (start == other.start || std::memcmp(start, other.start, length) == 0);
}

uint64_t CBlockNode::ContentHash() const
{
    constexpr uint64_t k1 = 0x9E3779B97F4A7C15ULL;
    constexpr uint64_t k2 = 0xC2B2AE3D27D4EB4FULL;
    uint64_t h1 = (static_cast<uint64_t>(length) << 32 | byteSum) * k1;
    uint64_t h2 = h1 ^ k2;
    const unsigned char* p = start;
    size_t n = length;
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

void CBlockIndex::Clear()
{
    blocks_.clear();
    blocks_.shrink_to_fit();
    hashes_.clear();
    hashes_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
    distinct_ = 0;
}

void CBlockIndex::Grow()
{
    size_t capacity = slots_.empty() ? 1024 : slots_.size() * 2;
    std::vector<uint32_t> slots(capacity, 0);
    size_t mask = capacity - 1;
    for (uint32_t s : slots_) {
        if (s == 0)
            continue;
        size_t i = static_cast<size_t>(hashes_[s - 1]) & mask;
        while (slots[i] != 0)
            i = (i + 1) & mask;
        slots[i] = s;
    }
    slots_.swap(slots);
}

void CBlockIndex::Insert(const CBlockNode& block)
{
    // Keep the table at most half full so that probe runs stay short.
    if ((distinct_ + 1) * 2 > slots_.size())
        Grow();
    uint64_t h = block.ContentHash();
    blocks_.push_back(block);
    hashes_.push_back(h);
    size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    while (uint32_t s = slots_[i]) {
        // A block whose content is already indexed: the earlier one stays the answer.
        if (hashes_[s - 1] == h && blocks_[s - 1].SameContent(block))
            return;
        i = (i + 1) & mask;
    }
    slots_[i] = static_cast<uint32_t>(blocks_.size());
    ++distinct_;
}

const CBlockNode* CBlockIndex::Find(const CBlockNode& block) const
{
    if (slots_.empty())
        return nullptr;
    uint64_t h = block.ContentHash();
    size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    while (uint32_t s = slots_[i]) {
        const CBlockNode& candidate = blocks_[s - 1];
        if (hashes_[s - 1] == h && candidate.SameContent(block))
            return &candidate;
        i = (i + 1) & mask;
    }
    return nullptr;
}
