// Cutting and hashing blocks beside the block index (see BlockCutter.h).
#include "engine/build/BlockCutter.h"

#include "engine/build/BlockBounds.h"

#include <algorithm>

void CBlockCutter::HelperStretch(size_t length, size_t m, size_t& begin, size_t& end)
{
    begin = std::min(length, m * (kOwnStretch + kHelperStretch) + kOwnStretch);
    end = std::min(length, begin + kHelperStretch);
}

CBlockCutter::CBlockCutter(const unsigned char* data, size_t length, unsigned char separator)
    : CCutHelper(data, length, separator)
{
    Start([this] { Run(); });
}

CBlockCutter::~CBlockCutter()
{
    Stop();
}

void CBlockCutter::CutBlocks(const unsigned char* data, const unsigned char*& cursor, const unsigned char* end,
                             const unsigned char* limit, unsigned char separator, std::vector<CBlock>& out,
                             size_t maxBlocks)
{
    for (size_t n = 0; cursor < limit && n < maxBlocks; ++n) {
        const unsigned char* blockEnd = blocks::BlockEnd(cursor, end, separator);
        const uint32_t length = static_cast<uint32_t>(blockEnd - cursor);
        out.push_back({static_cast<uint32_t>(cursor - data), length, blocks::BytesHash(cursor, length) >> 32});
        cursor = blockEnd;
    }
}

void CBlockCutter::Run()
{
    const unsigned char* end = data_ + length_;
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t m = 0;; ++m) {
        size_t begin = 0;
        size_t stop = 0;
        HelperStretch(length_, m, begin, stop);
        if (begin >= length_)
            break;
        // Stretch m goes where stretch m - 2 was, which the caller is done with once it
        // has taken stretch m - 1.
        changed_.wait(lock, [&] { return stop_ || m < 2 || taken_ >= m; });
        if (stop_)
            return;
        std::vector<CBlock>& out = stretches_[m % 2];
        lock.unlock();
        out.clear();
        const unsigned char* cursor = data_ + begin;
        CutBlocks(data_, cursor, end, data_ + stop, separator_, out);
        HandOver(lock);
    }
    done_ = true;
    changed_.notify_all();
}

const std::vector<CBlockCutter::CBlock>& CBlockCutter::TakeStretch()
{
    return TakeNext(stretches_);
}
