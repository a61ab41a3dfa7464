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
    // Equal byte sum, equal length and equal bytes.
    bool SameContent(const CBlockNode& other) const;
    // A hash of the block's bytes, length and byte sum.
    uint64_t ContentHash() const;
};

class CBlockIndex {
public:
    void Clear();
    bool Empty() const { return blocks_.empty(); }
    size_t Size() const { return blocks_.size(); }
    // Adds a block of the old file; a block whose content is already indexed keeps the
    // earlier one.
    void Insert(const CBlockNode& block);
    // The earliest indexed block with the same content, or nullptr.
    const CBlockNode* Find(const CBlockNode& block) const;

private:
    void Grow();

    // Every inserted block in insertion order, with its content hash.
    std::vector<CBlockNode> blocks_;
    std::vector<uint64_t> hashes_;
    // Open-addressing table (a power of two in size, at most half full): 0 for an empty
    // slot, else 1 + the index into blocks_ of the first block of one content.
    std::vector<uint32_t> slots_;
    size_t distinct_ = 0;
};
