// The open patch image of one build or one apply: the uncompressed image file shared by
// the header, the record reader and writer and the apply, its format, the number of file
// records it holds, and the work files of a compact build. Whoever runs the build or the
// apply owns it and hands it to the engine through its host.
#pragma once
#include "platform/BinFile.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Classic: one gzip stream of fixed-layout records, read by every reader of the format.
// Compact: records with zstd-packed deltas and SHA-256 checks, read by this program.
enum class CPatchFormat { Classic, Compact };

class CCompactLayout;
struct CCompactLead;
class CCompactTwins;

struct CPatchImage {
    CBinFile file;
    // Chosen for a build, found in the patch for an apply.
    CPatchFormat format = CPatchFormat::Classic;
    // A compact build: the controls, differences and literals of all its records, and the
    // frames of its packed deltas, each written into a work file of its own until the
    // patch file is made.
    CBinFile compactStreams[4];
    // A compact build: the earlier records a packed delta may take as its twin.
    std::shared_ptr<CCompactTwins> compactTwins;
    // A compact patch: the files left alone that lead its literals, their contents chosen
    // by a build, or read and checked by an apply (CompactLead.h).
    std::shared_ptr<CCompactLead> compactLead;
    // A compact apply: where every record read so far finds its delta.
    std::shared_ptr<CCompactLayout> compactLayout;
    // A compact build: the SHA-256 of the new content of every record with a delta, in
    // record order, of which the patch stores one digest. A compact apply: that digest.
    std::vector<unsigned char> compactNewDigests;
    std::array<unsigned char, 32> compactTree{};
    uint16_t fileCount = 0;
    // The target files an apply has replaced so far; its caller sets it to 0 first.
    int filesUpdated = 0;
};
