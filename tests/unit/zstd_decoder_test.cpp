// The Windows programs' own zstd frame decoder must give exactly what the zstd library
// gives, for every kind of content and compression setting and with input and output in
// pieces of any size; from damaged frames it must give an error or the library's output,
// never anything else.
#include "codec/ZstdFrameDecoder.h"
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
};

const Settings kSettings[] = {
    {"level1_checksum", 1, true, true, 1, true},
    {"level3_unsized", 3, false, false, 1, false},
    {"level9_frames", 9, true, false, 3, false},
    {"level19", 19, false, true, 1, false},
    {"level19_long", 19, true, true, 1, true, 27, true},
    {"level3_frames_sized", 3, true, true, 3, false},
    // What compact patches are packed with, for short and for long streams.
    {"compact_short", 22, false, true, 1, false, 24, true},
    {"compact_long", 19, false, true, 1, true, 24, true, 2},
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
Decoded DecodeOurs(const Bytes& packed, uint32_t seed, unsigned windowLogMax = 0)
{
    std::mt19937 rng(seed);
    auto piece = [&]() -> size_t { return rng() % 4 == 0 ? rng() % 300000 + 1 : rng() % 5000 + 1; };
    return zstdcheck::DecodeOurs(packed.data(), packed.size(), piece, piece, windowLogMax);
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

TEST(ZstdDecoderTest, DamagedFramesGiveAnErrorOrTheLibrarysOutput)
{
    std::mt19937 rng(99);
    for (const Input& input : Inputs()) {
        if (input.large || input.data.empty())
            continue;
        for (const Settings& s : kSettings) {
            SCOPED_TRACE(std::string(input.name) + " " + s.name);
            const Bytes& packed = Packed(input, s);
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
                const Decoded ours = DecodeOurs(damaged, rng());
                if (!ours.complete)
                    continue;
                const Decoded library = zstdcheck::DecodeLibrary(damaged.data(), damaged.size());
                EXPECT_TRUE(library.complete) << "trial " << trial;
                EXPECT_TRUE(library.data == ours.data) << "trial " << trial;
            }
        }
    }
}

} // namespace
