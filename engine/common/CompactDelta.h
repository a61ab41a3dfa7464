// The delta of one file in a compact patch, of one of two kinds. The stepped kind uses
// three streams, each held once for all files of the patch and packed as one zstd frame:
//
//   controls:    per step three varints: copy length, literal length, and the move of
//                the old-file cursor before the step's copy (zigzag, signed)
//   differences: copy length bytes per step, added (mod 256) to the old bytes at the
//                cursor; mostly zeros, as the old and new bytes mostly agree
//   literals:    literal length bytes per step, taken as they are
//
// A step moves the old-file cursor (which starts at 0), writes copy bytes (old byte at
// the cursor plus difference, the cursor advancing), then literal bytes; the steps write
// the new file from its start to its end. Every value read from a patch is checked against the lengths of the
// record before it is used (CCompactControlCheck). A record's parts of the streams are
// not stored: they follow each other in record order, the controls end where the steps
// have written the new length, and the steps tell how many differences and literals the
// record uses (CompactLayout.h).
//
// The packed kind is one zstd frame of the file's own, unpacked with a prefix: the new
// content of an earlier record (its twin, optional) followed by the file's old content.
// It wins where the new file is much like its old one but for moved and retyped
// stretches (minified scripts), and where two new files are near copies of each other.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

enum CCompactStreamIndex { kControls = 0, kDifferences = 1, kLiterals = 2, kCompactStreams = 3 };

// A compact patch holds each stream once for all its files ("solid"), so that the coder
// sees what the files have in common. A record's part of each: the offset in the unpacked
// stream and the length, both worked out by the reader.
struct CCompactStream {
    uint64_t offset = 0;
    uint32_t raw = 0;
};

// One packed stream of the whole patch: its unpacked length, packed length and where
// the packed bytes lie in the image.
struct CCompactSpan {
    uint64_t raw = 0;
    uint64_t packed = 0;
    uint64_t position = 0;
};

struct CCompactDelta {
    bool present = false;
    bool packed = false;       // the packed kind: a frame rather than steps
    uint32_t frameLength = 0;  // packed: the length of its frame
    uint16_t twin = 0;         // packed: 0, or the number (from 1) of the record whose new content leads the prefix
    uint32_t index = 0;        // apply: the record's number in the patch, from 0
    uint64_t framePosition = 0; // apply: where the frame lies in the image
    CCompactStream streams[kCompactStreams];
    CCompactSpan spans[kCompactStreams];                // apply: the patch's packed streams
    std::vector<unsigned char> rawBytes[kCompactStreams]; // build: this record's part of each stream
    std::vector<unsigned char> frame;                     // build: the packed kind's frame
};

// The packed kind: the old file, the new file and the twin's new content are each at
// most this long, so an apply holds at most the prefix (twin and old content, 32 MiB)
// and the decoder's buffer (no longer than the new file, as the frame names its length).
inline constexpr uint32_t kMaxPackedLength = uint32_t{16} << 20;
// The largest window a packed frame may name: the prefix and the new content together.
inline constexpr int kPackedWindowLog = 26;

