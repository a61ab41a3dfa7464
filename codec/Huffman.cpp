#include "codec/Huffman.h"

#include "codec/BackwardBits.h"
#include "codec/Fse.h"

namespace codec {

namespace {

constexpr unsigned kWeightLogMax = 6;
constexpr unsigned kWeightsMax = 255; // given weights; the last symbol's is implied

// Weights coded with two interleaved FSE states over one table; returns how many, or 0.
unsigned ReadCodedWeights(const uint8_t* src, size_t size, uint8_t* weights)
{
    CFseTable table;
    const size_t head = ReadFseTable(src, size, 255, kWeightLogMax, table);
    CBackwardBits bits;
    if (head == 0 || head >= size || !bits.Init(src + head, size - head))
        return 0;
    unsigned state[2];
    state[0] = static_cast<unsigned>(bits.Read(table.log));
    state[1] = static_cast<unsigned>(bits.Read(table.log));
    unsigned n = 0;
    // The states take turns; once a state's move runs past the stream's start, the
    // other state's symbol is the last.
    for (unsigned turn = 0;; turn ^= 1) {
        if (n + 2 > kWeightsMax)
            return 0;
        weights[n++] = table.entries[state[turn]].symbol;
        state[turn] = table.Next(state[turn], bits);
        if (bits.Overflowed()) {
            weights[n++] = table.entries[state[turn ^ 1]].symbol;
            break;
        }
    }
    return n;
}

} // namespace

size_t CHuffmanTable::Read(const uint8_t* src, size_t size)
{
    maxBits_ = 0;
    if (size == 0)
        return 0;
    uint8_t weights[256];
    const unsigned head = src[0];
    unsigned count;
    size_t used;
    if (head >= 128) {
        // Four bits a weight, the first in the high half of a byte.
        count = head - 127;
        used = 1 + (count + 1) / 2;
        if (used > size)
            return 0;
        for (unsigned i = 0; i < count; ++i) {
            const uint8_t b = src[1 + i / 2];
            weights[i] = (i & 1) ? b & 15 : b >> 4;
        }
    } else {
        used = 1 + size_t{head};
        if (head == 0 || used > size)
            return 0;
        count = ReadCodedWeights(src + 1, head, weights);
        if (count == 0)
            return 0;
    }
    return Build(weights, count) ? used : 0;
}

bool CHuffmanTable::Build(uint8_t* weights, unsigned count)
{
    uint32_t total = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (weights[i] > kMaxBits)
            return false;
        total += weights[i] ? 1u << (weights[i] - 1) : 0;
    }
    if (total == 0)
        return false;
    const unsigned maxBits = HighBit(total) + 1;
    if (maxBits > kMaxBits)
        return false;
    // The last symbol's weight fills the code up to a power of two.
    const uint32_t rest = (1u << maxBits) - total;
    if ((rest & (rest - 1)) != 0)
        return false;
    weights[count++] = static_cast<uint8_t>(HighBit(rest) + 1);

    // Codes in order of weight, lightest (longest) first; in a weight, by symbol.
    unsigned start[kMaxBits + 2] = {};
    for (unsigned i = 0; i < count; ++i)
        if (weights[i])
            start[weights[i]] += 1u << (weights[i] - 1);
    unsigned pos = 0;
    for (unsigned w = 1; w <= maxBits; ++w) {
        const unsigned n = start[w];
        start[w] = pos;
        pos += n;
    }
    for (unsigned s = 0; s < count; ++s) {
        const unsigned w = weights[s];
        if (w == 0)
            continue;
        const Entry e{static_cast<uint8_t>(s), static_cast<uint8_t>(maxBits + 1 - w)};
        for (unsigned i = 0; i < (1u << (w - 1)); ++i)
            entries_[start[w]++] = e;
    }
    maxBits_ = maxBits;
    return true;
}

bool CHuffmanTable::DecodeStream(const uint8_t* src, size_t size, uint8_t* out, size_t count) const
{
    CBackwardBits bits;
    if (!Ready() || !bits.Init(src, size))
        return false;
    const unsigned maxBits = maxBits_;
    for (size_t i = 0; i < count; ++i) {
        const Entry e = entries_[bits.Peek(maxBits)];
        out[i] = e.symbol;
        bits.Skip(e.bits);
    }
    return bits.Finished();
}

bool CHuffmanTable::DecodeFourStreams(const uint8_t* const src[4], const size_t size[4], uint8_t* out, size_t quarter,
                                      size_t count) const
{
    CBackwardBits bits[4];
    for (int i = 0; i < 4; ++i)
        if (!Ready() || !bits[i].Init(src[i], size[i]))
            return false;
    const unsigned maxBits = maxBits_;
    const size_t lastCount = count - 3 * quarter;
    // The streams are independent, so decoding them in turns keeps the processor busy.
    auto decodeOne = [&](int i, size_t k) {
        const Entry e = entries_[bits[i].Peek(maxBits)];
        out[i * quarter + k] = e.symbol;
        bits[i].Skip(e.bits);
    };
    size_t k = 0;
    for (; k < lastCount; ++k)
        for (int i = 0; i < 4; ++i)
            decodeOne(i, k);
    for (; k < quarter; ++k)
        for (int i = 0; i < 3; ++i)
            decodeOne(i, k);
    return bits[0].Finished() && bits[1].Finished() && bits[2].Finished() && bits[3].Finished();
}

} // namespace codec
