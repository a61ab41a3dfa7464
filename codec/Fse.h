// Finite-state entropy tables: how a table is described inside a block (the probability
// of each symbol) and the decoding table built from it. Sequences use them for their
// three codes, Huffman trees for their weights.
#pragma once
#include <cstddef>
#include <cstdint>

namespace codec {

struct FseEntry {
    uint16_t baseline; // the next state, before the bits read are added
    uint8_t symbol;
    uint8_t bits; // bits to read for the next state
};

struct CFseTable {
    static constexpr unsigned kMaxLog = 9;
    unsigned log = 0;
    FseEntry entries[1u << kMaxLog];

    // One state's symbol, and the move to the next state with bits taken from read.
    template <class Bits>
    unsigned Next(unsigned state, Bits& read) const
    {
        const FseEntry& e = entries[state];
        return e.baseline + static_cast<unsigned>(read.Read(e.bits));
    }
};

// Reads a table description of at most size bytes, for symbols up to maxSymbol and an
// accuracy of at most maxLog; returns the bytes it took, or 0 when it is damaged.
size_t ReadFseTable(const uint8_t* src, size_t size, unsigned maxSymbol, unsigned maxLog, CFseTable& table);

// Builds the table for the given probabilities (-1: "less than one"); false when they do
// not add up to 2^log.
bool BuildFseTable(const int16_t* counts, unsigned symbols, unsigned log, CFseTable& table);

// The table of a single symbol repeated, which reads no bits.
void BuildRleFseTable(uint8_t symbol, CFseTable& table);

} // namespace codec
