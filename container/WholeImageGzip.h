// The strongest compression of a thorough build: a small patch image is read whole and
// compressed in one piece by libdeflate's near-optimal parser, 2-4 % smaller than zlib's
// default level on the patches this mode makes. The output is the same kind of file
// gzopen writes (the same 10-byte gzip header, one deflate stream, the CRC-32 and length
// trailer), so every reader of patch files reads it unchanged.
#pragma once
#include <cstdint>
#include <string>

// Images up to this size are compressed whole: the image and its output are in memory at
// once, and the parser takes about 0.15 s per MiB.
inline constexpr uint64_t kWholeImageGzipLimit = 4ull << 20;

// Compresses the file at imagePath into the gzip file at gzipPath (created or replaced).
// On failure it returns false with the name of the file that could not be read or
// written in failedFile and whether it was the reading that failed.
bool GzipWholeImage(const std::string& imagePath, const std::string& gzipPath, std::string& failedFile,
                    bool& readFailed);
