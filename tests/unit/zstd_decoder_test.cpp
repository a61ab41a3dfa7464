// The Windows programs' own zstd frame decoder must give exactly what the zstd library
// gives, for every kind of content and compression setting and with input and output in
// pieces of any size, also for frames that continue a prefix (a delta against old
// content); from damaged frames it must give an error or the library's output, never
// anything else.
#include "codec/ZstdFrameDecoder.h"
#include "container/CompressionParameters.h"
#include "support/TestFolder.h"
#include "support/ZstdDecoding.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

namespace {

using zstdcheck::Decoded;
using Bytes = std::vector<unsigned char>;

Bytes Runs(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size)
        out.insert(out.end(), std::min<size_t>(rng() % 3000 + 1, size - out.size()), static_cast<unsigned char>(rng() % 4));
    return out;
}

Bytes TextLike(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"patch ", "folder ", "the ", "file ", "old ", "new ", "of ", "and\n",
                                         "Delvorin ", "apply ", "record ", "window ", "copy ", "stream ", "a ", "is "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        // Skewed choice, so the literals' code has long and short symbols.
        const unsigned w = std::min(rng() % 16, rng() % 16);
        for (const char* c = kWords[w]; *c && out.size() < size; ++c)
            out.push_back(static_cast<unsigned char>(*c));
    }
    return out;
}

// Pieces of every kind, and repeats of earlier pieces at near and far distances.
Bytes Mixed(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        Bytes piece;
        const size_t length = rng() % 60000 + 1;
        switch (rng() % 5) {
        case 0: piece = TextLike(length, rng()); break;
        case 1: piece = RandomBytes(length, rng()); break;
        case 2: piece = Runs(length, rng()); break;
        case 3:
            for (size_t i = 0; i < length; ++i)
                piece.push_back(static_cast<unsigned char>(rng() % 7 + 'a')); // small alphabet
            break;
        default:
            if (!out.empty()) {
                const size_t from = rng() % out.size();
                piece.assign(out.begin() + from, out.begin() + std::min(out.size(), from + length));
                if (rng() % 2 && !piece.empty())
                    piece[rng() % piece.size()] ^= 0x20; // a repeat with a change
            }
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(size);
    return out;
}

// Random content whose first part comes again after more than 8 MiB.
Bytes FarRepeat()
{
    Bytes out = RandomBytes(9u << 20, 77);
    out.insert(out.end(), out.begin() + 1000, out.begin() + 1000 + (2u << 20));
    return out;
}

// A new version of old: pieces of it (some with a byte changed), repeats of its own
// earlier pieces, and new bytes; with newFirst, it begins with that many new bytes and
// then old's first 64 KiB.
Bytes NewVersion(const Bytes& old, size_t size, uint32_t seed, size_t newFirst = 0)
{
    std::mt19937 rng(seed);
    Bytes out;
    if (newFirst > 0) {
        out = RandomBytes(newFirst, seed);
        out.insert(out.end(), old.begin(), old.begin() + std::min<size_t>(old.size(), 64u << 10));
    }
    while (out.size() < size) {
        const size_t length = rng() % 40000 + 1;
        const unsigned kind = rng() % 4;
        if (kind < 2 && !old.empty()) {
            const size_t from = rng() % old.size();
            out.insert(out.end(), old.begin() + from, old.begin() + std::min(old.size(), from + length));
            if (kind == 1)
                out.back() ^= 0x5A;
        } else if (kind == 2 && !out.empty()) {
            const size_t from = rng() % out.size();
            const Bytes again(out.begin() + from, out.begin() + std::min(out.size(), from + length));
            out.insert(out.end(), again.begin(), again.end());
        } else {
            const Bytes fresh = TextLike(length % 3000 + 1, rng());
            out.insert(out.end(), fresh.begin(), fresh.end());
        }
    }
    out.resize(size);
    return out;
}

struct Settings {
    const char* name;
    int level;
    bool checksum;
    bool contentSize;
    int frames; // the content split into this many frames, a skippable frame after the first
    bool large; // also used on the content beyond 8 MiB
    int windowLog = 0;
    bool longDistance = false;
    int workers = 0; // a frame made in pieces on other threads
    bool textPieces = false; // the packer's own settings for long streams of text
};

const Settings kSettings[] = {
    {"level1_checksum", 1, true, true, 1, true},
    {"level3_unsized", 3, false, false, 1, false},
    {"level9_frames", 9, true, false, 3, false},
    {"level19", 19, false, true, 1, false},
    {"level19_long", 19, true, true, 1, true, 27, true},
    {"level3_frames_sized", 3, true, true, 3, false},
    // A window smaller than the content: matches reach back across the buffer's start.
    {"level19_window20", 19, true, true, 1, false, 20},
    // What compact patches are packed with, for short and for long streams.
    {"compact_short", 22, false, true, 1, false, 24, true},
    {"compact_long", 19, false, true, 1, true, 24, true, 2},
    {"compact_text_pieces", 22, false, true, 1, true, 24, false, 0, true},
};

Bytes Compress(const Bytes& data, const Settings& s)
{
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, s.level);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, s.checksum ? 1 : 0);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, s.contentSize ? 1 : 0);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, s.windowLog);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, s.longDistance ? 1 : 0);
    if (s.workers > 0) {
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, s.workers);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_jobSize, 2 << 20);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_overlapLog, 6);
    }
    if (s.textPieces)
        SetPackingParameters(cctx, data.size(), false, true, true);
    Bytes out;
    const size_t part = data.size() / s.frames + 1;
    for (int f = 0; f < s.frames; ++f) {
        const size_t from = std::min(data.size(), f * part), to = std::min(data.size(), from + part);
        Bytes frame(ZSTD_compressBound(to - from));
        const size_t n = ZSTD_compress2(cctx, frame.data(), frame.size(), data.data() + from, to - from);
        EXPECT_FALSE(ZSTD_isError(n)) << ZSTD_getErrorName(n);
        out.insert(out.end(), frame.begin(), frame.begin() + n);
        if (f == 0 && s.frames > 1) {
            const unsigned char skippable[] = {0x5A, 0x2A, 0x4D, 0x18, 3, 0, 0, 0, 1, 2, 3};
            out.insert(out.end(), std::begin(skippable), std::end(skippable));
        }
    }
    ZSTD_freeCCtx(cctx);
    return out;
}

