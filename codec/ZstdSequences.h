// The sequences section of a compressed block and its execution: each sequence copies
// literals, then a match from earlier output at an offset (new, or one of the three
// last offsets repeated). Its three code tables and the repeated offsets carry over
// from block to block within a frame.
#pragma once
#include "codec/Fse.h"

#include <cstddef>
#include <cstdint>

namespace codec {

// What a block's matches may copy from: size bytes of the frame's output right before
// the block's, and before those earlierSize bytes ending at earlierEnd (the prefix the
// frame continues, or its output from before the buffer started over). Matches reach
// at most window bytes back; in a block that ends within the frame's first window they
// reach into the whole prefix, which the encoder keeps in view until then.
struct ZstdHistory {
    size_t size;
    uint64_t position; // the frame's output before the block
    uint64_t window;
    const uint8_t* earlierEnd;
    size_t earlierSize;
};

class CZstdSequences {
public:
    // A new frame: the first offsets again, and no tables to repeat.
    void Reset();
    // Reads the section (the rest of a block, size bytes, padded as CBackwardBits wants)
    // and runs its sequences over the literals, writing at dst at most capacity bytes
    // (capacity <= kZstdBlockMax; up to kZstdSlack more may be touched), its matches
    // copying from history. Returns the bytes produced, or an error (ZstdIsError).
    size_t Run(const uint8_t* src, size_t size, const uint8_t* literals, size_t literalsSize, uint8_t* dst,
               size_t capacity, const ZstdHistory& history);

private:
    enum Kind { kLiteralLength, kOffset, kMatchLength };
    // Reads one code's table choice; returns the bytes it took, or size_t(-1) on damage.
    size_t ReadTable(Kind kind, unsigned mode, const uint8_t* src, size_t size);

    CFseTable own_[3];
    const CFseTable* current_[3] = {};
    uint64_t repeat_[3] = {1, 4, 8};
};

} // namespace codec
