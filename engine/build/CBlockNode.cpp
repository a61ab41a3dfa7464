// Content-defined blocks and the index of the old file's blocks.
#include "engine/common/CBlockNode.h"

#include "engine/build/BlockBounds.h"
#include "engine/build/BlockCutter.h"
#include "engine/common/CFilePatch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <system_error>

namespace {

using blocks::BlockEnd;
using blocks::BytesHash;
using blocks::HashBytes;

// Buffers from this length on are cut and hashed by two threads while they are indexed
// (see BlockCutter.h).
constexpr size_t kCutAheadFrom = size_t{4} << 20;

// The home slot of a tag in a table of any size.
inline size_t Home(uint64_t tag, size_t capacity)
{
    return static_cast<size_t>((tag * static_cast<uint64_t>(capacity)) >> 32);
}

} // namespace

CBlockNode CBlockIndex::CutAt(uint32_t offset) const
{
    CBlockNode block;
    const unsigned char* end = cutData_ + cutLength_;
    block.start = cutData_ + offset;
    block.length = static_cast<uint32_t>(BlockEnd(block.start, end, cutSeparator_) - block.start);
    block.byteSum = ByteSum(block.start, block.length);
    return block;
}

void CBlockIndex::BuildCut(const unsigned char* data, size_t length, unsigned char separator, size_t maxBlocks)
{
    cutData_ = data;
    cutLength_ = length;
    cutSeparator_ = separator;
    const unsigned char* end = data + length;
    if (length == 0)
        return;
    // A large buffer is cut and hashed in turns by a helper and this thread, which places
    // all blocks.
    std::optional<CBlockCutter> cutter;
    if (length >= kCutAheadFrom) {
        try {
            cutter.emplace(data, length, separator);
        } catch (const std::system_error&) {
            // No helper: this thread cuts the buffer itself.
        }
    }
    // The table is at most two thirds full: sized by the bound given, or else by the
    // number of blocks, counted first. Every block is at least kMinLength bytes long
    // except the last.
    size_t bound = length / CBlockNode::kMinLength + 1;
    if (maxBlocks > 0) {
        bound = std::min(bound, maxBlocks);
    } else {
        bound = 0;
        for (const unsigned char* c = data; c < end; c = BlockEnd(c, end, separator))
            ++bound;
    }
    const size_t capacity = bound + bound / 2 + 1;
    cutSlots_.assign(capacity, 0);

    size_t placed = 0;
    auto place = [&](uint32_t offset, uint32_t blockLength, uint64_t tag) {
        ++placed;
        size_t i = Home(tag, capacity);
        while (uint64_t entry = cutSlots_[i]) {
            // A block whose content is already indexed: the earlier one stays the answer.
            if ((entry >> 32) == tag) {
                CBlockNode earlier = CutAt(static_cast<uint32_t>(entry) - 1);
                if (earlier.length == blockLength && std::memcmp(earlier.start, data + offset, blockLength) == 0)
                    return;
            }
            if (++i == capacity)
                i = 0;
        }
        cutSlots_[i] = tag << 32 | (static_cast<uint64_t>(offset) + 1);
    };
    // More blocks than the bound promised would overfill the table: they are counted
    // and the index made again.
    auto overfull = [&] {
        if (placed < bound)
            return false;
        cutter.reset();
        BuildCut(data, length, separator, 0);
        return true;
    };

    // Blocks are placed a run at a time; the home slots of the next kAhead blocks of a
    // run are requested from memory before each block is placed. False when the table
    // was overfull and the index has been made again.
    using CBlock = CBlockCutter::CBlock;
    constexpr size_t kRunBlocks = 4096;
    auto placeRun = [&](const CBlock* run, size_t count) {
        constexpr size_t kAhead = 16;
        for (size_t i = 0; i < count && i < kAhead; ++i)
            __builtin_prefetch(&cutSlots_[Home(run[i].tag, capacity)], 1);
        for (size_t i = 0; i < count; ++i) {
            if (i + kAhead < count)
                __builtin_prefetch(&cutSlots_[Home(run[i + kAhead].tag, capacity)], 1);
            if (overfull())
                return false;
            place(run[i].offset, run[i].length, run[i].tag);
        }
        return true;
    };

    // This thread's cut, from where it has come to until no block starts before limit.
    const unsigned char* cursor = data;
    std::vector<CBlock> run;
    run.reserve(std::min(bound, kRunBlocks));
    auto cutUpTo = [&](const unsigned char* limit) {
        while (cursor < limit) {
            run.clear();
            CBlockCutter::CutBlocks(data, cursor, end, limit, separator, run, kRunBlocks);
            if (!placeRun(run.data(), run.size()))
                return false;
        }
        return true;
    };
    if (!cutter && !cutUpTo(end))
        return;
    for (size_t m = 0; cutter; ++m) {
        size_t begin = 0;
        size_t stop = 0;
        CBlockCutter::HelperStretch(length, m, begin, stop);
        if (!cutUpTo(data + begin))
            return;
        if (begin >= length)
            break;
        // The helper's blocks before this thread's cursor are skipped; where this
        // thread's next block starts before the helper's next one, this thread cuts it
        // itself. Once a helper block starts at the cursor, the two cuts are the same
        // from there on, and the rest of the stretch is the helper's.
        const std::vector<CBlock>& given = cutter->TakeStretch();
        size_t i = 0;
        bool joined = false;
        while (!joined && i < given.size()) {
            const uint64_t at = static_cast<uint64_t>(cursor - data);
            if (given[i].offset < at) {
                ++i;
            } else if (given[i].offset == at) {
                joined = true;
            } else if (!cutUpTo(data + given[i].offset)) {
                return;
            }
        }
        if (joined) {
            if (!placeRun(given.data() + i, given.size() - i))
                return;
            cursor = data + given.back().offset + given.back().length;
        }
        // Without a meeting, this thread has cut the stretch up to the helper's last
        // block and cuts the rest of it.
        if (!cutUpTo(data + stop))
            return;
    }
    cutBlocks_ = placed;
}

