// Verification of a target before an apply: the file must exist and have the length
// and byte sum that the patch was built against. Failures are written into an entry of
// the errors table, so that all of them can be listed together.
#include "engine/apply/Verification.h"

#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/CompactRebuild.h"
#include "engine/apply/CompactTree.h"
#include "engine/apply/ObjectStream.h"
#include "engine/apply/SafeNames.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "platform/BinFile.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/OpenFiles.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Files are read a piece at a time into memory that stays in the processor's cache: for
// a large file that is faster than mapping it (mapping costs as much per page as the
// copy, and summing then reads main memory).
constexpr size_t kSumChunk = size_t{256} << 10;
// Files from this length on are summed by two threads, a half each.
constexpr uint64_t kTwoThreadsFrom = uint64_t{16} << 20;
constexpr const char* kMissingText = "The following file to be updated is missing:\n%s\n\n";
constexpr const char* kMismatchText = "The following file does not match the file to be updated:\n%s\n\n";
constexpr const char* kNotRegularText =
    "The following file cannot be updated, because it is not a regular file:\n%s\n\n";
constexpr const char* kLinkOutText =
    "The following file is a symbolic link that leads out of the folder to be updated:\n%s\n\n";

} // namespace

namespace {

// Opens path for reading when it is a regular file (a link to one counts); an invalid
// file otherwise.
// Opened without waiting, so that a named pipe at the name cannot stall the check.
CFileRef OpenRegularFile(const std::string& path, uint64_t& length)
{
    CFileRef fd = fsys::OpenFileForReading(path);
    if (!fd.Valid())
        return CFileRef();
    CEntryStatus st;
    if (!fsys::OpenFileStatus(fd, st) || !st.IsFile()) {
        fsys::CloseFile(fd);
        return CFileRef();
    }
    length = st.size;
    return fd;
}

// The sum of the bytes [from, to) of the open file fd; nothing when the file ends
// before to or cannot be read.
std::optional<uint32_t> SumRange(CFileRef fd, uint64_t from, uint64_t to)
{
    // One buffer per thread, kept: checks come once or twice per file of an apply.
    thread_local std::vector<unsigned char> buffer(kSumChunk);
    uint32_t sum = 0;
    for (uint64_t at = from; at < to; at += kSumChunk) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kSumChunk, to - at));
        if (!fsys::ReadAt(fd, buffer.data(), want, at))
            return std::nullopt; // the file shrank or could not be read: not the expected file
        sum += ByteSum(buffer.data(), want);
    }
    return sum;
}

// The sum of the first length bytes of the open file fd. A large file is shared out: a
// helper thread takes the second half while this one takes the first (byte sums add up
// modulo 2^32 in any order).
std::optional<uint32_t> SumFile(CFileRef fd, uint64_t length)
{
    if (length >= kTwoThreadsFrom) {
        const uint64_t half = length / 2 / kSumChunk * kSumChunk;
        std::optional<uint32_t> second;
        try {
            std::thread helper([&] { second = SumRange(fd, half, length); });
            std::optional<uint32_t> first = SumRange(fd, 0, half);
            helper.join();
            if (!first || !second)
                return std::nullopt;
            return *first + *second;
        } catch (const std::system_error&) {
            // No thread could be started: this one sums it all.
        }
    }
    return SumRange(fd, 0, length);
}

// True when the open file fd, of the given length, has the expected length and byte sum.
// With keep, the bytes are read whole into *keep. Closes fd.
bool SumMatches(CFileRef fd, uint64_t length, int32_t expectedLength, uint32_t expectedSum,
                CByteBuffer* keep = nullptr)
{
    // The record stores an unsigned 32-bit length: files of 2 GiB and more must compare
    // as the same unsigned value, not as a negative number.
    const uint64_t wanted = static_cast<uint32_t>(expectedLength);
    if (length != wanted) {
        fsys::CloseFile(fd);
        return false;
    }

    if (keep) {
        keep->resize(static_cast<size_t>(length));
        const bool whole = fsys::ReadAt(fd, keep->data(), keep->size(), 0);
        fsys::CloseFile(fd);
        return whole && ByteSum(keep->data(), keep->size()) == expectedSum;
    }

    const bool matches = SumFile(fd, length) == std::optional<uint32_t>(expectedSum);
    fsys::CloseFile(fd);
    return matches;
}

} // namespace

CSumCheck TestFileSum(const std::string& path, int32_t expectedLength, uint32_t expectedSum,
                      CByteBuffer* keep)
{
    // Only a regular file can be the file a patch was built from; anything else (a
    // folder, a pipe that would block the read) counts as a file that cannot be opened.
    uint64_t length = 0;
    CFileRef fd = OpenRegularFile(path, length);
    if (!fd.Valid())
        return CSumCheck::CannotOpen;
    return SumMatches(fd, length, expectedLength, expectedSum, keep) ? CSumCheck::Matches : CSumCheck::Differs;
}

