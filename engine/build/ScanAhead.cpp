// Cutting the new file and summing its bytes ahead of the matching scan (see
// ScanAhead.h).
#include "engine/build/ScanAhead.h"

#include "engine/build/BlockBounds.h"
#include "engine/common/CFilePatch.h"

CScanAhead::CScanAhead(const unsigned char* data, size_t length, unsigned char separator)
    : CCutHelper(data, length, separator)
{
    for (std::vector<CBounds>& run : runs_)
        run.reserve(kRunBlocks);
    Start([this] { Run(); });
}

CScanAhead::~CScanAhead()
{
    Stop();
}

void CScanAhead::Run()
{
    const unsigned char* cursor = data_;
    const unsigned char* end = data_ + length_;
    uint32_t sum = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (cursor < end) {
        // The run in use by the caller, taken_ - 1, is never refilled.
        changed_.wait(lock, [this] { return stop_ || produced_ + 1 < taken_ + kRuns; });
        if (stop_)
            return;
        std::vector<CBounds>& run = runs_[produced_ % kRuns];
        lock.unlock();
        run.clear();
        const unsigned char* first = cursor;
        while (cursor < end && run.size() < kRunBlocks) {
            const unsigned char* blockEnd = blocks::BlockEnd(cursor, end, separator_);
            run.push_back({static_cast<uint32_t>(cursor - data_), static_cast<uint32_t>(blockEnd - cursor)});
            cursor = blockEnd;
        }
        sum += ByteSum(first, static_cast<size_t>(cursor - first));
        HandOver(lock);
    }
    sum_ = sum;
    done_ = true;
    changed_.notify_all();
}

const std::vector<CScanAhead::CBounds>& CScanAhead::Next()
{
    return TakeNext(runs_);
}
