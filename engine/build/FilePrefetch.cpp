// Reading ahead for a build of many files (see FilePrefetch.h).
#include "engine/build/FilePrefetch.h"

#include "engine/build/InputFile.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace {

// How far ahead the helpers read: a number of items and the bytes they may hold. Few
// bytes ahead keep the same memory in use, rather than fresh pages for every file. A
// helper hands the items it has read over in batches, so that the build is woken once
// per batch rather than once per file, unless it waits for one of them. A helper claims
// a few items at a time: with one at a time, the two helpers and the build contended for
// the lock at every file (100,000 small files: 7 % of the build's time).
constexpr size_t kAheadItems = 256;
constexpr size_t kBatchItems = 32;
constexpr size_t kAheadBytes = size_t{4} << 20;
constexpr size_t kClaimItems = 4;

size_t HeldBytes(const CPrefetchedPair* pair)
{
    return pair ? pair->oldFile.content.size() + pair->newFile.content.size() : 0;
}

enum class Found { Read, Missing, Other };

// Opens and reads one file of a pair: Read when it is a regular file shorter than the
// length a build maps and was read whole, Missing when nothing is at the name, Other for
// everything the build itself should look at (a large file, a folder, a read error).
Found ReadSmallFile(const std::string& path, CPrefetchedFile& file)
{
    CInputFile input;
    if (!input.Open(path, file.times))
        return input.Missing() ? Found::Missing : Found::Other;
    if (input.Length() >= CFileContent::kMapFrom)
        return Found::Other;
    file.present = true;
    file.length = static_cast<uint32_t>(input.Length());
    return file.content.Load(input.Fd(), file.length) == CFileContent::LoadResult::Ok ? Found::Read : Found::Other;
}

} // namespace

std::unique_ptr<CPrefetchedPair> CFilePrefetch::ReadPair(const std::string& oldPath, const std::string& newPath)
{
    auto pair = std::make_unique<CPrefetchedPair>();
    if (ReadSmallFile(newPath, pair->newFile) != Found::Read)
        return nullptr;
    switch (ReadSmallFile(oldPath, pair->oldFile)) {
    case Found::Read:
        return pair;
    case Found::Missing:
        return pair; // no old file: the new file is a new one
    case Found::Other:
        break;
    }
    return nullptr;
}

CFilePrefetch::CFilePrefetch(size_t count, PairOf pairOf) : count_(count), pairOf_(std::move(pairOf))
{
    if (count_ < 2)
        return;
    const unsigned processors = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    try {
        for (unsigned i = 0; i < processors; ++i)
            helpers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer helpers (or none): the build reads what they do not.
    }
}

CFilePrefetch::~CFilePrefetch()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    room_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

void CFilePrefetch::Work()
{
    std::vector<std::pair<size_t, std::unique_ptr<CPrefetchedPair>>> batch;
    size_t justRead = 0; // bytes of the items read last, not yet counted
    for (;;) {
        size_t item = 0;
        size_t claimed = 0;
        bool wake = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            heldBytes_ += justRead;
            justRead = 0;
            auto room = [this] {
                return nextClaim_ < count_ && nextClaim_ < wanted_ + kAheadItems && heldBytes_ < kAheadBytes;
            };
            bool waitedFor = false;
            for (const auto& entry : batch)
                waitedFor = waitedFor || (buildWaiting_ && entry.first == wanted_);
            if (!batch.empty() && (batch.size() >= kBatchItems || waitedFor || stop_ || !room())) {
                for (auto& entry : batch)
                    ready_[entry.first] = std::move(entry.second);
                batch.clear();
                wake = buildWaiting_;
            }
            if (wake)
                readyCv_.notify_one();
            ++idleHelpers_;
            room_.wait(lock, [&] { return stop_ || room(); });
            --idleHelpers_;
            if (stop_)
                return;
            item = nextClaim_;
            claimed = std::min<size_t>({kClaimItems, count_ - nextClaim_, wanted_ + kAheadItems - nextClaim_});
            nextClaim_ += claimed;
        }
        for (size_t k = 0; k < claimed; ++k) {
            std::unique_ptr<CPrefetchedPair> pair;
            std::string oldPath;
            std::string newPath;
            try {
                if (pairOf_(item + k, oldPath, newPath))
                    pair = ReadPair(oldPath, newPath);
            } catch (const std::bad_alloc&) {
                pair = nullptr; // left to the build, which reports what memory it lacks
            }
            justRead += HeldBytes(pair.get());
            batch.emplace_back(item + k, std::move(pair));
        }
    }
}

std::unique_ptr<CPrefetchedPair> CFilePrefetch::Take(size_t index)
{
    if (helpers_.empty())
        return nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    // Items before this one will not be asked for.
    for (auto it = ready_.begin(); it != ready_.end() && it->first < index;) {
        heldBytes_ -= HeldBytes(it->second.get());
        it = ready_.erase(it);
    }
    wanted_ = index;
    std::unique_ptr<CPrefetchedPair> pair;
    if (index >= nextClaim_) {
        // The helpers are behind: the build reads this item itself, they go on after it.
        nextClaim_ = index + 1;
    } else {
        buildWaiting_ = true;
        readyCv_.wait(lock, [&] { return ready_.count(index) != 0; });
        buildWaiting_ = false;
        auto it = ready_.find(index);
        pair = std::move(it->second);
        heldBytes_ -= HeldBytes(pair.get());
        ready_.erase(it);
    }
    // A helper that waits for room may go on.
    const bool wake = idleHelpers_ > 0;
    lock.unlock();
    if (wake)
        room_.notify_all();
    return pair;
}
