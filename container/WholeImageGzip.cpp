#include "container/WholeImageGzip.h"

#include "container/ContainerUtil.h"
#include "platform/FileSystem.h"

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

} // namespace

bool GzipWholeImage(const std::string& imagePath, const std::string& gzipPath, std::string& failedFile,
                    bool& readFailed)
{
    readFailed = false;
    std::vector<unsigned char> image;
    if (!fsys::ReadWholeFile(imagePath, image)) {
        failedFile = imagePath;
        readFailed = true;
        return false;
    }

    // The gzip file is put together in memory: header, deflate stream, trailer.
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kLevel));
    std::vector<unsigned char> out(kGzipHeader, kGzipHeader + sizeof kGzipHeader);
    size_t deflatedSize = 0;
    if (compressor) {
        out.resize(sizeof kGzipHeader + libdeflate_deflate_compress_bound(compressor.get(), image.size()) + 8);
        deflatedSize = libdeflate_deflate_compress(compressor.get(), image.data(), image.size(),
                                                   out.data() + sizeof kGzipHeader, out.size() - sizeof kGzipHeader);
    }
    if (deflatedSize == 0) {
        failedFile = gzipPath; // out of memory: nothing written
        return false;
    }
    unsigned char* trailer = out.data() + sizeof kGzipHeader + deflatedSize;
    PutLE32(trailer, static_cast<uint32_t>(crc32_z(0, image.data(), image.size())));
    PutLE32(trailer + 4, static_cast<uint32_t>(image.size())); // the length modulo 2^32
    out.resize(sizeof kGzipHeader + deflatedSize + 8);
    if (!fsys::WriteWholeFile(gzipPath, out.data(), out.size())) {
        failedFile = gzipPath;
        return false;
    }
    return true;
}
