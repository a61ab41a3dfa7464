// Verification of a target before an apply: the file must exist and have the length
// and byte sum that the patch was built against. Failures are written into an entry of
// the errors table, so that all of them can be listed together.
#include "engine/Verification.h"

#include "app/AppCore.h"
#include "engine/CDirDiff.h"
#include "engine/CFilePatch.h"
#include "platform/BinFile.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kSumChunk = 64000;
constexpr const char* kMissingText = "The following file to be updated is missing:\n%s\n\n";
constexpr const char* kMismatchText = "The following file does not match the file to be updated:\n%s\n\n";

} // namespace

bool CheckFileSum(CAppCore& core, const std::string& path, int32_t expectedLength, uint32_t expectedSum)
{
    CBinFile file;
    // Only a regular file can be the file a patch was built from; anything else (a
    // folder, a pipe that would block the read) counts as a file that cannot be opened.
    if (!fsys::FileExists(path) || !file.Open(path, CBinFile::Mode::Read)) {
        core.Ask(PromptOwner::MainWindow, "Unable to open file: " + path, kAppName, PromptButtons::OK,
                 PromptIcon::None);
        return false;
    }
    // The record stores an unsigned 32-bit length: files of 2 GiB and more must compare
    // as the same unsigned value, not as a negative number.
    const uint64_t wanted = static_cast<uint32_t>(expectedLength);
    const uint64_t length = file.Length();
    if (length != wanted)
        return false;

    std::vector<unsigned char> buffer(kSumChunk);
    uint32_t sum = 0;
    uint64_t done = 0;
    while (done < length) {
        size_t n = file.Read(buffer.data(), buffer.size());
        if (n == 0)
            return false; // the file shrank or could not be read: not the expected file
        sum += ByteSum(buffer.data(), n);
        done += n;
    }
    file.Close();
    return done == length && sum == expectedSum;
}

void FormatErrorEntry(char* entry, size_t entrySize, const char* format, const std::string& text)
{
    if (entrySize == 0)
        return;
    const size_t fixed = std::strlen(format) - 2; // without the %s
    std::string shown = text;
    if (fixed + shown.size() > entrySize - 1) {
        size_t room = entrySize - 1 > fixed + 3 ? entrySize - 1 - fixed - 3 : 0;
        shown = "..." + shown.substr(shown.size() - room);
    }
    std::snprintf(entry, entrySize, format, shown.c_str());
}

int CFilePatch::VerifyTargetFile(char* entry)
{
    // A file that the patch creates need not exist.
    if (newFileFlag)
        return 1;

    CBinFile probe;
    if (!fsys::FileExists(oldPath) || !probe.Open(oldPath, CBinFile::Mode::Read)) {
        FormatErrorEntry(entry, CDirDiff::kErrorTextSize, kMissingText, oldPath);
        return 0;
    }
    probe.Close();

    if (!CheckFileSum(core_, oldPath, static_cast<int32_t>(oldLength), oldByteSum)) {
        FormatErrorEntry(entry, CDirDiff::kErrorTextSize, kMismatchText, oldPath);
        return 0;
    }
    return 1;
}
