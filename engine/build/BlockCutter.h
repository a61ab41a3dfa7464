// Cutting a large buffer into blocks, and hashing them, shared between the thread that
// enters them into the block index and a helper thread.
//
// Indexing the old file of a large pair takes three steps per block: finding where it
// ends, hashing its bytes and placing it in the table. The first two need no table. The
// buffer is taken in periods of kOwnStretch + kHelperStretch bytes: the caller cuts the
// first stretch of each period itself, while the helper cuts the second, which the
// caller then takes over whole and places. Cutting and hashing cost about three times as
// much as placing, which these lengths balance.
//
// The helper cuts its stretch as if a block started at the stretch's start, which need
// not be a block boundary of the buffer. Two cuts of the same bytes that share one block
// boundary are the same from there on, so the caller uses the helper's blocks from the
// first one that starts where its own cut has come to, and cuts the blocks before that
// itself (all of the stretch, where the two cuts never meet).
#pragma once
#include "engine/build/CutHelper.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CBlockCutter : private CCutHelper {
public:
    // One block: its offset in the buffer, its length and the upper 32 bits of its hash.
    struct CBlock {
        uint32_t offset;
        uint32_t length;
        uint64_t tag;
    };

    static constexpr size_t kOwnStretch = size_t{2} << 20;
    static constexpr size_t kHelperStretch = size_t{4} << 20;

    // [begin, end) of the helper's stretch of period m, clipped to the buffer.
    static void HelperStretch(size_t length, size_t m, size_t& begin, size_t& end);

    // Starts the helper on the buffer. Throws std::system_error when no thread can be
    // started (the caller then cuts the buffer itself).
    CBlockCutter(const unsigned char* data, size_t length, unsigned char separator);
    ~CBlockCutter();

    // The blocks the helper cut in its next stretch (of periods 0, 1, 2, ... in turn), in
    // order; waits for them. Valid until the next call.
    const std::vector<CBlock>& TakeStretch();

    // Appends to out the blocks of data from cursor on (before end), cut and hashed, until
    // maxBlocks have been appended or the cursor reaches limit, and moves the cursor past
    // them. No block is started at or after limit; the last one may reach past it.
    static void CutBlocks(const unsigned char* data, const unsigned char*& cursor, const unsigned char* end,
                          const unsigned char* limit, unsigned char separator, std::vector<CBlock>& out,
                          size_t maxBlocks = SIZE_MAX);

private:
    void Run();

    // Stretch m is cut into stretches_[m % 2]; the caller's previous one is never refilled.
    std::vector<CBlock> stretches_[2];
};
