#include "engine/build/CompactMatcher.h"

#include <divsufsort.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <system_error>

namespace {

// A jump to a new match pays off once it agrees in this many more bytes than going on
// with the current old offset would. Each jump costs a step in the controls and starts
// a new run of differences; 24 keeps the patches of JavaScript bundles (identifiers
// renamed in thousands of places) a sixth smaller than 8 does, and those of native
// binaries within 7 % of it.
constexpr int64_t kBetterBy = 24;
constexpr size_t kProgressEvery = size_t{1} << 20;
// New files from this length on are matched in two halves at once.
constexpr size_t kSplitMatching = size_t{1} << 20;

// Asks for the cache line at p ahead of its use. (GCC drops __builtin_prefetch from the
// suffix search below, so x86 gets the instruction itself.)
inline void PrefetchLine(const void* p)
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
}

size_t CommonLength(const unsigned char* a, size_t aLength, const unsigned char* b, size_t bLength)
{
    const size_t n = std::min(aLength, bLength);
    size_t i = 0;
    while (i + 8 <= n) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return i + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
        i += 8;
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// The longest prefix of `want` that occurs in the old file, and where: the suffixes next
// to where `want` would be sorted in are the ones that share the most with it. The
// search starts among the suffixes that begin with want's first two bytes, found in a
// table: a handful of steps instead of one per halving of the whole array, each of them
// a cache miss.
class CSuffixSearch {
public:
    CSuffixSearch(const unsigned char* old, size_t length)
        : old_(old), length_(length), sa_(length), firstWith_(length > 0 ? kPairs + 1 : 0)
    {
        if (length == 0)
            return;
        divsufsort(old, sa_.data(), static_cast<saidx_t>(length));
        // firstWith_[k]: the first suffix whose first two bytes are k or more (a suffix
        // of one byte x sorts before every "x\0...", so it counts as the pair x, 0).
        size_t next = 0;
        for (size_t i = 0; i < length; ++i) {
            const size_t from = static_cast<size_t>(sa_[i]);
            const size_t pair = size_t{old[from]} << 8 | (from + 1 < length ? old[from + 1] : 0u);
            while (next <= pair)
                firstWith_[next++] = static_cast<saidx_t>(i);
        }
        while (next <= kPairs)
            firstWith_[next++] = static_cast<saidx_t>(length);
    }

    size_t Longest(const unsigned char* want, size_t wantLength, size_t& at) const
    {
        at = 0;
        if (length_ == 0 || wantLength == 0)
            return 0;
        size_t lo = 0, hi = length_; // the answer lies in [lo, hi)
        if (wantLength >= 2) {
            const size_t pair = size_t{want[0]} << 8 | want[1];
            const size_t first = static_cast<size_t>(firstWith_[pair]);
            const size_t end = static_cast<size_t>(firstWith_[pair + 1]);
            if (first < end) {
                lo = first;
                hi = end;
            }
        }
        size_t loCommon = 0, hiCommon = 0;
        while (hi - lo > 1) {
            const size_t mid = lo + (hi - lo) / 2;
            Prefetch(lo, mid, hi);
            const size_t from = static_cast<size_t>(sa_[mid]);
            // Both neighbours share min(loCommon, hiCommon) bytes with want already.
            const size_t skip = std::min(loCommon, hiCommon);
            const size_t common =
                skip + CommonLength(old_ + from + skip, length_ - from - skip, want + skip, wantLength - skip);
            const bool oldSmaller = common == wantLength ? false
                                    : from + common == length_ ? true
                                                                : old_[from + common] < want[common];
            if (common == wantLength) {
                at = from;
                return common;
            }
            if (oldSmaller) {
                lo = mid;
                loCommon = common;
            } else {
                hi = mid;
                hiCommon = common;
            }
        }
        const size_t loFrom = static_cast<size_t>(sa_[lo]);
        const size_t loLength = CommonLength(old_ + loFrom, length_ - loFrom, want, wantLength);
        size_t best = loLength;
        at = loFrom;
        if (hi < length_) {
            const size_t hiFrom = static_cast<size_t>(sa_[hi]);
            const size_t hiLength = CommonLength(old_ + hiFrom, length_ - hiFrom, want, wantLength);
            if (hiLength > best) {
                best = hiLength;
                at = hiFrom;
            }
        }
        return best;
    }

private:
    // Each halving waits for two cache misses, the array entry and the old bytes it
    // points to. Asked for ahead, both of the next halving's possible entries' old
    // bytes and the four possible entries after it are on their way while this one is
    // compared.
    void Prefetch(size_t lo, size_t mid, size_t hi) const
    {
        const saidx_t* sa = sa_.data();
        const size_t below = lo + (mid - lo) / 2, above = mid + (hi - mid) / 2;
        PrefetchLine(old_ + sa[below]);
        PrefetchLine(old_ + sa[above]);
        PrefetchLine(sa + lo + (below - lo) / 2);
        PrefetchLine(sa + below + (mid - below) / 2);
        PrefetchLine(sa + mid + (above - mid) / 2);
        PrefetchLine(sa + above + (hi - above) / 2);
    }

    static constexpr size_t kPairs = 65536;
    const unsigned char* old_;
    size_t length_;
    std::vector<saidx_t> sa_;
    std::vector<saidx_t> firstWith_;
};

// Collects the steps, folding one that writes nothing into the next one's move.
class CStepWriter {
public:
    CStepWriter(const unsigned char* oldData, const unsigned char* newData, CCompactRaw& raw)
        : old_(oldData), new_(newData), raw_(raw)
    {
    }
    // Copy `copy` bytes of old from oldFrom to new at newFrom, then `literal` bytes.
    void Step(size_t oldFrom, size_t newFrom, size_t copy, size_t literal)
    {
        if (copy + literal == 0)
            return;
        CCompactStep step;
        step.copy = static_cast<uint32_t>(copy);
        step.literal = static_cast<uint32_t>(literal);
        step.move = static_cast<int64_t>(copy ? oldFrom : cursor_) - static_cast<int64_t>(cursor_);
        PutStep(raw_.streams[kControls], step);
        std::vector<unsigned char>& differences = raw_.streams[kDifferences];
        const size_t at = differences.size();
        differences.resize(at + copy);
        for (size_t i = 0; i < copy; ++i)
            differences[at + i] = static_cast<unsigned char>(new_[newFrom + i] - old_[oldFrom + i]);
        raw_.streams[kLiterals].insert(raw_.streams[kLiterals].end(), new_ + newFrom + copy,
                                       new_ + newFrom + copy + literal);
        if (copy)
            cursor_ = oldFrom + copy;
    }
    size_t Cursor() const { return cursor_; }

private:
    const unsigned char* old_;
    const unsigned char* new_;
    CCompactRaw& raw_;
    size_t cursor_ = 0;
};

// Matches newData[0, newLength) against the whole old file into raw, its old-file cursor
// starting at 0; cursor receives where the last step left it. False when stopped.
bool MatchRange(const CSuffixSearch& search, const unsigned char* oldData, size_t oldLength,
                const unsigned char* newData, size_t newLength, CCompactRaw& raw, const CCompactProgress& progress,
                size_t& cursor)
{
    CStepWriter writer(oldData, newData, raw);
    const int64_t oldSize = static_cast<int64_t>(oldLength);
    const int64_t newSize = static_cast<int64_t>(newLength);
    auto agrees = [&](int64_t newAt, int64_t offset) {
        const int64_t o = newAt + offset;
        return o >= 0 && o < oldSize && oldData[o] == newData[newAt];
    };

    int64_t scan = 0, length = 0, lastScan = 0, lastPos = 0, lastOffset = 0;
    size_t pos = 0;
    size_t nextProgress = kProgressEvery;
    while (scan < newSize) {
        // Look for the next place where a match elsewhere in the old file beats going on
        // with the current offset.
        int64_t oldScore = 0;
        int64_t scored = scan += length;
        for (; scan < newSize; ++scan) {
            length = static_cast<int64_t>(
                search.Longest(newData + scan, static_cast<size_t>(newSize - scan), pos));
            for (; scored < scan + length; ++scored)
                if (agrees(scored, lastOffset))
                    ++oldScore;
            if ((length == oldScore && length != 0) || length > oldScore + kBetterBy)
                break;
            if (agrees(scan, lastOffset))
                --oldScore;
        }
        if (length == oldScore && scan != newSize)
            continue;

        // Extend the previous match forwards and this one backwards as far as they agree
        // in more than half of their bytes.
        int64_t forward = 0;
        for (int64_t i = 0, same = 0, best = 0; lastScan + i < scan && lastPos + i < oldSize;) {
            if (oldData[lastPos + i] == newData[lastScan + i])
                ++same;
            ++i;
            if (same * 2 - i > best * 2 - forward) {
                best = same;
                forward = i;
            }
        }
        int64_t backward = 0;
        if (scan < newSize) {
            const int64_t p = static_cast<int64_t>(pos);
            for (int64_t i = 1, same = 0, best = 0; scan >= lastScan + i && p >= i; ++i) {
                if (oldData[p - i] == newData[scan - i])
                    ++same;
                if (same * 2 - i > best * 2 - backward) {
                    best = same;
                    backward = i;
                }
            }
        }
        // Where the two overlap, the cut goes where the bytes agree best.
        if (lastScan + forward > scan - backward) {
            const int64_t overlap = (lastScan + forward) - (scan - backward);
            const int64_t p = static_cast<int64_t>(pos);
            int64_t same = 0, best = 0, keep = 0;
            for (int64_t i = 0; i < overlap; ++i) {
                if (newData[lastScan + forward - overlap + i] == oldData[lastPos + forward - overlap + i])
                    ++same;
                if (newData[scan - backward + i] == oldData[p - backward + i])
                    --same;
                if (same > best) {
                    best = same;
                    keep = i + 1;
                }
            }
            forward += keep - overlap;
            backward -= keep;
        }
        writer.Step(static_cast<size_t>(lastPos), static_cast<size_t>(lastScan), static_cast<size_t>(forward),
                    static_cast<size_t>((scan - backward) - (lastScan + forward)));
        lastScan = scan - backward;
        lastPos = static_cast<int64_t>(pos) - backward;
        lastOffset = static_cast<int64_t>(pos) - scan;

        if (static_cast<size_t>(scan) >= nextProgress) {
            nextProgress = static_cast<size_t>(scan) + kProgressEvery;
            if (progress && !progress(static_cast<double>(scan) / static_cast<double>(newSize)))
                return false;
        }
    }
    cursor = writer.Cursor();
    return true;
}

// Appends the steps of a later stretch of the new file, matched with its cursor starting
// at 0, to those of the stretch before it, which left the cursor at `cursor`: only the
// later stretch's first move changes, as every later move is relative.
void AppendStretch(CCompactRaw& raw, CCompactRaw& later, size_t cursor)
{
    const std::vector<unsigned char>& controls = later.streams[kControls];
    if (!controls.empty()) {
        size_t at = 0;
        auto next = [&] {
            uint64_t v = 0;
            for (int shift = 0;; shift += 7) {
                const unsigned char b = controls[at++];
                v |= uint64_t{b & 0x7Fu} << shift;
                if (!(b & 0x80))
                    return v;
            }
        };
        CCompactStep first;
        first.copy = static_cast<uint32_t>(next());
        first.literal = static_cast<uint32_t>(next());
        first.move = Unzigzag(next()) - static_cast<int64_t>(cursor);
        PutStep(raw.streams[kControls], first);
        raw.streams[kControls].insert(raw.streams[kControls].end(), controls.begin() + static_cast<std::ptrdiff_t>(at),
                                      controls.end());
    }
    for (int i = kDifferences; i < kCompactStreams; ++i) {
        raw.streams[i].insert(raw.streams[i].end(), later.streams[i].begin(), later.streams[i].end());
        std::vector<unsigned char>().swap(later.streams[i]);
    }
}

} // namespace

