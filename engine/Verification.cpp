// Verification of a target before an apply: the file must exist and have the length
// and byte sum that the patch was built against. Failures are written into an entry of
// the errors table, so that all of them can be listed together.
#include "engine/Verification.h"

#include "app/AppCore.h"
#include "engine/CDirDiff.h"
#include "engine/CFilePatch.h"
#include "engine/FileContent.h"
#include "platform/BinFile.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kSumChunk = 64000;
// Mapped windows of large files: a multiple of any page size.
constexpr uint64_t kSumWindow = uint64_t{16} << 20;
constexpr const char* kMissingText = "The following file to be updated is missing:\n%s\n\n";
constexpr const char* kMismatchText = "The following file does not match the file to be updated:\n%s\n\n";

} // namespace

namespace {

// Opens path for reading when it is a regular file (a link to one counts); -1 otherwise.
// Opened without waiting, so that a named pipe at the name cannot stall the check.
int OpenRegularFile(const std::string& path, uint64_t& length)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    length = static_cast<uint64_t>(st.st_size);
    return fd;
}

// The sum of the bytes [from, to) of the open file fd, mapped a window at a time (from
// a multiple of the window); nothing when a window could not be mapped whole or the
// file shrank while it was mapped.
std::optional<uint32_t> SumWindows(int fd, uint64_t from, uint64_t to)
{
    uint32_t sum = 0;
    for (uint64_t at = from; at < to; at += kSumWindow) {
        CFileContent window;
        const size_t size = static_cast<size_t>(std::min<uint64_t>(kSumWindow, to - at));
        if (window.Load(fd, size, at) != CFileContent::LoadResult::Ok)
            return std::nullopt;
        sum += ByteSum(window.data(), window.size());
        if (window.Damaged())
            return std::nullopt;
    }
    return sum;
}

// The sum of the bytes of a large file, summed where they lie in memory, without
// copying them. Mapping the pages costs as much as adding them up, so a file of several
// windows is shared out: a helper thread takes the second half while this one takes the
// first (byte sums add up modulo 2^32 in any order).
std::optional<uint32_t> SumMappedFile(int fd, uint64_t length)
{
    const uint64_t windows = (length + kSumWindow - 1) / kSumWindow;
    if (windows >= 2) {
        const uint64_t half = windows / 2 * kSumWindow;
        std::optional<uint32_t> second;
        try {
            std::thread helper([&] { second = SumWindows(fd, half, length); });
            std::optional<uint32_t> first = SumWindows(fd, 0, half);
            helper.join();
            if (!first || !second)
                return std::nullopt;
            return *first + *second;
        } catch (const std::system_error&) {
            // No thread could be started: this one sums it all.
        }
    }
    return SumWindows(fd, 0, length);
}

// True when the open file fd, of the given length, has the expected length and byte sum.
// With keep, the bytes are read whole into *keep. Closes fd.
bool SumMatches(int fd, uint64_t length, int32_t expectedLength, uint32_t expectedSum,
                std::vector<unsigned char>* keep = nullptr)
{
    // The record stores an unsigned 32-bit length: files of 2 GiB and more must compare
    // as the same unsigned value, not as a negative number.
    const uint64_t wanted = static_cast<uint32_t>(expectedLength);
    if (length != wanted) {
        ::close(fd);
        return false;
    }

    if (keep) {
        keep->resize(static_cast<size_t>(length));
        const bool whole = fsys::ReadAt(fd, keep->data(), keep->size(), 0);
        ::close(fd);
        return whole && ByteSum(keep->data(), keep->size()) == expectedSum;
    }

    if (length >= CFileContent::kMapFrom) {
        const bool whole = SumMappedFile(fd, length) == std::optional<uint32_t>(expectedSum);
        ::close(fd);
        return whole;
    }

    // One buffer per thread, kept: checks come once or twice per file of an apply.
    thread_local std::vector<unsigned char> buffer(kSumChunk);
    uint32_t sum = 0;
    uint64_t done = 0;
    while (done < length) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the file shrank or could not be read: not the expected file
        sum += ByteSum(buffer.data(), static_cast<size_t>(n));
        done += static_cast<uint64_t>(n);
    }
    ::close(fd);
    return done == length && sum == expectedSum;
}

} // namespace

bool CheckFileSum(CAppCore& core, const std::string& path, int32_t expectedLength, uint32_t expectedSum,
                  std::vector<unsigned char>* keep)
{
    // Only a regular file can be the file a patch was built from; anything else (a
    // folder, a pipe that would block the read) counts as a file that cannot be opened.
    uint64_t length = 0;
    int fd = OpenRegularFile(path, length);
    if (fd < 0) {
        core.Ask(PromptOwner::MainWindow, "Unable to open file: " + path, kAppName, PromptButtons::OK,
                 PromptIcon::None);
        return false;
    }
    return SumMatches(fd, length, expectedLength, expectedSum, keep);
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

    // A file that cannot be opened is missing; one that can is summed through the same
    // opening.
    uint64_t length = 0;
    int fd = OpenRegularFile(oldPath, length);
    if (fd < 0) {
        FormatErrorEntry(entry, CDirDiff::kErrorTextSize, kMissingText, oldPath);
        return 0;
    }
    if (!SumMatches(fd, length, static_cast<int32_t>(oldLength), oldByteSum)) {
        FormatErrorEntry(entry, CDirDiff::kErrorTextSize, kMismatchText, oldPath);
        return 0;
    }
    return 1;
}
