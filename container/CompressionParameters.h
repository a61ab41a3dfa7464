// The zstd parameters the parts of a compact image are packed with, and when a part is
// packed in two pieces on both cores.
//
// Every part is packed at level 22 (the strongest search and parse; long text in two
// pieces with a narrower search, below) with a window an apply can hold. The level's own
// hash table is narrowed to 2^18 entries: the binary tree behind it finds the same
// matches (the patches come out byte for byte the same on the benchmark's corpora), and
// the build stops spending a quarter of its packing time clearing and faulting in a
// 64 MiB table per stream. The differences (mostly zeros,
// their matches runs of zeros and repeats close by) search a binary tree over the last
// 256 KiB only: a native binary's 2.3 MiB of differences are packed in four fifths of
// the time, 130 bytes larger, a JavaScript bundle's 4.4 MiB in half the time, 13 bytes
// smaller, 16 MiB of a large file's in a fifth of the time, the same size.
#pragma once
#include "engine/common/CompactDelta.h"

#include <zstd.h>

#include <algorithm>
#include <cstdint>

// A part from this length on is packed in two pieces when the other parts together are
// shorter (so the second core would otherwise wait for it). Each piece sees up to 2 MiB
// of the stream before it: the native binary's differences of 2.3 MiB come out 0.2 %
// larger than in one piece, in a little more than half the time.
inline constexpr uint64_t kTwoPiecesFrom = uint64_t{2} << 20;
// Pieces are at most this long: a stream above 16 MiB is cut into more of them.
inline constexpr uint64_t kLongestPiece = uint64_t{8} << 20;
// What a piece sees of the stream before it (overlap log 6: an eighth of the window).
inline constexpr uint64_t kPieceSees = uint64_t{2} << 20;
inline constexpr int kPackingHashLog = 18;
inline constexpr int kDifferencesChainLog = 19;
inline constexpr int kPieceChainLog = 23;
// Two pieces of text (new files' text among the literals, up to 16 MiB together): each
// searches a tree over its last 1 MiB (8 MiB of memory per core instead of 32), sees
// 256 KiB of the first piece (overlap log 3) and looks for matches of 6 bytes or more
// along 32 branches, with the plain optimal parse and without the long-distance finder
// (which made them 2 KB larger). 7 MiB of generated text and 1 MiB of random bytes pack
// in a little over half the processor time of trees over 4 MiB seeing 2 MiB, 0.8 %
// larger. A native binary's bytes would come out 11 % larger so: other literals keep
// the wider trees.
inline constexpr int kTextPieceChainLog = 21;
inline constexpr int kTextPieceOverlapLog = 3;
inline constexpr uint64_t kTextPieceSees = uint64_t{256} << 10;
inline constexpr int kTextPieceMinMatch = 6;
inline constexpr int kTextPieceSearchLog = 5;

inline bool PackInTwoPieces(uint64_t length, uint64_t othersLength)
{
    return length >= kTwoPiecesFrom && length > othersLength;
}

// Differences of which fewer than one byte in a hundred is non-zero (a changed text file
// or a file with scattered edits) pack in one piece in a fraction of the time of those of
// a native binary (7 % non-zero), so they stay in one piece: three's 4.4 MiB come out
// 250 bytes smaller than in two. Judged on the stream's start.
inline bool FewDifferences(const unsigned char* start, size_t length)
{
    size_t nonZero = 0;
    for (size_t i = 0; i < length; ++i)
        nonZero += start[i] != 0;
    return nonZero * 100 < length;
}

// Whether at least four in five bytes are printable characters, tabs or line ends (of a
// JavaScript bundle nearly all, of a native binary a third). Judged on the stream's start.
inline bool MostlyText(const unsigned char* start, size_t length)
{
    size_t text = 0;
    for (size_t i = 0; i < length; ++i)
        text += (start[i] >= 32 && start[i] < 127) || start[i] == '\t' || start[i] == '\n' || start[i] == '\r';
    return text * 5 >= length * 4;
}

// Sets the parameters of a part of `length` bytes on cctx, the two pieces included; text
// says the part is mostly text (MostlyText).
inline void SetPackingParameters(ZSTD_CCtx* cctx, uint64_t length, bool differences, bool twoPieces, bool text)
{
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, length <= (uint64_t{16} << 20) ? 22 : 19);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, kCompactWindowLog);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_hashLog, kPackingHashLog);
    if (differences)
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_chainLog, kDifferencesChainLog);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 1);
    if (twoPieces) {
        // The second piece first takes in what it sees of the first, which costs about as
        // much as packing as many bytes (but next to nothing in the differences' narrow
        // tree): the first piece is made longer by half of that, so that both end together
        // (8 MiB of new files' literals: the second piece took 40 % longer than the first).
        const bool literalPieces = !differences && length <= 2 * kLongestPiece;
        const bool textPieces = literalPieces && text;
        const uint64_t seen = differences ? 0 : std::min(textPieces ? kTextPieceSees : kPieceSees, length / 2);
        const uint64_t piece = std::min<uint64_t>((length + seen + 1) / 2, kLongestPiece);
        if (textPieces) {
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_strategy, ZSTD_btultra);
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_chainLog, kTextPieceChainLog);
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_minMatch, kTextPieceMinMatch);
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_searchLog, kTextPieceSearchLog);
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 0);
        } else if (literalPieces) {
            // Each of two pieces searches a tree over the last 4 MiB (32 MiB of memory per
            // core instead of 64): allnew-2k's literals came out 19 bytes larger.
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_chainLog, kPieceChainLog);
        }
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, 2);
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_jobSize, static_cast<int>(piece));
        ZSTD_CCtx_setParameter(cctx, ZSTD_c_overlapLog, textPieces ? kTextPieceOverlapLog : 6);
    }
}
