// The matching of the compact patch format: describes a new file as steps of approximate
// copies from anywhere in the old file (old bytes plus byte-wise differences, mostly
// zero) and literal bytes, in the three unpacked streams of CompactDelta.h.
#pragma once
#include "engine/common/CFilePatch.h"
#include "engine/common/CompactDelta.h"

#include <cstdint>
#include <functional>
#include <vector>

struct CCompactRaw {
    std::vector<unsigned char> streams[kCompactStreams];
};

// Old files up to this length are matched through a suffix array of the old file
// (build memory about 5 bytes per old byte plus 3 per new byte); larger pairs are
// described by the block matcher's objects instead (CompactFromObjects).
constexpr uint64_t kCompactMatcherLimit = uint64_t{128} << 20;

// Called with the share of the new file done (0 to 1); false stops the matching.
using CCompactProgress = std::function<bool(double done)>;

// Approximate matching over a suffix array of the old file. False when stopped.
bool CompactMatch(const unsigned char* oldData, size_t oldLength, const unsigned char* newData, size_t newLength,
                  CCompactRaw& raw, const CCompactProgress& progress);

// The same streams from old-copy objects (exact copies, in the order of their ends in
// the new file; overlaps are cut off) and literals for what they leave.
void CompactFromObjects(const std::vector<COldPatch>& objects, const unsigned char* oldData, const unsigned char* newData,
                        size_t newLength, CCompactRaw& raw);
