#include "engine/build/ThoroughMatcher.h"

#include "engine/build/MatchLength.h"
#include "engine/build/OpenCopies.h"

#include <algorithm>
#include <bit>

namespace {

// Buckets are fetched this many seeds ahead of their use, so that the table's misses in
// the processor's caches overlap instead of following one another.
constexpr uint32_t kAhead = 16;
// The progress call comes after every this many bytes of the new file.
constexpr uint32_t kProgressEvery = uint32_t{1} << 20;

inline void Prefetch(const void* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

} // namespace

CThoroughMatcher::CThoroughMatcher(const unsigned char* oldData, uint32_t oldLength, uint32_t minLength,
                                   uint32_t sameDistanceMin)
    : old_(oldData), oldLength_(oldLength), minLength_(minLength), sameDistanceMin_(sameDistanceMin)
{
    if (oldLength < kSeed)
        return;
    const uint64_t seeds = (uint64_t{oldLength} - kSeed) / kStep + 1;
    // About two slots per seed, so few buckets overflow.
    unsigned bits = 1;
    while ((uint64_t{1} << bits) * kWays < 2 * seeds)
        ++bits;
    shift_ = 64 - bits;
    // Large pages come cleared from the system; clearing them again would touch the
    // whole index once more.
    const size_t count = (size_t{1} << bits) * kWays;
    slots_.resize(count);
    if (count * sizeof(uint64_t) < memory::kLargeFrom)
        std::fill(slots_.begin(), slots_.end(), 0);

    const uint32_t last = oldLength - kSeed;
    for (uint32_t p = 0;; p += kStep) {
        const uint64_t ahead = uint64_t{p} + uint64_t{kAhead} * kStep;
        if (ahead <= last)
            Prefetch(&slots_[(Hash(old_ + ahead) >> shift_) * kWays]);
        const uint64_t hash = Hash(old_ + p);
        uint64_t* bucket = &slots_[(hash >> shift_) * kWays];
        // A full bucket keeps the earliest positions.
        for (uint32_t w = 0; w < kWays; ++w) {
            if (bucket[w] == 0) {
                bucket[w] = Slot(hash, p);
                break;
            }
        }
        if (last - p < kStep)
            break;
    }
}

uint64_t CThoroughMatcher::Hash(const unsigned char* seed)
{
    const uint64_t a = matchlen::Load64(seed) * 0x9E3779B97F4A7C15ULL;
    const uint64_t b = matchlen::Load64(seed + kSeed - 8) * 0xC2B2AE3D27D4EB4FULL;
    return a ^ std::rotl(b, 31);
}

uint64_t CThoroughMatcher::Slot(uint64_t hash, uint32_t position)
{
    // The low half of the hash, which the bucket number does not use, tells most
    // candidates apart without a look at the old file.
    return (hash << 32) | (uint64_t{position} + 1);
}

bool CThoroughMatcher::Match(const unsigned char* newData, uint32_t newLength, std::vector<COldPatch>& objects,
                             const ProgressFn& progress) const
{
    objects.clear();
    if (oldLength_ == 0 || newLength == 0)
        return true;
    const bool indexed = !slots_.empty() && newLength >= kSeed;
    const uint32_t lastSeed = indexed ? newLength - kSeed : 0;
    uint32_t covered = 0; // the end of the last object in the new file
    // The copies LayOut will make, as far as a later match may widen them: a match at
    // the distance (old offset minus new offset) of one of them costs no copy of its own.
    COpenCopies open(kMergeReach);
    size_t copies = 0;
    int64_t distance = 0; // the distance of the last match
    bool haveLast = false;
    uint32_t nextReport = kProgressEvery;

    uint32_t q = 0;
    while (q < newLength) {
        if (progress && q >= nextReport) {
            if (!progress(static_cast<double>(q) / newLength))
                return false;
            nextReport = q + kProgressEvery;
        }
        // The best candidate by what it saves: its length less the length at which an
        // object at its distance starts to pay.
        int64_t bestScore = -1;
        uint32_t bestLength = 0, bestOld = 0, bestBack = 0, bestAhead = 0;
        auto consider = [&](uint32_t p, uint32_t worthFrom) {
            const uint32_t ahead = matchlen::Forward(old_ + p, newData + q, std::min(oldLength_ - p, newLength - q));
            if (ahead == 0)
                return;
            const uint32_t back = matchlen::Backward(old_ + p, newData + q, std::min(p, q - covered));
            const int64_t score = int64_t{back} + ahead - worthFrom;
            if (score > bestScore) {
                bestScore = score;
                bestLength = back + ahead;
                bestOld = p;
                bestBack = back;
                bestAhead = ahead;
            }
        };
        // The distance of the last match first, then the other recent ones.
        auto tryDistance = [&](int64_t d) {
            const int64_t p = int64_t{q} + d;
            if (p >= 0 && p < oldLength_)
                consider(static_cast<uint32_t>(p), sameDistanceMin_);
        };
        if (haveLast)
            tryDistance(distance);
        open.ForEachDistance([&](int64_t d) {
            if (!haveLast || d != distance)
                tryDistance(d);
        });
        if (indexed && q <= lastSeed) {
            if (lastSeed - q >= kAhead)
                Prefetch(&slots_[(Hash(newData + q + kAhead) >> shift_) * kWays]);
            const uint64_t hash = Hash(newData + q);
            const uint64_t* bucket = &slots_[(hash >> shift_) * kWays];
            const uint64_t tag = Slot(hash, 0) >> 32;
            for (uint32_t w = 0; w < kWays && bucket[w] != 0; ++w) {
                if (bucket[w] >> 32 != tag)
                    continue;
                const uint32_t p = static_cast<uint32_t>(bucket[w] - 1);
                if (open.Find(int64_t{p} - q) == COpenCopies::kNone)
                    consider(p, minLength_);
            }
        }
        if (bestScore >= 0) {
            COldPatch object;
            object.oldOffset = bestOld - bestBack;
            object.newOffset = q - bestBack;
            object.length = bestLength;
            objects.push_back(object);
            distance = int64_t{bestOld} - int64_t{q};
            haveLast = true;
            const size_t widened = open.Find(distance);
            open.Land(widened != COpenCopies::kNone ? widened : copies++, distance);
            q += bestAhead;
            covered = q;
        } else {
            ++q;
        }
    }
    return true;
}

void CThoroughMatcher::LayOut(const std::vector<COldPatch>& matches, uint32_t newLength, std::vector<COldPatch>& copies,
                              std::vector<CNewPatch>& newData)
{
    copies.clear();
    newData.clear();
    COpenCopies open(kMergeReach);
    uint32_t covered = 0;
    for (const COldPatch& m : matches) {
        if (m.newOffset > covered)
            newData.push_back(CNewPatch{covered, m.newOffset - covered, 0});
        covered = m.newOffset + m.length;
        const int64_t distance = int64_t{m.oldOffset} - m.newOffset;
        size_t index = open.Find(distance);
        if (index != COpenCopies::kNone) {
            copies[index].length = covered - copies[index].newOffset;
        } else {
            index = copies.size();
            copies.push_back(m);
        }
        open.Land(index, distance);
    }
    if (matches.empty() || covered < newLength)
        newData.push_back(CNewPatch{covered, newLength - covered, 0});
}
