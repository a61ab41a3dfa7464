#include "container/WholeImageGzip.h"

#include "container/ContainerUtil.h"

#include <cstdio>
#include <libdeflate.h>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {
// libdeflate's strongest level; 10 finds nearly as much at two thirds of the time, but
// these images are small enough for the last half per cent.
constexpr int kLevel = 12;

// The header zlib's gzopen(..., "wb") writes at its default level: no name, no time,
// no extra flags, made on Unix.
constexpr unsigned char kGzipHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

bool ReadWhole(const std::string& path, std::vector<unsigned char>& data)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!in)
        return false;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0)
        data.insert(data.end(), chunk, chunk + n);
    return !std::ferror(in.get());
}
} // namespace

bool GzipWholeImage(const std::string& imagePath, const std::string& gzipPath, std::string& failedFile,
                    bool& readFailed)
{
    readFailed = false;
    std::vector<unsigned char> image;
    if (!ReadWhole(imagePath, image)) {
        failedFile = imagePath;
        readFailed = true;
        return false;
    }

    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kLevel));
    std::vector<unsigned char> deflated;
    size_t deflatedSize = 0;
    if (compressor) {
        deflated.resize(libdeflate_deflate_compress_bound(compressor.get(), image.size()));
        deflatedSize = libdeflate_deflate_compress(compressor.get(), image.data(), image.size(), deflated.data(),
                                                   deflated.size());
    }
    if (deflatedSize == 0) {
        failedFile = gzipPath; // out of memory: nothing written
        return false;
    }

    unsigned char trailer[8];
    PutLE32(trailer, static_cast<uint32_t>(crc32_z(0, image.data(), image.size())));
    PutLE32(trailer + 4, static_cast<uint32_t>(image.size())); // the length modulo 2^32
    std::FILE* out = std::fopen(gzipPath.c_str(), "wb");
    bool written = out && std::fwrite(kGzipHeader, 1, sizeof kGzipHeader, out) == sizeof kGzipHeader &&
                   std::fwrite(deflated.data(), 1, deflatedSize, out) == deflatedSize &&
                   std::fwrite(trailer, 1, sizeof trailer, out) == sizeof trailer;
    // Closing flushes the last buffer: a full disk shows here.
    if (out && std::fclose(out) != 0)
        written = false;
    if (!written)
        failedFile = gzipPath;
    return written;
}
