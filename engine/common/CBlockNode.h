// One content-defined block of a file, and the block index of the old file.
//
// The index answers the question "which is the earliest block of the old file with
// exactly this content?" A hash table keyed by the block's content (byte sum, length
// and a content hash, confirmed byte by byte) answers it in constant expected time,
// however many blocks share a byte sum.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class CBlockNode {
public:
    static constexpr uint32_t kMinLength = 50;

    const unsigned char* start = nullptr;
    uint32_t length = kMinLength;
    uint32_t byteSum = 0;

    // Fills the node with the next block at cursor (before end), cut after the first
    // separator byte at least 50 bytes on that is followed by another byte value, and
    // moves the cursor past it. False when the cursor is already at the end.
    bool Cut(const unsigned char*& cursor, const unsigned char* end, unsigned char separator);
    // The same cut without the byte sum (left 0): enough to look the block up in an
    // index that Build made, which compares bytes, not sums.
    bool CutBounds(const unsigned char*& cursor, const unsigned char* end, unsigned char separator);
    // Equal byte sum, equal length and equal bytes.
    bool SameContent(const CBlockNode& other) const;
    // A hash of the block's bytes, length and byte sum.
    uint64_t ContentHash() const;
};

class CBlockIndex {
public:
    void Clear();
    bool Empty() const { return Size() == 0; }
    size_t Size() const { return blocks_.size() + cutBlocks_; }
    // Adds a block of the old file; a block whose content is already indexed keeps the
    // earlier one.
    void Insert(const CBlockNode& block);
    // The earliest indexed block with the same content, or nullptr. The block pointed
    // to may be overwritten by the next Find.
    const CBlockNode* Find(const CBlockNode& block) const;
    // Makes room for the given number of blocks, so that inserting them never grows
    // the table.
    void Reserve(size_t blocks);
    // Indexes all blocks of a buffer, cut from its start with the separator: the same
    // result as inserting them one by one, but the table slots are fetched from memory
    // some blocks ahead, which matters once the table outgrows the caches. On an empty
    // index the blocks are not kept one by one: a slot holds the block's offset, and its
    // length is found again by cutting there when a lookup meets it, which takes the
    // index of a large file from about 34 to 12 bytes per block. maxBlocks, when not 0,
    // bounds the number of blocks (every block but the first starts with a separator
    // byte, so the separator's occurrences plus one is such a bound); the table is then
    // sized by it instead of by counting the blocks first.
    void Build(const unsigned char* data, size_t length, unsigned char separator, size_t maxBlocks = 0);

private:
    void Grow(size_t capacity);
    // Enters blocks_[index] (already appended) with its tag, unless an earlier block has
    // the same content.
    void Place(size_t index, uint64_t tag);

    // Every inserted block, in insertion order.
    std::vector<CBlockNode> blocks_;
    // Open-addressing table, a power of two in size and at most half full. A slot is 0
    // when empty, else the upper 32 bits of the content hash (the tag, whose top bits
    // also give the home slot) above 1 + the index into blocks_ of the first block of
    // one content, so a probe reads only the table until a tag matches.
    std::vector<uint64_t> slots_;
    unsigned shift_ = 32;
    size_t distinct_ = 0;

    // The index of one buffer made by Build: slots hold the tag (a hash of the block's
    // bytes) above 1 + the block's offset; a slot's home is the tag scaled to the table
    // size, which need not be a power of two.
    void BuildCut(const unsigned char* data, size_t length, unsigned char separator, size_t maxBlocks);
    CBlockNode CutAt(uint32_t offset) const;
    const unsigned char* cutData_ = nullptr;
    size_t cutLength_ = 0;
    unsigned char cutSeparator_ = 0;
    size_t cutBlocks_ = 0;
    std::vector<uint64_t> cutSlots_;
    mutable CBlockNode found_;
};