// Our decoder, fed and drained in random pieces (mostly small, sometimes large).
Decoded DecodeOurs(const Bytes& packed, uint32_t seed, unsigned windowLogMax = 0, zstdcheck::Prefix prefix = {})
{
    std::mt19937 rng(seed);
    auto piece = [&]() -> size_t { return rng() % 4 == 0 ? rng() % 300000 + 1 : rng() % 5000 + 1; };
    return zstdcheck::DecodeOurs(packed.data(), packed.size(), piece, piece, windowLogMax, prefix);
}

struct Input {
    const char* name;
    Bytes data;
    bool large; // compressed with the quick and the long-window settings only
};

const std::vector<Input>& Inputs()
{
    static const std::vector<Input> inputs = {
        {"empty", {}, false},
        {"one_byte", {42}, false},
        {"runs", Runs(300000, 1), false},
        {"random", RandomBytes(200000, 2), false},
        {"text", TextLike(500000, 3), false},
        {"mixed", Mixed((3u << 19) + 12345, 4), false},
        {"far_repeat", FarRepeat(), true},
    };
    return inputs;
}

// Each input packed with each of the settings, once for all tests.
const Bytes& Packed(const Input& input, const Settings& s)
{
    static std::map<std::pair<const Input*, const Settings*>, Bytes> cache;
    auto [it, added] = cache.try_emplace({&input, &s});
    if (added)
        it->second = Compress(input.data, s);
    return it->second;
}

TEST(ZstdDecoderTest, DecodesWhatTheLibraryEncodes)
{
    uint32_t seed = 1;
    for (const Input& input : Inputs()) {
        for (const Settings& s : kSettings) {
            if (input.large && !s.large)
                continue;
            SCOPED_TRACE(std::string(input.name) + " " + s.name);
            const Decoded ours = DecodeOurs(Packed(input, s), ++seed);
            EXPECT_TRUE(ours.complete);
            EXPECT_TRUE(ours.data == input.data) << ours.data.size() << " bytes of " << input.data.size();
        }
    }
}

// Frames whose window exceeds the limit are refused, as the library refuses them.
TEST(ZstdDecoderTest, RefusesWindowsBeyondTheLimit)
{
    const Bytes packed = Compress(Inputs().back().data, {"level1_window25", 1, false, true, 1, true, 25});
    EXPECT_FALSE(DecodeOurs(packed, 5, 23).complete);
    EXPECT_TRUE(DecodeOurs(packed, 5, 24).complete);
}

