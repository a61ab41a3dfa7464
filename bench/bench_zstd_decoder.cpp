// The Windows programs' own zstd decoder against the zstd library: both decode the same
// frame (SIZE_MIB of mixed content, default 50, packed at LEVEL, default 3) with the
// apply's piece sizes, best of three runs; prints both speeds and their ratio.
#include "codec/ZstdFrameDecoder.h"

#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Text-like runs of words, random stretches, and repeats of earlier content.
std::vector<unsigned char> Content(size_t size)
{
    static const char* const kWords[] = {"patch ", "folder ", "the ", "file ", "old ", "new ", "of ", "and\n"};
    std::mt19937 rng(7);
    std::vector<unsigned char> out;
    out.reserve(size + 70000);
    while (out.size() < size) {
        const size_t length = rng() % 65536 + 1;
        switch (rng() % 3) {
        case 0:
            while (out.size() < size && length > 0) {
                for (const char* c = kWords[std::min(rng() % 8, rng() % 8)]; *c; ++c)
                    out.push_back(static_cast<unsigned char>(*c));
                if (rng() % 4096 == 0)
                    break;
            }
            break;
        case 1:
            for (size_t i = 0; i < length; ++i)
                out.push_back(static_cast<unsigned char>(rng()));
            break;
        default:
            if (out.size() > length) {
                const size_t from = rng() % (out.size() - length);
                out.insert(out.end(), out.begin() + from, out.begin() + from + length);
            }
        }
    }
    out.resize(size);
    return out;
}

template <class Decode>
double BestSeconds(Decode decode)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        decode();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 50) << 20;
    const int level = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::vector<unsigned char> content = Content(size);
    std::vector<unsigned char> packed(ZSTD_compressBound(size));
    packed.resize(ZSTD_compress(packed.data(), packed.size(), content.data(), size, level));
    std::vector<unsigned char> out(ZSTD_DStreamOutSize());
    constexpr size_t kPiece = size_t{1} << 20;

    size_t libraryTotal = 0, oursTotal = 0;
    const double library = BestSeconds([&] {
        ZSTD_DCtx* dctx = ZSTD_createDCtx();
        libraryTotal = 0;
        for (size_t at = 0; at < packed.size(); at += kPiece) {
            ZSTD_inBuffer in{packed.data() + at, std::min(kPiece, packed.size() - at), 0};
            while (in.pos < in.size) {
                ZSTD_outBuffer o{out.data(), out.size(), 0};
                ZSTD_decompressStream(dctx, &o, &in);
                libraryTotal += o.pos;
            }
        }
        // With all input read, the last block may still be waiting to be handed out.
        for (size_t given = 1; given > 0; libraryTotal += given) {
            ZSTD_inBuffer in{nullptr, 0, 0};
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            ZSTD_decompressStream(dctx, &o, &in);
            given = o.pos;
        }
        ZSTD_freeDCtx(dctx);
    });
    const double ours = BestSeconds([&] {
        codec::CZstdFrameDecoder decoder;
        oursTotal = 0;
        for (size_t at = 0; at < packed.size(); at += kPiece) {
            codec::ZstdInput in{packed.data() + at, std::min(kPiece, packed.size() - at), 0};
            while (in.pos < in.size) {
                codec::ZstdOutput o{out.data(), out.size(), 0};
                decoder.Decode(o, in);
                oursTotal += o.pos;
            }
        }
        for (size_t given = 1; given > 0; oursTotal += given) {
            codec::ZstdInput in{nullptr, 0, 0};
            codec::ZstdOutput o{out.data(), out.size(), 0};
            decoder.Decode(o, in);
            given = o.pos;
        }
    });
    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("%zu MiB at level %d, packed to %zu bytes: library %.0f MiB/s, ours %.0f MiB/s (%.2fx the time)%s\n",
                size >> 20, level, packed.size(), mib / library, mib / ours, ours / library,
                libraryTotal == size && oursTotal == size ? "" : "  OUTPUT SIZE WRONG");
    return libraryTotal == size && oursTotal == size ? 0 : 1;
}