bool CompactMatch(const unsigned char* oldData, size_t oldLength, const unsigned char* newData, size_t newLength,
                  CCompactRaw& raw, const CCompactProgress& progress)
{
    const CSuffixSearch search(oldData, oldLength);
    size_t cursor = 0;
    if (newLength < kSplitMatching)
        return MatchRange(search, oldData, oldLength, newData, newLength, raw, progress, cursor);
    // A large new file is matched in two halves on both cores; only this thread shows
    // progress and takes a cancel, the helper stops at its next MiB once told.
    const size_t half = newLength / 2;
    CCompactRaw second;
    std::atomic<bool> stop{false};
    std::future<bool> helper;
    try {
        helper = std::async(std::launch::async, [&] {
            size_t ignored = 0;
            return MatchRange(search, oldData, oldLength, newData + half, newLength - half, second,
                              [&](double) { return !stop.load(); }, ignored);
        });
    } catch (const std::system_error&) {
        return MatchRange(search, oldData, oldLength, newData, newLength, raw, progress, cursor);
    }
    bool ok = false;
    try {
        ok = MatchRange(search, oldData, oldLength, newData, half, raw, progress, cursor);
    } catch (...) {
        stop = true;
        throw; // the helper is waited for as its future goes
    }
    stop = !ok;
    if (!helper.get() || !ok)
        return false;
    AppendStretch(raw, second, cursor);
    return true;
}

void CompactFromObjects(const std::vector<COldPatch>& objects, const unsigned char* oldData, const unsigned char* newData,
                        size_t newLength, CCompactRaw& raw)
{
    CStepWriter writer(oldData, newData, raw);
    size_t done = 0;
    for (const COldPatch& o : objects) {
        const size_t end = size_t{o.newOffset} + o.length;
        if (end <= done)
            continue;
        const size_t start = std::max<size_t>(done, o.newOffset);
        if (start > done)
            writer.Step(0, done, 0, start - done);
        writer.Step(o.oldOffset + (start - o.newOffset), start, end - start, 0);
        done = end;
    }
    if (done < newLength)
        writer.Step(0, done, 0, newLength - done);
}