bool CBlockNode::Cut(const unsigned char*& cursor, const unsigned char* end, unsigned char sep)
{
    if (cursor >= end)
        return false;
    // The block ends before the first separator at least kMinLength bytes on that is
    // followed by a different byte; a separator in the last position has no follower.
    const unsigned char* blockEnd = BlockEnd(cursor, end, sep);
    start = cursor;
    length = static_cast<uint32_t>(blockEnd - cursor);
    byteSum = ByteSum(cursor, length);
    cursor = blockEnd;
    return true;
}

bool CBlockNode::CutBounds(const unsigned char*& cursor, const unsigned char* end, unsigned char sep)
{
    if (cursor >= end)
        return false;
    const unsigned char* blockEnd = BlockEnd(cursor, end, sep);
    start = cursor;
    length = static_cast<uint32_t>(blockEnd - cursor);
    byteSum = 0;
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
    return HashBytes(static_cast<uint64_t>(length) << 32 | byteSum, start, length);
}

void CBlockIndex::Clear()
{
    std::vector<CBlockNode>().swap(blocks_);
    std::vector<uint64_t>().swap(slots_);
    shift_ = 32;
    distinct_ = 0;
    std::vector<uint64_t>().swap(cutSlots_);
    cutData_ = nullptr;
    cutLength_ = 0;
    cutBlocks_ = 0;
}

void CBlockIndex::Grow(size_t capacity)
{
    unsigned bits = static_cast<unsigned>(std::countr_zero(capacity));
    std::vector<uint64_t> slots(capacity, 0);
    unsigned shift = 32 - bits;
    size_t mask = capacity - 1;
    for (uint64_t entry : slots_) {
        if (entry == 0)
            continue;
        size_t i = static_cast<size_t>(entry >> 32) >> shift;
        while (slots[i] != 0)
            i = (i + 1) & mask;
        slots[i] = entry;
    }
    slots_.swap(slots);
    shift_ = shift;
}

void CBlockIndex::Reserve(size_t blocks)
{
    size_t capacity = slots_.empty() ? 1024 : slots_.size();
    while (capacity < 2 * blocks)
        capacity *= 2;
    if (capacity > slots_.size())
        Grow(capacity);
    blocks_.reserve(blocks);
}

void CBlockIndex::Place(size_t index, uint64_t tag)
{
    const CBlockNode& block = blocks_[index];
    size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(tag) >> shift_;
    while (uint64_t entry = slots_[i]) {
        // A block whose content is already indexed: the earlier one stays the answer.
        if ((entry >> 32) == tag && blocks_[static_cast<uint32_t>(entry) - 1].SameContent(block))
            return;
        i = (i + 1) & mask;
    }
    slots_[i] = tag << 32 | (index + 1);
    ++distinct_;
}

void CBlockIndex::Insert(const CBlockNode& block)
{
    if ((distinct_ + 1) * 2 > slots_.size())
        Grow(slots_.empty() ? 1024 : slots_.size() * 2);
    blocks_.push_back(block);
    Place(blocks_.size() - 1, block.ContentHash() >> 32);
}

void CBlockIndex::Build(const unsigned char* data, size_t length, unsigned char separator, size_t maxBlocks)
{
    if (Empty()) {
        BuildCut(data, length, separator, maxBlocks);
        return;
    }
    size_t first = blocks_.size();
    CBlockNode block;
    const unsigned char* cursor = data;
    const unsigned char* end = data + length;
    while (block.Cut(cursor, end, separator))
        blocks_.push_back(block);
    size_t count = blocks_.size() - first;
    if (count == 0)
        return;
    Reserve(distinct_ + count);

    // The tags of the next kAhead blocks are known, and their home slots requested,
    // before each block is placed.
    constexpr size_t kAhead = 16;
    uint64_t tags[kAhead];
    auto request = [&](size_t index) {
        uint64_t tag = blocks_[index].ContentHash() >> 32;
        tags[index % kAhead] = tag;
        __builtin_prefetch(&slots_[static_cast<size_t>(tag) >> shift_], 1);
    };
    size_t total = blocks_.size();
    for (size_t i = first; i < total && i < first + kAhead; ++i)
        request(i);
    for (size_t i = first; i < total; ++i) {
        uint64_t tag = tags[i % kAhead];
        if (i + kAhead < total)
            request(i + kAhead);
        Place(i, tag);
    }
}

const CBlockNode* CBlockIndex::Find(const CBlockNode& block) const
{
    if (!cutSlots_.empty()) {
        const uint64_t tag = BytesHash(block.start, block.length) >> 32;
        const size_t capacity = cutSlots_.size();
        size_t i = Home(tag, capacity);
        while (uint64_t entry = cutSlots_[i]) {
            if ((entry >> 32) == tag) {
                found_ = CutAt(static_cast<uint32_t>(entry) - 1);
                if (found_.length == block.length && std::memcmp(found_.start, block.start, block.length) == 0)
                    return &found_;
            }
            if (++i == capacity)
                i = 0;
        }
    }
    if (slots_.empty())
        return nullptr;
    uint64_t tag = block.ContentHash() >> 32;
    size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(tag) >> shift_;
    while (uint64_t entry = slots_[i]) {
        if ((entry >> 32) == tag) {
            const CBlockNode& candidate = blocks_[static_cast<uint32_t>(entry) - 1];
            if (candidate.SameContent(block))
                return &candidate;
        }
        i = (i + 1) & mask;
    }
    return nullptr;
}