// Hand-made frames whose header asks for what the decoder must not do.
TEST(ZstdDecoderTest, RefusesFramesItCannotHonour)
{
    const Bytes magic = {0x28, 0xB5, 0x2F, 0xFD};
    // A last raw block of 2000 bytes.
    Bytes rawBlock = {(2000 << 3 | 1) & 0xFF, (2000 << 3) >> 8 & 0xFF, 0};
    rawBlock.resize(rawBlock.size() + 2000, 'x');
    struct Case {
        const char* name;
        Bytes header; // after the magic number
    };
    const Case cases[] = {
        // A 1 KiB window and a content size no frame can have.
        {"endless_content", {0xC0, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        // One segment of 2^40 bytes: the window is the whole content.
        {"single_segment_beyond_limit", {0xE0, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"window_beyond_limit", {0x00, 0x90}},
        // A 1 KiB window: no block may hold more.
        {"block_beyond_the_window", {0x00, 0x00}},
        {"dictionary", {0x01, 0x00, 0x07}},
        {"reserved_bit", {0x08, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes frame = magic;
        frame.insert(frame.end(), c.header.begin(), c.header.end());
        frame.insert(frame.end(), rawBlock.begin(), rawBlock.end());
        EXPECT_FALSE(DecodeOurs(frame, 3).complete);
        EXPECT_FALSE(zstdcheck::DecodeLibrary(frame.data(), frame.size()).complete);
    }
}

// Frames that continue a prefix, as the compact format's deltas do: the prefix is the
// old content (and what came before it), the frame the new content.
struct PrefixOptions {
    bool decodes = true;
    unsigned windowLogMax = 0; // when decoding
    size_t cut = 0; // bytes of the prefix's start left out when decoding
    size_t newFirst = 0; // new bytes, then the prefix's start (NewVersion)
    bool longDistance = false;
    int workers = 0;
    bool sized = true; // the frame header holds the content size
    // The content in two frames, the first continuing the prefix; the second continues
    // it too when made so, but the prefix is for the next frame only.
    int frames = 1;
    bool secondPrefixed = false;
    unsigned headerWindowLog = 0; // the window written over the frame's (unsized) header
};

struct PrefixCase {
    const char* name;
    size_t prefixSize;
    size_t contentSize;
    int level;
    int windowLog; // 0: as the library picks for prefix and content together
    PrefixOptions o = {};
};

const PrefixCase kPrefixCases[] = {
    {"level3", 300000, 200000, 3, 0},
    {"level9_unsized", 300000, 200000, 9, 20, {.sized = false}},
    {"level19", 1u << 20, 700000, 19, 0},
    {"small_prefix", 100, 5000, 19, 0},
    {"empty_content", 1000, 0, 19, 0},
    // The whole prefix is in reach within the frame's first window, its end after.
    {"prefix_longer_than_the_window", 2u << 20, 1536u << 10, 19, 20},
    {"long_distance", 2u << 20, 1u << 20, 19, 22, {.longDistance = true}},
    {"workers", 1u << 20, 3u << 20, 19, 23, {.longDistance = true, .workers = 2}},
    {"large_prefix", 24u << 20, 1u << 20, 3, 26, {.longDistance = true}},
    // A match from the prefix's first byte (never at the frame's first: that is a literal).
    {"reaches_the_prefix_start", 100000, 100000, 19, 0, {.newFirst = 1000}},
    {"reaches_one_byte_before_the_prefix", 100000, 100000, 19, 0, {.decodes = false, .cut = 1, .newFirst = 1000}},
    // Beyond the first window (and the library's ring of window and two blocks), the
    // prefix is out of reach but for its last window.
    {"prefix_after_the_first_window", 100000, 1364u << 10, 19, 23,
     {.decodes = false, .newFirst = 1300u << 10, .sized = false, .headerWindowLog = 20}},
    // The limit is on the frame's window; a prefix beyond it does not count.
    {"window_beyond_the_limit", 2u << 20, 1536u << 10, 19, 20, {.decodes = false, .windowLogMax = 19}},
    {"prefix_beyond_the_limit", 2u << 20, 500000, 19, 23, {.windowLogMax = 19}},
    {"prefix_for_the_first_frame", 300000, 400000, 19, 0, {.frames = 2}},
    {"prefix_not_for_the_second_frame", 300000, 400000, 19, 0, {.decodes = false, .frames = 2, .secondPrefixed = true}},
};

Bytes CompressWithPrefix(const Bytes& content, const Bytes& prefix, const PrefixCase& c)
{
    Bytes out;
    const size_t part = content.size() / c.o.frames + 1;
    for (int f = 0; f < c.o.frames; ++f) {
        ZSTD_CCtx* cctx = ZSTD_createCCtx();
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, c.level);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, c.windowLog);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, c.o.sized ? 1 : 0);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, c.o.longDistance ? 1 : 0);
        if (c.o.workers > 0) {
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, c.o.workers);
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_jobSize, 1 << 20);
        }
        if (f == 0 || c.o.secondPrefixed)
            ZSTD_CCtx_refPrefix(cctx, prefix.data(), prefix.size());
        const size_t from = std::min(content.size(), f * part), to = std::min(content.size(), from + part);
        Bytes frame(ZSTD_compressBound(to - from));
        const size_t n = ZSTD_compress2(cctx, frame.data(), frame.size(), content.data() + from, to - from);
        EXPECT_FALSE(ZSTD_isError(n)) << ZSTD_getErrorName(n);
        out.insert(out.end(), frame.begin(), frame.begin() + n);
        ZSTD_freeCCtx(cctx);
    }
    return out;
}

