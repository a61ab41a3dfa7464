// The new file's blocks, cut by a helper thread ahead of the matching scan, and the new
// file's byte sum taken on the way.
//
// The matching scan walks the new file block by block and looks up only the blocks that
// do not start inside the previous hit; for a new file much like the old one that is a
// few blocks, and the walk itself (finding every block's end) and the sum of the file's
// bytes are most of the scan's work. A helper does both: it cuts the file in runs of
// blocks, at most a few runs ahead, and adds up the bytes of each run while they are in
// the processor's cache. The blocks come in the order and with the bounds of a cut from
// the start.
#pragma once
#include "engine/build/CutHelper.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CScanAhead : private CCutHelper {
public:
    // One block: its offset in the buffer and its length.
    struct CBounds {
        uint32_t offset;
        uint32_t length;
    };

    // Starts the helper on the buffer. Throws std::system_error when no thread can be
    // started (the caller then cuts the buffer itself).
    CScanAhead(const unsigned char* data, size_t length, unsigned char separator);
    ~CScanAhead();

    // The next run of blocks, valid until the next call; empty when every block has been
    // handed over.
    const std::vector<CBounds>& Next();
    // The byte sum of the whole buffer, once Next has come back empty.
    uint32_t Sum() const { return sum_; }

    static constexpr size_t kRunBlocks = 4096;

private:
    static constexpr size_t kRuns = 8;

    void Run();

    std::vector<CBounds> runs_[kRuns];
    uint32_t sum_ = 0;
};