// The start of a compact image after the part prefix (little-endian): the magic, the
// version (16 bits), flags (16 bits, 0), the unpacked and packed length of the
// description (32 bits each: header fields, remove list and records), for each of the
// three streams its unpacked and packed length (64 bits each), the length of the frames
// of the packed deltas (64 bits, stored as they are), and the digest of the new
// tree (32 bytes): the SHA-256 of the SHA-256 digests of the new contents of every
// record with a delta, one after the other in record order. An apply checks it against
// what it rebuilt and found before any target changes. The packed description follows,
// then the three packed streams, then the frames.
inline constexpr unsigned char kCompactMagic[8] = {'D', 'V', 'C', 'P', 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr uint16_t kCompactVersion = 4;
inline constexpr size_t kCompactTreeDigestSize = 32;
inline constexpr size_t kCompactFixedSize = 8 + 2 + 2 + 4 + 4 + kCompactStreams * 16 + 8 + kCompactTreeDigestSize;
// The description is unpacked into the temporary folder before an apply; this bounds it
// (65535 records and as many remove entries need less than 64 MiB).
inline constexpr uint32_t kMaxCompactDescription = uint32_t{64} << 20;

struct CCompactFixed {
    uint16_t version = kCompactVersion;
    uint32_t descriptionRaw = 0;
    uint32_t descriptionPacked = 0;
    CCompactSpan spans[kCompactStreams];
    uint64_t frames = 0;
    unsigned char treeDigest[kCompactTreeDigestSize] = {};
};

// One step of the controls.
struct CCompactStep {
    uint32_t copy = 0;
    uint32_t literal = 0;
    int64_t move = 0;
};

// The largest window a compact stream may need to be unpacked: each of the three is
// unpacked with at most this much memory, which bounds the memory of an apply.
constexpr int kCompactWindowLog = 24;
// A step is at most three varints of 5 bytes (the move of up to 33 bits, zigzagged).
constexpr uint64_t kMaxStepBytes = 15;

inline void PutVarint(std::vector<unsigned char>& out, uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(static_cast<unsigned char>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<unsigned char>(v));
}

inline uint64_t Zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
inline int64_t Unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

inline void PutStep(std::vector<unsigned char>& out, const CCompactStep& step)
{
    PutVarint(out, step.copy);
    PutVarint(out, step.literal);
    PutVarint(out, Zigzag(step.move));
}

// Reads one varint through next (bool(unsigned char&), false when no byte is left);
// false when the bytes end first or it runs longer than 6 bytes.
template <typename NextByte>
bool ReadVarint(uint64_t& v, NextByte&& next)
{
    v = 0;
    for (int shift = 0; shift < 42; shift += 7) {
        unsigned char b;
        if (!next(b))
            return false;
        v |= uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// Reads the three varints of a step; false when they are cut short or out of range.
template <typename NextByte>
bool ReadStep(CCompactStep& step, NextByte&& next)
{
    uint64_t copy, literal, move;
    if (!ReadVarint(copy, next) || !ReadVarint(literal, next) || !ReadVarint(move, next) || copy > UINT32_MAX ||
        literal > UINT32_MAX || move > (uint64_t{1} << 34))
        return false;
    step.copy = static_cast<uint32_t>(copy);
    step.literal = static_cast<uint32_t>(literal);
    step.move = Unzigzag(move);
    return true;
}

// Follows the steps of one record and says whether the next one keeps within the
// record: the old cursor inside the old file, the copies inside it, the output and the
// two byte streams no longer than the record says, and every step writing something.
class CCompactControlCheck {
public:
    CCompactControlCheck(uint64_t oldLength, uint64_t newLength, uint64_t differences, uint64_t literals)
        : oldLength_(oldLength), newLength_(newLength), differences_(differences), literals_(literals)
    {
    }
    // True when the step may be taken; oldAt() is then where its copy starts.
    bool Take(const CCompactStep& step)
    {
        if (uint64_t{step.copy} + step.literal == 0)
            return false;
        const int64_t moved = static_cast<int64_t>(oldAt_) + step.move;
        if (step.move < -static_cast<int64_t>(oldLength_) || step.move > static_cast<int64_t>(oldLength_) ||
            moved < 0 || static_cast<uint64_t>(moved) + step.copy > oldLength_)
            return false;
        if (written_ + step.copy + step.literal > newLength_ || differencesUsed_ + step.copy > differences_ ||
            literalsUsed_ + step.literal > literals_)
            return false;
        copyFrom_ = static_cast<uint64_t>(moved);
        oldAt_ = copyFrom_ + step.copy;
        written_ += uint64_t{step.copy} + step.literal;
        differencesUsed_ += step.copy;
        literalsUsed_ += step.literal;
        return true;
    }
    uint64_t CopyFrom() const { return copyFrom_; }
    uint64_t Written() const { return written_; }
    uint64_t DifferencesUsed() const { return differencesUsed_; }
    uint64_t LiteralsUsed() const { return literalsUsed_; }
    // True when the steps have written the whole new file and used both streams up.
    bool Complete() const
    {
        return written_ == newLength_ && differencesUsed_ == differences_ && literalsUsed_ == literals_;
    }

private:
    uint64_t oldLength_, newLength_, differences_, literals_;
    uint64_t oldAt_ = 0, copyFrom_ = 0, written_ = 0, differencesUsed_ = 0, literalsUsed_ = 0;
};

inline void PutCompactFixed(unsigned char* p, const CCompactFixed& f)
{
    auto put = [&p](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            *p++ = static_cast<unsigned char>(v >> (8 * i));
    };
    std::memcpy(p, kCompactMagic, sizeof kCompactMagic);
    p += sizeof kCompactMagic;
    put(f.version, 2);
    put(0, 2);
    put(f.descriptionRaw, 4);
    put(f.descriptionPacked, 4);
    for (const CCompactSpan& s : f.spans) {
        put(s.raw, 8);
        put(s.packed, 8);
    }
    put(f.frames, 8);
    std::memcpy(p, f.treeDigest, sizeof f.treeDigest);
}

// Reads the fixed start; false when the magic is not there. The positions of the packed
// streams follow from the lengths; whether they fit the file is the caller's check.
inline bool GetCompactFixed(const unsigned char* p, CCompactFixed& f)
{
    if (std::memcmp(p, kCompactMagic, sizeof kCompactMagic) != 0)
        return false;
    auto get = [&p](int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t{*p++} << (8 * i);
        return v;
    };
    p += sizeof kCompactMagic;
    f.version = static_cast<uint16_t>(get(2));
    get(2);
    f.descriptionRaw = static_cast<uint32_t>(get(4));
    f.descriptionPacked = static_cast<uint32_t>(get(4));
    for (CCompactSpan& s : f.spans) {
        s.raw = get(8);
        s.packed = get(8);
    }
    f.frames = get(8);
    std::memcpy(f.treeDigest, p, sizeof f.treeDigest);
    return true;
}
