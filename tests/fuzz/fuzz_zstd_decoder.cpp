// Fuzz target: the Windows programs' own zstd decoder against the zstd library. With the
// first byte even, the rest of the input is taken as a stream of frames: whatever our
// decoder accepts in full, the library must accept too, with the same output. With it
// odd, the rest is content, packed by the library at a level the byte gives and then
// decoded by ours, which must give it back exactly. Input and output go in pieces whose
// sizes the first byte also sets.
#include "support/ZstdDecoding.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned mode = data[0];
    const size_t inPiece = size_t{1} << (mode >> 5 & 7), outPiece = size_t{1} << (10 + (mode >> 1 & 7));
    auto pieceIn = [=] { return inPiece; };
    auto pieceOut = [=] { return outPiece; };
    ++data;
    --size;
    if ((mode & 1) == 0) {
        const zstdcheck::Decoded ours = zstdcheck::DecodeOurs(data, size, pieceIn, pieceOut);
        if (ours.complete) {
            const zstdcheck::Decoded library = zstdcheck::DecodeLibrary(data, size);
            if (!library.complete || library.data != ours.data)
                std::abort();
        }
        return 0;
    }
    std::vector<uint8_t> packed(ZSTD_compressBound(size));
    const size_t n = ZSTD_compress(packed.data(), packed.size(), data, size, static_cast<int>(mode >> 1 & 15) + 1);
    if (ZSTD_isError(n))
        std::abort();
    const zstdcheck::Decoded ours = zstdcheck::DecodeOurs(packed.data(), n, pieceIn, pieceOut);
    if (!ours.complete || ours.data != std::vector<uint8_t>(data, data + size))
        std::abort();
    return 0;
}