struct PrefixFrame {
    Bytes prefix, content, packed;
};

// Each case's prefix, content and frames, made once for all tests.
const PrefixFrame& Made(const PrefixCase& c)
{
    static std::map<const PrefixCase*, PrefixFrame> cache;
    auto [it, added] = cache.try_emplace(&c);
    PrefixFrame& made = it->second;
    if (added) {
        const uint32_t seed = static_cast<uint32_t>(&c - kPrefixCases) + 1;
        made.prefix = Mixed(c.prefixSize, seed);
        made.content = NewVersion(made.prefix, c.contentSize, seed, c.o.newFirst);
        made.packed = CompressWithPrefix(made.content, made.prefix, c);
        if (c.o.headerWindowLog > 0)
            made.packed[5] = static_cast<unsigned char>((c.o.headerWindowLog - 10) << 3);
    }
    return made;
}

zstdcheck::Prefix DecodingPrefix(const PrefixCase& c, const PrefixFrame& made)
{
    return {made.prefix.data() + c.o.cut, made.prefix.size() - c.o.cut};
}

TEST(ZstdDecoderTest, DecodesFramesThatContinueAPrefix)
{
    uint32_t seed = 1;
    for (const PrefixCase& c : kPrefixCases) {
        SCOPED_TRACE(c.name);
        const PrefixFrame& made = Made(c);
        const zstdcheck::Prefix prefix = DecodingPrefix(c, made);
        const Decoded library = zstdcheck::DecodeLibrary(made.packed.data(), made.packed.size(), c.o.windowLogMax, prefix);
        EXPECT_EQ(library.complete, c.o.decodes) << "the library";
        const Decoded ours = DecodeOurs(made.packed, ++seed, c.o.windowLogMax, prefix);
        EXPECT_EQ(ours.complete, c.o.decodes);
        if (c.o.decodes) {
            EXPECT_TRUE(ours.data == made.content) << ours.data.size() << " bytes of " << made.content.size();
        }
    }
}

// Damage, then our output must be an error or the library's, with the same prefix.
void ExpectErrorOrLibrarysOutput(const Bytes& packed, std::mt19937& rng, zstdcheck::Prefix prefix = {})
{
    for (int trial = 0; trial < 40; ++trial) {
        Bytes damaged = packed;
        if (trial == 1) {
            damaged.back() ^= 1; // the checksum, when the frame has one
        } else if (trial % 4 == 0) {
            damaged.resize(rng() % packed.size()); // cut short
        } else {
            for (unsigned flips = rng() % 3 + 1; flips > 0; --flips)
                damaged[rng() % damaged.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
        }
        const Decoded ours = DecodeOurs(damaged, rng(), 0, prefix);
        if (!ours.complete)
            continue;
        const Decoded library = zstdcheck::DecodeLibrary(damaged.data(), damaged.size(), 0, prefix);
        EXPECT_TRUE(library.complete) << "trial " << trial;
        EXPECT_TRUE(library.data == ours.data) << "trial " << trial;
    }
}

TEST(ZstdDecoderTest, DamagedFramesGiveAnErrorOrTheLibrarysOutput)
{
    std::mt19937 rng(99);
    for (const Input& input : Inputs()) {
        if (input.large || input.data.empty())
            continue;
        for (const Settings& s : kSettings) {
            SCOPED_TRACE(std::string(input.name) + " " + s.name);
            ExpectErrorOrLibrarysOutput(Packed(input, s), rng);
        }
    }
    for (const PrefixCase& c : kPrefixCases) {
        if (c.contentSize == 0 || c.contentSize > (1u << 20) || c.prefixSize > (2u << 20))
            continue;
        SCOPED_TRACE(c.name);
        const PrefixFrame& made = Made(c);
        ExpectErrorOrLibrarysOutput(made.packed, rng, DecodingPrefix(c, made));
    }
}

} // namespace
