// The Huffman code of a block's literals: read from its tree description (the weight of
// every symbol, given directly or FSE-coded), then used to decode literal streams. A
// block may reuse the previous block's code, so the table outlives a block.
#pragma once
#include <cstddef>
#include <cstdint>

namespace codec {

class CHuffmanTable {
public:
    static constexpr unsigned kMaxBits = 12;

    // Reads a tree description from at most size bytes; returns the bytes it took, or 0
    // when it is damaged (and the table is then unusable).
    size_t Read(const uint8_t* src, size_t size);
    bool Ready() const { return maxBits_ > 0; }
    void Forget() { maxBits_ = 0; }
    // Decodes count literals from one stream that must be used up exactly.
    bool DecodeStream(const uint8_t* src, size_t size, uint8_t* out, size_t count) const;
    // Decodes four streams at once, each but the last into quarter literals and the last
    // into the rest of count, one after the other in out.
    bool DecodeFourStreams(const uint8_t* const src[4], const size_t size[4], uint8_t* out, size_t quarter,
                           size_t count) const;

private:
    bool Build(uint8_t* weights, unsigned count);

    struct Entry {
        uint8_t symbol;
        uint8_t bits;
    };
    unsigned maxBits_ = 0;
    Entry entries_[1u << kMaxBits];
};

} // namespace codec
