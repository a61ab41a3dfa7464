// Decompression of a patch file's gzip stream into the temporary folder before an apply.
// Only zlib's reading side is used, so the apply program links no compressor.
#include "app/EngineHost.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

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


bool CPatchDoc::DecompressPatchFile()
{
    const PromptOwner owner = PromptOwner::MainWindow;
    workFileName_ = core_.TempFolder() + "tempUCPathc.dvp";
    // A compact patch is no gzip stream: it has its own magic where the stream would begin.
    unsigned char start[sizeof kCompactMagic] = {};
    CBinFile assembled;
    const bool compact = assembled.Open(streamFile_, CBinFile::Mode::Read) && assembled.Seek(streamStart_) &&
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