bool ReportFileSum(IEngineHost& core, const std::string& path, CSumCheck outcome)
{
    if (outcome == CSumCheck::CannotOpen)
        core.Ask(PromptOwner::MainWindow, "Unable to open file: " + path, kAppName, PromptButtons::OK,
                 PromptIcon::None);
    return outcome == CSumCheck::Matches;
}

bool CheckFileSum(IEngineHost& core, const std::string& path, int32_t expectedLength, uint32_t expectedSum,
                  CByteBuffer* keep)
{
    return ReportFileSum(core, path, TestFileSum(path, expectedLength, expectedSum, keep));
}

void FormatErrorEntry(char* entry, size_t entrySize, const char* format, const std::string& text)
{
    if (entrySize == 0)
        return;
    const size_t fixed = std::strlen(format) - 2; // without the %s
    std::string shown = Printable(text);
    if (fixed + shown.size() > entrySize - 1) {
        size_t room = entrySize - 1 > fixed + 3 ? entrySize - 1 - fixed - 3 : 0;
        shown = "..." + shown.substr(shown.size() - room);
    }
    std::snprintf(entry, entrySize, format, shown.c_str());
}

CContentSummary SummarizeBytes(const unsigned char* data, size_t length, bool strong)
{
    CContentSummary summary;
    summary.length = length;
    summary.sum = ByteSum(data, length);
    if (strong)
        summary.digest = CSha256::Of(data, length);
    return summary;
}

std::optional<CContentSummary> SummarizeOpenFile(CFileRef fd, uint64_t length, bool strong, CByteBuffer* keep)
{
    if (!strong) {
        std::optional<uint32_t> sum = SumOpenFile(fd, length, keep);
        if (!sum)
            return std::nullopt;
        return CContentSummary{length, *sum, std::nullopt};
    }
    if (keep) {
        keep->resize(static_cast<size_t>(length));
        if (!fsys::ReadAt(fd, keep->data(), keep->size(), 0))
            return std::nullopt;
        return SummarizeBytes(keep->data(), keep->size(), true);
    }
    // One pass: each piece is summed and hashed while it is in the processor's cache.
    thread_local std::vector<unsigned char> buffer(kSumChunk);
    CSha256 hash;
    CContentSummary summary;
    summary.length = length;
    for (uint64_t at = 0; at < length; at += kSumChunk) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kSumChunk, length - at));
        if (!fsys::ReadAt(fd, buffer.data(), want, at))
            return std::nullopt;
        summary.sum += ByteSum(buffer.data(), want);
        hash.Update(buffer.data(), want);
    }
    summary.digest = hash.Final();
    return summary;
}

std::optional<uint32_t> SumOpenFile(CFileRef fd, uint64_t length, CByteBuffer* keep)
{
    if (!keep)
        return SumFile(fd, length);
    keep->resize(static_cast<size_t>(length));
    if (!fsys::ReadAt(fd, keep->data(), keep->size(), 0))
        return std::nullopt;
    return ByteSum(keep->data(), keep->size());
}

CTargetState StateOfTarget(const CFilePatch& record, const CContentSummary& content)
{
    // A record whose old and new files agree (in length and sum, or in their hashes) is
    // patched: the two cannot be told apart.
    const bool strong = record.checks && content.digest;
    if (content.length == record.oldLength && content.sum == record.oldByteSum &&
        (!strong || (record.checks->hasOld && content.digest == record.checks->oldHash)))
        return CTargetState::Old;
    if (content.length == record.newLength && content.sum == record.newByteSum &&
        (!strong || content.digest == record.checks->newHash))
        return CTargetState::New;
    return CTargetState::Different;
}

bool IsNewContent(const CFilePatch& record, const CContentSummary& content)
{
    return content.length == record.newLength && content.sum == record.newByteSum &&
           (!record.checks || content.digest == record.checks->newHash);
}

namespace {

// The coverage of a record of very many objects: marked in a bitmap of one stretch of the
// new file at a time (256 MiB of file in 32 MiB), the objects of a record that does not
// hold them read again from the image for each stretch.
bool StreamedObjectsCoverNewFile(const CFilePatch& record, CFileRef imageFd)
{
    constexpr uint64_t kStretch = uint64_t{1} << 28;
    std::vector<uint64_t> bits;
    for (uint64_t start = 0; start < record.newLength; start += kStretch) {
        const uint64_t end = std::min<uint64_t>(start + kStretch, record.newLength);
        bits.assign(static_cast<size_t>((end - start + 63) / 64), 0);
        auto mark = [&](uint64_t from, uint64_t to) {
            if (to > record.newLength)
                return false;
            from = std::max(from, start) - start;
            to = std::min(to, end);
            to = to > start ? to - start : 0;
            for (; from < to && from % 64 != 0; ++from)
                bits[from / 64] |= uint64_t{1} << (from % 64);
            for (; from + 64 <= to; from += 64)
                bits[from / 64] = ~uint64_t{0};
            for (; from < to; ++from)
                bits[from / 64] |= uint64_t{1} << (from % 64);
            return true;
        };
        if (!ForEachObject(
                record, imageFd, [&](const COldPatch& o) { return mark(o.newOffset, uint64_t{o.newOffset} + o.length); },
                [&](size_t, const CNewPatch& n) { return mark(n.newOffset, uint64_t{n.newOffset} + n.length); }))
            return false;
        const uint64_t size = end - start;
        for (uint64_t at = 0; at < size; at += 64) {
            const uint64_t count = std::min<uint64_t>(64, size - at);
            const uint64_t want = count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
            if ((bits[at / 64] & want) != want)
                return false;
        }
    }
    return true;
}

} // namespace

