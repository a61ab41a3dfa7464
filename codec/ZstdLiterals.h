// The literals section of a compressed block: the bytes the block's sequences copy
// before their matches. Stored, one byte repeated, or Huffman-coded in one or four
// streams (with a new code or the previous block's).
#pragma once
#include "codec/Huffman.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

class CZstdLiterals {
public:
    CZstdLiterals();
    // A new frame: no code to reuse.
    void Reset() { huffman_.Forget(); }
    // Reads the section at the start of a block of size bytes (padded as CBackwardBits
    // wants); returns the bytes it took, or 0 when it is damaged.
    size_t Read(const uint8_t* src, size_t size);
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    size_t ReadCoded(const uint8_t* src, size_t size);

    CHuffmanTable huffman_;
    std::vector<uint8_t> buffer_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace codec
