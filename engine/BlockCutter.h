// Cutting a large buffer into blocks, and hashing them, in a helper thread ahead of the
// thread that enters them into the block index.
//
// Indexing the old file of a large pair takes three steps per block: finding where it
// ends, hashing its bytes and placing it in the table. The first two need no table; a
// helper does them and hands the blocks over a run at a time, at most a few runs ahead,
// while the index counts the blocks (which sizes its table) and then only places them.
// The blocks come in the order and with the bounds and hashes of a cut from the start.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CBlockCutter {
public:
    // One block: its offset in the buffer, its length and the upper 32 bits of its hash.
    struct CBlock {
        uint32_t offset;
        uint32_t length;
        uint64_t tag;
    };

    // Starts the helper on the buffer. Throws std::system_error when no thread can be
    // started (the caller then cuts the buffer itself).
    CBlockCutter(const unsigned char* data, size_t length, unsigned char separator);
    ~CBlockCutter();
    CBlockCutter(const CBlockCutter&) = delete;
    CBlockCutter& operator=(const CBlockCutter&) = delete;

    // The next run of blocks, valid until the next call; empty when every block has been
    // handed over.
    const std::vector<CBlock>& Next();

    // Blocks handed over at a time.
    static constexpr size_t kRunBlocks = 4096;
    // Cuts the next run of at most kRunBlocks blocks of data at cursor (before end) into
    // run, and moves the cursor past them: the step the helper takes, and the one a
    // caller without a helper takes itself.
    static void CutRun(const unsigned char* data, const unsigned char*& cursor, const unsigned char* end,
                       unsigned char separator, std::vector<CBlock>& run);

private:
    static constexpr size_t kRuns = 8;

    void Run();

    const unsigned char* data_;
    size_t length_;
    unsigned char separator_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CBlock> runs_[kRuns];
    size_t produced_ = 0; // runs the helper has filled
    size_t taken_ = 0;    // runs the caller has taken (the last of them is in use)
    bool done_ = false;
    bool stop_ = false;
    const std::vector<CBlock> none_;
    std::thread helper_;
};