bool ObjectsCoverNewFile(const CFilePatch& record, CFileRef imageFd)
{
    if (record.compact)
        return CompactControlsValid(record, imageFd);
    // Many objects (a thorough patch of a binary holds one per 80 bytes or so) are marked
    // in a bitmap: sorting them would cost more than the rest of their apply.
    constexpr size_t kMarkFrom = 4096;
    if (record.objectsStreamed || record.oldPatches.size() + record.newPatches.size() >= kMarkFrom)
        return StreamedObjectsCoverNewFile(record, imageFd);
    std::vector<std::pair<uint64_t, uint64_t>> stretches;
    stretches.reserve(record.oldPatches.size() + record.newPatches.size());
    for (const COldPatch& o : record.oldPatches)
        stretches.emplace_back(o.newOffset, uint64_t{o.newOffset} + o.length);
    for (const CNewPatch& n : record.newPatches)
        stretches.emplace_back(n.newOffset, uint64_t{n.newOffset} + n.length);
    std::sort(stretches.begin(), stretches.end());
    uint64_t covered = 0;
    for (const auto& [from, to] : stretches) {
        if (from > covered || to > record.newLength)
            return false;
        covered = std::max(covered, to);
    }
    return covered == record.newLength;
}

int CFilePatch::VerifyTargetFile(char* entry)
{
    targetHoldsNew = false;
    auto fail = [&](const char* text) {
        FormatErrorEntry(entry, CDirDiff::kErrorTextSize, text, oldPath);
        return 0;
    };
    // A record verified on its own opens the folder its target path names.
    CApplyContext own;
    if (!applyContext && (!TargetFolderOf(oldPath, name, own.rootPath) || !own.root.Open(own.rootPath)))
        return fail(kMissingText);
    const CFolderHandle& root = applyContext ? applyContext->root : own.root;
    if (newFileFlag) {
        // A file that the patch creates need not exist; whatever is at its name is
        // replaced, which only a file (or a link) can be.
        std::string folder, leaf;
        SplitRelativeName(name, folder, leaf);
        CFolderHandle ownParent;
        const CFolderHandle& parent =
            applyContext ? applyContext->folders.Folder(folder) : (ownParent = root.Folder(folder));
        CEntryStatus st;
        if (!parent.Valid() || !parent.Status(leaf, st))
            return 1;
        if (!st.IsFile() && !st.IsLink())
            return fail(kNotRegularText);
        // A file of the new length may be the new file already (an interrupted apply
        // put it in place): then it is written no more.
        if (st.IsFile() && st.size == newLength) {
            CFileRef fd = root.OpenForReading(name);
            if (fd.Valid()) {
                std::optional<CContentSummary> content =
                    SummarizeOpenFile(fd, newLength, checks.has_value() || compactDelta.present);
                fsys::CloseFile(fd);
                targetHoldsNew = content && IsNewContent(*this, *content);
                if (targetHoldsNew && content->digest)
                    NoteCompactDigest(*this, *content->digest);
            }
        }
        return 1;
    }

    // The file is opened beneath the target folder: a link that leads out of it is
    // refused by the kernel. One that can be opened is summed through that opening.
    CFileRef fd = root.OpenForReading(name);
    if (!fd.Valid()) {
        const SystemError why = LastSystemError();
        return fail(why == SystemError::NotRegular ? kNotRegularText
                    : why == SystemError::LinkOut  ? kLinkOutText
                                                   : kMissingText);
    }
    CEntryStatus st;
    const bool known = fsys::OpenFileStatus(fd, st);
    const uint64_t length = known ? st.size : 0;
    // Only a file of one of the two lengths needs to be read.
    std::optional<CContentSummary> content;
    if (known && (length == oldLength || length == newLength))
        content = SummarizeOpenFile(fd, length, checks.has_value());
    CTargetState state = content ? StateOfTarget(*this, *content) : CTargetState::Different;
    // A compact target to be patched is checked through its rebuild; one done already
    // (an interrupted apply) gives its digest to the new tree's, and is read again for it.
    if (state == CTargetState::New && compactDelta.present && !content->digest) {
        content = SummarizeOpenFile(fd, length, true);
        if (!content || !IsNewContent(*this, *content))
            state = CTargetState::Different;
    }
    fsys::CloseFile(fd);
    if (state == CTargetState::Different)
        return fail(kMismatchText);
    targetHoldsNew = state == CTargetState::New;
    if (targetHoldsNew && content->digest)
        NoteCompactDigest(*this, *content->digest);
    return 1;
}
