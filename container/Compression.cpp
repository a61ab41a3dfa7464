// Compression of the finished patch image into one gzip stream (or, for a thorough build
// of a small image, one stronger deflate call).
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "container/WholeImageGzip.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {
constexpr unsigned kCopyBufferSize = 65536;
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
            readError = LastSystemErrorText();
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
