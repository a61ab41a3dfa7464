// Thorough matching: old-copy objects found at byte granularity, for the smallest patch
// the record format can describe.
//
// The old file is indexed by a hash of the kSeed bytes at every kStep-th position. The
// new file is scanned byte by byte: at each position the candidates are the old
// positions at the distances of the last few copies (a file with small edits goes on
// matching there right after each edit) and the indexed old positions whose seed has
// the same hash. Each candidate is verified and widened both ways (never back into the
// previous match); the one that saves most becomes a match, and the scan goes on at its
// end. A match at a recent distance widens that copy and costs only the split of the
// new data, so it pays from kSameDistanceMin bytes on; any other needs kMinLength.
// Every match of at least kSeed + kStep - 1 bytes holds an indexed seed, so none of
// them is missed by the index; shorter ones are found when they continue a recent
// distance or meet an indexed seed.
//
// Work and memory are linear in the two lengths: each scan position costs one hash
// lookup of kWays candidates and kMergeReach recent distances, each widening either
// ends in a match whose bytes the scan then skips or stops within kMinLength bytes, and
// the index takes about 16 bytes per kStep bytes of the old file. Runs of one byte value
// and files made of one repeated piece fill one bucket (or a few) and cost no more than
// any other content.
#pragma once
#include "engine/common/CFilePatch.h"
#include "platform/ByteBuffer.h"

#include <cstdint>
#include <functional>
#include <vector>

class CThoroughMatcher {
public:
    static constexpr uint32_t kSeed = 16;
    static constexpr uint32_t kStep = 8;
    static constexpr uint32_t kWays = 4;
    // The shortest match worth an old-copy object: below it, the object and the split of
    // the new data cost more in the compressed patch than the bytes it saves.
    static constexpr uint32_t kMinLength = 40;
    // The same for a match at the distance of one of the last kMergeReach copies: it
    // widens that copy, so it costs only the split of the new data.
    static constexpr uint32_t kSameDistanceMin = 8;
    // How many of the latest copies a match at the same distance may widen.
    static constexpr size_t kMergeReach = 8;

    // Called every so often with the part of the new file scanned (0 to 1); returning
    // false stops the scan.
    using ProgressFn = std::function<bool(double done)>;

    // Indexes the old file, which must stay in place while the matcher is used.
    CThoroughMatcher(const unsigned char* oldData, uint32_t oldLength, uint32_t minLength = kMinLength,
                     uint32_t sameDistanceMin = kSameDistanceMin);

    // The old-copy objects for the new file, in increasing new offset, none overlapping
    // another. False when progress asked to stop.
    bool Match(const unsigned char* newData, uint32_t newLength, std::vector<COldPatch>& objects,
               const ProgressFn& progress = nullptr) const;

    // The objects of a record from the matches Match found: matches that follow one
    // another at the same distance become one old-copy object, which also copies the
    // old bytes between them; every stretch of the new file outside the matches becomes a
    // new-data object, which the apply writes after the old copies, over those bytes.
    // Without matches, one new-data object holds the whole new file.
    static void LayOut(const std::vector<COldPatch>& matches, uint32_t newLength, std::vector<COldPatch>& copies,
                       std::vector<CNewPatch>& newData);

private:
    static uint64_t Hash(const unsigned char* seed);
    // A slot of the index: the hash's low half above 1 + the old position.
    static uint64_t Slot(uint64_t hash, uint32_t position);

    const unsigned char* old_;
    uint32_t oldLength_;
    uint32_t minLength_;
    uint32_t sameDistanceMin_;
    unsigned shift_ = 64;
    // kWays slots per bucket, each 0 (empty) or a Slot. Looked up at random, so it is
    // kept in large pages where the system has them: far fewer misses of the address
    // translation cache.
    std::vector<uint64_t, memory::CLargePageAllocator<uint64_t>> slots_;
};
