// Cutting and hashing blocks ahead of the block index (see BlockCutter.h).
#include "engine/BlockCutter.h"

#include "engine/BlockBounds.h"

CBlockCutter::CBlockCutter(const unsigned char* data, size_t length, unsigned char separator)
    : data_(data), length_(length), separator_(separator)
{
    for (std::vector<CBlock>& run : runs_)
        run.reserve(kRunBlocks);
    helper_ = std::thread([this] { Run(); });
}

CBlockCutter::~CBlockCutter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    helper_.join();
}

void CBlockCutter::CutRun(const unsigned char* data, const unsigned char*& cursor, const unsigned char* end,
                          unsigned char separator, std::vector<CBlock>& run)
{
    run.clear();
    while (cursor < end && run.size() < kRunBlocks) {
        const unsigned char* blockEnd = blocks::BlockEnd(cursor, end, separator);
        const uint32_t length = static_cast<uint32_t>(blockEnd - cursor);
        run.push_back({static_cast<uint32_t>(cursor - data), length, blocks::BytesHash(cursor, length) >> 32});
        cursor = blockEnd;
    }
}

void CBlockCutter::Run()
{
    const unsigned char* cursor = data_;
    const unsigned char* end = data_ + length_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (cursor < end) {
        // The run in use by the caller, taken_ - 1, is never refilled.
        changed_.wait(lock, [this] { return stop_ || produced_ + 1 < taken_ + kRuns; });
        if (stop_)
            return;
        std::vector<CBlock>& run = runs_[produced_ % kRuns];
        lock.unlock();
        CutRun(data_, cursor, end, separator_, run);
        lock.lock();
        ++produced_;
        changed_.notify_all();
    }
    done_ = true;
    changed_.notify_all();
}

const std::vector<CBlockCutter::CBlock>& CBlockCutter::Next()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return produced_ > taken_ || done_; });
    if (produced_ == taken_)
        return none_;
    const std::vector<CBlock>& run = runs_[taken_++ % kRuns];
    lock.unlock();
    // The run taken before is given back: the helper may refill it.
    changed_.notify_all();
    return run;
}
