// Compression of the finished patch image into one gzip stream, and its decompression
// into the temporary folder before an apply.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "container/WholeImageGzip.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {
constexpr unsigned kCopyBufferSize = 65536;
// Input buffer of the decompression: the compressed file is read in pieces of this size
// rather than zlib's 8 KiB ones.
constexpr unsigned kReadBuffer = 256 * 1024;
}

bool CPatchDoc::CompressWorkFile()
{
    const PromptOwner owner = PromptOwner::MainWindow;
    // A compact patch packs its description and streams in a form of its own.
    if (core_.Image().format == CPatchFormat::Compact)
        return PackCompactPatch();
    uint64_t imageLength = 0;
    const bool measured = fsys::FileLength(workFileName_, imageLength);
    CPackagingProgress progress(core_, progress_, "Compressing Delvorin File...", LastComponent(pathName_),
                                imageLength);
    auto cancel = [&] {
        cancelled_ = true;
        return false; // the caller deletes what was written
    };
    if (!progress.Reached(0))
        return cancel();
    // A thorough build spends more time on a small image, to make it smaller still. It is
    // compressed in one call: its progress shows before and after.
    if (core_.Settings().thorough && measured && imageLength <= kWholeImageGzipLimit) {
        std::string failedFile;
        bool readFailed = false;
        if (GzipWholeImage(workFileName_, pathName_, failedFile, readFailed))
            return progress.Reached(imageLength) || cancel();
        ShowError((readFailed ? "Error reading file:\n" : "Error writing file:\n") + failedFile +
                      "\nfor compression.",
                  owner);
        return false;
    }
    std::FILE* in = std::fopen(workFileName_.c_str(), "rb");
    if (!in) {
        ShowError("Error opening file:\n" + workFileName_ + "\nfor compression.", owner);
        return false;
    }
    gzFile out = gzopen(pathName_.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        ShowError("Error creating file:\n" + pathName_ + "\nfor compression.", owner);
        return false;
    }

    std::vector<unsigned char> buffer(kCopyBufferSize);
    bool readFailed = false;
    bool writeFailed = false;
    std::string readError;
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (std::ferror(in)) {
            readFailed = true;
            readError = std::strerror(errno);
            break;
        }
        if (n == 0)
            break;
        if (gzwrite(out, buffer.data(), static_cast<unsigned>(n)) != static_cast<int>(n)) {
            writeFailed = true;
            break;
        }
        if (!progress.Advance(n)) {
            cancelled_ = true;
            break;
        }
    }
    std::fclose(in);
    // Closing flushes the last deflate block and writes the trailer: a full disk shows here.
    if (gzclose(out) != Z_OK)
        writeFailed = true;

    if (cancelled_)
        return false;
    if (readFailed) {
        ShowError("Error reading file:\n" + workFileName_ + "\nfor compression (" + readError + ").", owner);
        return false;
    }
    if (writeFailed) {
        ShowError("Error writing file:\n" + pathName_ + "\nfor compression.", owner);
        return false;
    }
    return true;
}

bool CPatchDoc::DecompressPatchFile()
{
    const PromptOwner owner = PromptOwner::MainWindow;
    workFileName_ = core_.TempFolder() + "tempUCPathc.dvp";
    // A compact patch is no gzip stream: it has its own magic where the stream would begin.
    unsigned char start[sizeof kCompactMagic] = {};
    CBinFile assembled;
    const bool compact = assembled.Open(assembledFileName_, CBinFile::Mode::Read) &&
                         assembled.ReadExact(start, sizeof start) &&
                         std::memcmp(start, kCompactMagic, sizeof kCompactMagic) == 0;
    assembled.Close();
    if (compact)
        return UnpackCompactImage();
    gzFile in = gzopen(assembledFileName_.c_str(), "rb");
    if (!in) {
        ShowError("Error opening file:\n" + pathName_ + "\nfor decompression.", owner);
        return false;
    }
    gzbuffer(in, kReadBuffer);
    std::FILE* out = std::fopen(workFileName_.c_str(), "wb");
    if (!out) {
        gzclose_r(in);
        ShowError("Error creating file:\n" + workFileName_ + "\nfor decompression.", owner);
        return false;
    }

    // The image is written a whole piece at a time: the stream's own 4 KiB buffer would
    // split every piece into two writes.
    std::vector<char> outBuffer(kCopyBufferSize);
    std::setvbuf(out, outBuffer.data(), _IOFBF, outBuffer.size());

    std::vector<unsigned char> buffer(kCopyBufferSize);
    bool damaged = false;
    bool writeFailed = false;
    for (;;) {
        int n = gzread(in, buffer.data(), kCopyBufferSize);
        if (n < 0) {
            damaged = true; // nothing of a failed read is written
            break;
        }
        if (n == 0)
            break;
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
            writeFailed = true;
            break;
        }
    }
    if (std::fclose(out) != 0)
        writeFailed = true;
    // A stream cut short reads like a clean end; only the close tells. (The reading
    // close: the plain one would link zlib's compressor into the apply program too.)
    int closed = gzclose_r(in);
    if (closed != Z_OK)
        damaged = true;

    if (damaged || writeFailed) {
        fsys::DeleteFile(workFileName_);
        if (damaged)
            ShowError("The Delvorin file:\n" + pathName_ + "\nis damaged or incomplete and cannot be decompressed.",
                      owner);
        else
            ShowError("The temporary folder could not be written:\n" + core_.TempFolder() +
                          "\nThe disk may be full. The Delvorin file cannot be decompressed.",
                      owner);
        return false;
    }
    return true;
}
