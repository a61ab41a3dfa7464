// The reader of the bit streams inside compressed blocks (Huffman-coded literals, the
// weights of a Huffman tree, sequences). Such a stream is written forwards and read
// backwards: reading starts at the highest set bit of its last byte, which only marks
// where the stream begins, and moves towards its first byte. Reads past the first byte
// give zero bits and leave the reader overflowed, which the callers treat as damage.
#pragma once
#include "codec/ZstdFormat.h"

namespace codec {

class CBackwardBits {
public:
    // The stream is data[0, size); data[size, size + 8) must be readable too (the
    // decoder's buffers are padded). False when the stream is empty or unmarked.
    bool Init(const uint8_t* data, size_t size)
    {
        if (size == 0 || data[size - 1] == 0)
            return false;
        data_ = data;
        pos_ = static_cast<int64_t>(size - 1) * 8 + HighBit(data[size - 1]);
        return true;
    }
    // The next n bits (n <= 56) without moving past them.
    uint64_t Peek(unsigned n) const
    {
        const int64_t p = pos_ - n;
        if (p >= 0)
            return (Load64(data_ + (p >> 3)) >> (p & 7)) & Mask(n);
        if (pos_ <= 0)
            return 0;
        return (Load64(data_) & Mask(static_cast<unsigned>(pos_))) << -p;
    }
    void Skip(unsigned n) { pos_ -= n; }
    uint64_t Read(unsigned n)
    {
        const uint64_t v = Peek(n);
        pos_ -= n;
        return v;
    }
    bool Overflowed() const { return pos_ < 0; }
    // Every bit of the stream read, and no more.
    bool Finished() const { return pos_ == 0; }

private:
    static uint64_t Mask(unsigned n) { return (uint64_t{1} << n) - 1; }

    const uint8_t* data_ = nullptr;
    int64_t pos_ = 0; // bits of the stream not yet read
};

} // namespace codec
