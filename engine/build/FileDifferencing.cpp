// File differencing: describes a new file as byte ranges copied from the old file
// (old-copy objects) plus literal bytes of the new file (new-data objects).
//
// Both files are cut into content-defined blocks at a separator byte chosen from the
// old file's statistics. Every block of the new file is looked up among the old file's
// blocks; a hit is widened byte by byte in both directions, and whatever no hit covers
// becomes new data. The step writes a trace of its decisions to the build log.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/common/CFilePatch.h"
#include "engine/build/CompactMatcher.h"
#include "engine/build/FilePrefetch.h"
#include "engine/build/InputFile.h"
#include "engine/build/MatchLength.h"
#include "engine/build/ScanAhead.h"
#include "platform/FileTimes.h"
#include "platform/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr double kMinMeanGap = 20.0;
constexpr uint64_t kFirstThreshold = 80;
constexpr uint64_t kThresholdStep = 50;
constexpr uint64_t kThresholdCeiling = 500;
constexpr double kProgressScale = 90.0;
// New files from this length on are cut ahead of the matching scan by a helper thread.
constexpr uint32_t kScanAheadFrom = uint32_t{4} << 20;
// The largest length the 32-bit fields of a file record can describe.
constexpr uint64_t kMaxFileLength = 0xFFFFFFFFULL;

const char* const kErrorTitle = "Delvorin Error";
const char* const kNoMemory = "Unable to allocate enough memory to build Delvorin file.\n\nOperation cancelled!";
const std::string kPlusLine(66, '+');

void ReleaseContents(CFilePatch& record)
{
    record.oldContent.clear();
    record.newContent.clear();
    record.blockIndex.Clear();
}

// Pairs from this length on (old and new together) hash the old content on a helper
// thread while this one hashes the new.
constexpr uint64_t kHashBesideFrom = uint64_t{8} << 20;

// The strong checks of the record, from the contents at hand: the old file's (none for a
// new file) and the new file's SHA-256.
void TakeChecks(CFilePatch& record)
{
    CRecordChecks checks;
    checks.hasOld = record.newFileFlag == 0;
    const bool same = checks.hasOld && record.oldContent.size() == record.newContent.size() &&
                      (record.newContent.empty() ||
                       std::memcmp(record.oldContent.data(), record.newContent.data(), record.newContent.size()) == 0);
    auto hashOld = [&] { checks.oldHash = CSha256::Of(record.oldContent.data(), record.oldContent.size()); };
    bool oldDone = !checks.hasOld || same;
    if (!oldDone && record.oldContent.size() + record.newContent.size() >= kHashBesideFrom) {
        try {
            std::thread helper(hashOld);
            checks.newHash = CSha256::Of(record.newContent.data(), record.newContent.size());
            helper.join();
            record.checks = checks;
            return;
        } catch (const std::system_error&) {
            // No helper: both are hashed here.
        }
    }
    if (!oldDone)
        hashOld();
    checks.newHash = CSha256::Of(record.newContent.data(), record.newContent.size());
    if (same)
        checks.oldHash = checks.newHash;
    record.checks = checks;
}

void AppendSummary(IEngineHost& core, uint32_t count, uint64_t total)
{
    core.AppendToLogFile(kPlusLine);
    core.AppendToLogFile("Number patches: " + std::to_string(count) + ", Tot size: " + std::to_string(total));
    core.AppendToLogFile(kPlusLine);
}

// Gap filling: a new-data object for every part of the new file that no old-copy object
// covers, in order, with its trace lines and summary when logging.
void FillGaps(CFilePatch& r, bool oldPresent, bool logging)
{
    IEngineHost& core = r.Core();
    const std::vector<COldPatch>& oldPatches = r.oldPatches;
    const uint32_t newLength = r.newLength;
    uint32_t count = 0;
    uint64_t total = 0;
    auto addNewData = [&](uint32_t offset, uint32_t length, bool logged) {
        r.newPatches.push_back(CNewPatch{offset, length, 0});
        if (!logged)
            return;
        ++count;
        total += length;
        if (logging) {
            core.AppendToLogFile("New Patch start in new file ( " + r.name + " ): " + std::to_string(offset));
            core.AppendToLogFile("New Patch size: " + std::to_string(length));
        }
    };
    if (!oldPresent || oldPatches.empty()) {
        addNewData(0, newLength, true);
        if (logging)
            core.AppendToLogFile("Size of object: " + std::to_string(140));
    } else {
        const COldPatch& first = oldPatches.front();
        if (first.newOffset > 0)
            addNewData(0, first.newOffset, true);
        for (size_t i = 1; i < oldPatches.size(); ++i) {
            uint32_t previousEnd = oldPatches[i - 1].newOffset + oldPatches[i - 1].length;
            if (oldPatches[i].newOffset > previousEnd)
                addNewData(previousEnd, oldPatches[i].newOffset - previousEnd, true);
        }
        uint32_t lastEnd = oldPatches.back().newOffset + oldPatches.back().length;
        // The trailing gap appears in the trace only when there is a single old-copy object.
        if (lastEnd < newLength)
            addNewData(lastEnd, newLength - lastEnd, oldPatches.size() == 1);
    }
    if (logging)
        AppendSummary(core, count, total);
}

} // namespace

namespace {

// The gaps of a stretch of a buffer, per byte value: first and last occurrence
// (absolute positions, -1 when the value does not occur), number of occurrences, and
// the sum of the squared gaps between consecutive occurrences inside the stretch.
struct CGapSums {
    int64_t first[256];
    int64_t last[256];
    uint64_t count[256];
    uint64_t squares[256];
    CGapSums()
    {
        for (int b = 0; b < 256; ++b) {
            first[b] = last[b] = -1;
            count[b] = squares[b] = 0;
        }
    }
    // Appends the stretch that follows this one: the gap from the last occurrence here
    // to the first one there is the only one neither could see.
    void Append(const CGapSums& next)
    {
        for (int b = 0; b < 256; ++b) {
            if (next.count[b] == 0)
                continue;
            if (count[b] == 0) {
                first[b] = next.first[b];
                squares[b] = next.squares[b];
            } else {
                uint64_t gap = static_cast<uint64_t>(next.first[b] - last[b]);
                squares[b] += gap * gap + next.squares[b];
            }
            count[b] += next.count[b];
            last[b] = next.last[b];
        }
    }
    // For sums that start at the start of the buffer: the gap from the virtual
    // occurrence before the buffer to the first one.
    void OpenAtStart()
    {
        for (int b = 0; b < 256; ++b) {
            if (count[b] == 0)
                continue;
            uint64_t gap = static_cast<uint64_t>(first[b] + 1);
            squares[b] += gap * gap;
        }
    }
};

// One lane of less than 2 MiB: its squared gaps stay below 2^42, so the count of
// occurrences (below 2^21) shares one word with them and every byte costs one
// read-modify-write of the table. Every value starts as if it occurred just before the
// lane, so no byte needs a test for a first occurrence: the gap that start adds is
// taken out again once the first occurrences are known.
constexpr uint32_t kLaneMax = (uint32_t{1} << 21) - 1;
constexpr unsigned kCountShift = 42;
constexpr uint64_t kOneOccurrence = uint64_t{1} << kCountShift;

// Four neighbouring lanes of equal length are scanned side by side: their four chains
// of table updates do not wait for each other, which the processor overlaps.
constexpr size_t kLanes = 4;

struct CLanes {
    uint32_t last[kLanes + 1][256];
    uint64_t packed[kLanes + 1][256];
};

// Adds lane k, which covers [start, start + length) of the buffer, to sums.
void AddLane(const CLanes& lanes, size_t k, const unsigned char* data, uint32_t start, uint32_t length, CGapSums& sums)
{
    CGapSums mine;
    int present = 0;
    for (int b = 0; b < 256; ++b) {
        mine.count[b] = lanes.packed[k][b] >> kCountShift;
        present += mine.count[b] != 0;
    }
    // First occurrences: a scan from the lane's start until every value it holds is met.
    for (uint32_t i = 0; present > 0 && i < length; ++i) {
        unsigned b = data[start + i];
        if (mine.first[b] < 0) {
            mine.first[b] = start + i;
            --present;
        }
    }
    for (int b = 0; b < 256; ++b) {
        if (mine.count[b] == 0)
            continue;
        const uint64_t opening = static_cast<uint64_t>(mine.first[b] - start) + 1;
        mine.squares[b] = (lanes.packed[k][b] & (kOneOccurrence - 1)) - opening * opening;
        mine.last[b] = lanes.last[k][b];
    }
    sums.Append(mine);
}

// Adds the gaps of [begin, end) of the buffer to sums (which holds what lies before).
void ScanRange(const unsigned char* data, size_t begin, size_t end, CGapSums& sums)
{
    auto lanes = std::make_unique<CLanes>();
    while (begin < end) {
        const size_t group = std::min<size_t>(end - begin, kLanes * size_t{kLaneMax});
        const uint32_t lane = static_cast<uint32_t>(group / kLanes);
        const uint32_t base = static_cast<uint32_t>(begin);
        uint32_t starts[kLanes + 1];
        for (size_t k = 0; k <= kLanes; ++k) {
            starts[k] = base + static_cast<uint32_t>(k) * lane;
            for (int b = 0; b < 256; ++b) {
                lanes->last[k][b] = starts[k] - 1; // may wrap to 2^32 - 1: the gap is still right
                lanes->packed[k][b] = 0;
            }
        }
        const unsigned char* p = data + begin;
        uint32_t (*last)[256] = lanes->last;
        uint64_t (*packed)[256] = lanes->packed;
        for (uint32_t i = 0; i < lane; ++i) {
            const uint32_t at = base + i;
            for (size_t k = 0; k < kLanes; ++k) {
                const unsigned b = p[i + k * lane];
                const uint32_t position = at + static_cast<uint32_t>(k) * lane;
                const uint64_t gap = position - last[k][b];
                packed[k][b] += gap * gap + kOneOccurrence;
                last[k][b] = position;
            }
        }
        for (uint32_t i = kLanes * lane; i < group; ++i) {
            const unsigned b = p[i];
            const uint64_t gap = base + i - last[kLanes][b];
            packed[kLanes][b] += gap * gap + kOneOccurrence;
            last[kLanes][b] = base + i;
        }
        for (size_t k = 0; k <= kLanes; ++k) {
            const uint32_t length = k < kLanes ? lane : static_cast<uint32_t>(group - kLanes * lane);
            AddLane(*lanes, k, data, starts[k], length, sums);
        }
        begin += group;
    }
}

// Buffers from this length on are scanned by two threads, each taking one half.
constexpr size_t kTwoThreads = size_t{8} << 20;

} // namespace

void GapStatistics(const unsigned char* data, size_t length, CGapStats stats[256])
{
    // The gaps of one byte value are the distances between consecutive occurrences,
    // with a virtual occurrence before the buffer and one at its end.
    // The squares are added up exactly in integers: every gap inside the buffer is below
    // 2^32 and the gaps of one value add up to at most the length, so their squares add
    // up to less than 2^64 (for the buffers below 4 GiB that a record can describe).
    // Only the closing gap, up to 2^32, is squared in double.
    // The buffer is cut into stretches that are scanned independently (side by side, and
    // in two threads for a large buffer) and then joined: the sums are the same integers.
    CGapSums sums;
    bool done = false;
    if (length >= kTwoThreads) {
        const size_t half = length / 2;
        try {
            CGapSums second;
            std::thread helper([&] { ScanRange(data, half, length, second); });
            ScanRange(data, 0, half, sums);
            helper.join();
            sums.Append(second);
            done = true;
        } catch (const std::system_error&) {
            sums = CGapSums(); // no thread could be started: one scan does it all
        }
    }
    if (!done)
        ScanRange(data, 0, length, sums);
    sums.OpenAtStart();

    for (int b = 0; b < 256; ++b) {
        CGapStats& s = stats[b];
        double gap = static_cast<double>(static_cast<int64_t>(length) - sums.last[b]);
        s.numberOfGaps = sums.count[b] + 1;
        s.sumOfGaps = static_cast<uint64_t>(length) + 1; // the gaps always add up to this
        s.sumOfSquares = static_cast<double>(sums.squares[b]) + gap * gap;
        s.lastPosition = sums.last[b];
        double n = static_cast<double>(s.numberOfGaps);
        s.meanGap = static_cast<double>(s.sumOfGaps) / n;
        // Rounding can take a zero variance just below zero; the deviation is then 0.
        double variance = s.sumOfSquares / n - s.meanGap * s.meanGap;
        s.deviation = variance > 0.0 ? std::sqrt(variance) : 0.0;
    }
}

unsigned char ChooseSeparator(const unsigned char* data, size_t length)
{
    CGapStats stats[256];
    GapStatistics(data, length, stats);
    return SeparatorFromStatistics(stats, length);
}

uint32_t ByteSumFromStatistics(const CGapStats stats[256])
{
    uint64_t sum = 0;
    for (int b = 1; b < 256; ++b)
        sum += static_cast<uint64_t>(b) * (stats[b].numberOfGaps - 1);
    return static_cast<uint32_t>(sum);
}

unsigned char SeparatorFromStatistics(const CGapStats stats[256], size_t length)
{
    for (uint64_t threshold = kFirstThreshold; threshold < kThresholdCeiling && threshold < length;
         threshold += kThresholdStep) {
        int chosen = -1;
        for (int b = 0; b < 256; ++b) {
            const CGapStats& s = stats[b];
            if (s.meanGap < kMinMeanGap || s.meanGap > static_cast<double>(threshold))
                continue;
            // Strictly smaller only: ties go to the lowest byte value.
            if (chosen < 0 || s.deviation < stats[chosen].deviation)
                chosen = b;
        }
        if (chosen >= 0)
            return static_cast<unsigned char>(chosen);
    }
    return 0;
}

void COldPatch::Extend(const unsigned char* oldData, const unsigned char* newData, uint32_t oldOff, uint32_t newOff,
                       uint32_t len, uint32_t oldLength, uint32_t newLength)
{
    // Backwards, while the bytes before both offsets are equal.
    const uint32_t back = matchlen::Backward(oldData + oldOff, newData + newOff, std::min(oldOff, newOff));
    oldOff -= back;
    newOff -= back;
    len += back;
    // Forwards, while both files go on and their bytes are equal.
    const uint32_t ahead = std::min(oldLength - (oldOff + len), newLength - (newOff + len));
    len += matchlen::Forward(oldData + oldOff + len, newData + newOff + len, ahead);

    oldOffset = oldOff;
    newOffset = newOff;
    length = len;
}

// Opens both files and takes their lengths, times and contents; false when a message
// has been shown.
bool CFilePatch::OpenAndLoad(const std::string& oldFilePath, const std::string& newFilePath, bool& oldPresent)
{
    // An old file that cannot be opened makes this a new file.
    CInputFile oldFile;
    if (!oldFile.Open(oldFilePath, oldTimes))
        newFileFlag = 1;
    oldPresent = oldFile.IsOpen();

    CInputFile newFile;
    if (!newFile.Open(newFilePath, newTimes)) {
        oldFile.Close();
        core_.Ask(PromptOwner::MainWindow, "Unable to open file:\n" + newFilePath, kErrorTitle);
        return false;
    }

    // The record holds lengths and offsets in 32 bits: a longer file cannot be described.
    for (const CInputFile* f : {&oldFile, &newFile}) {
        if (f->IsOpen() && f->Length() > kMaxFileLength) {
            core_.Ask(PromptOwner::MainWindow,
                      "The following file is too large for a Delvorin file (4 GB or more):\n" +
                          (f == &oldFile ? oldFilePath : newFilePath),
                      kErrorTitle, PromptButtons::OK, PromptIcon::Stop);
            return false;
        }
    }
    oldLength = static_cast<uint32_t>(oldFile.Length());
    newLength = static_cast<uint32_t>(newFile.Length());

    // A file that changes length while it is read would give a record that does not
    // describe it; such a read is a failure, not a short content.
    for (CInputFile* f : {&oldFile, &newFile}) {
        if (!f->IsOpen())
            continue;
        CFileContent& content = f == &oldFile ? oldContent : newContent;
        CFileContent::LoadResult loaded = content.Load(f->Fd(), f == &oldFile ? oldLength : newLength);
        if (loaded == CFileContent::LoadResult::NoMemory) {
            ReleaseContents(*this);
            core_.Ask(PromptOwner::ProgressDialog, kNoMemory, kErrorTitle, PromptButtons::OK, PromptIcon::Stop);
            return false;
        }
        if (loaded == CFileContent::LoadResult::ReadError) {
            ReleaseContents(*this);
            core_.Ask(PromptOwner::MainWindow, "Unable to read file:\n" + (f == &oldFile ? oldFilePath : newFilePath),
                      kErrorTitle);
            return false;
        }
    }
    oldFile.Close();
    newFile.Close();
    return true;
}

namespace {

// Index step: the old file's byte statistics choose the separator and give its sum; its
// blocks go into the index that the scan looks the new file's blocks up in.
void IndexOldFile(CFilePatch& r)
{
    const unsigned char* oldData = r.oldContent.data();
    CGapStats stats[256];
    GapStatistics(oldData, r.oldLength, stats);
    r.separator = SeparatorFromStatistics(stats, r.oldLength);
    r.oldByteSum = ByteSumFromStatistics(stats);
    // The blocks after the first each start with a separator byte.
    r.blockIndex.Build(oldData, r.oldLength, r.separator, stats[r.separator].numberOfGaps);
}

// Scan step: the new file's blocks are looked up in the index and each hit grows into an
// old-copy object; blocks that start inside the previous hit are skipped. count and total
// sum the objects for the log. False when the user confirmed a cancel.
bool ScanForCopies(CFilePatch& r, const std::string& oldFilePath, IBuildProgress* progress, bool logging,
                   std::optional<CScanAhead>& ahead, uint32_t& count, uint64_t& total)
{
    IEngineHost& core = r.Core();
    const unsigned char* oldData = r.oldContent.data();
    const unsigned char* newData = r.newContent.data();
    const uint32_t oldLength = r.oldLength;
    const uint32_t newLength = r.newLength;
    CBlockNode block;
    const unsigned char* cursor = newData;
    const unsigned char* end = newData + newLength;
    bool haveHit = false;
    uint64_t hitEnd = 0;
    if (newLength >= kScanAheadFrom) {
        try {
            ahead.emplace(newData, newLength, r.separator);
        } catch (const std::system_error&) {
            // No helper: the scan cuts the new file itself.
        }
    }
    const std::vector<CScanAhead::CBounds>* run = nullptr;
    size_t inRun = 0;
    // The next block of the new file, from the helper or cut here. The index was
    // made by Build, so the blocks need no byte sums.
    auto nextBlock = [&] {
        if (!ahead)
            return block.CutBounds(cursor, end, r.separator);
        if (!run || inRun == run->size()) {
            run = &ahead->Next();
            inRun = 0;
            if (run->empty())
                return false;
        }
        const CScanAhead::CBounds& b = (*run)[inRun++];
        block.start = newData + b.offset;
        block.length = b.length;
        return true;
    };
    while (nextBlock()) {
        uint32_t blockOffset = static_cast<uint32_t>(block.start - newData);
        if (haveHit && blockOffset < hitEnd)
            continue;
        const CBlockNode* hit = r.blockIndex.Find(block);
        if (!hit)
            continue;
        COldPatch patch;
        patch.Extend(oldData, newData, static_cast<uint32_t>(hit->start - oldData), blockOffset, hit->length,
                     oldLength, newLength);
        if (logging) {
            core.AppendToLogFile("Old Patch start in old file ( " + oldFilePath +
                                 " ): " + std::to_string(patch.oldOffset));
            core.AppendToLogFile("Old Patch start in new file ( " + r.name +
                                 " ): " + std::to_string(patch.newOffset));
            core.AppendToLogFile("Old Patch size: " + std::to_string(patch.length));
        }
        uint64_t patchEnd = static_cast<uint64_t>(patch.newOffset) + patch.length;
        if (progress) {
            if (progress->CheckCancelButton() &&
                core.Ask(PromptOwner::ProgressDialog,
                         "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\n"
                         "Do you really want to cancel this process?",
                         "Delvorin Warning", PromptButtons::YesNo) == PromptAnswer::Yes) {
                ahead.reset(); // the helper reads the contents
                ReleaseContents(r);
                return false;
            }
            progress->SetFilePos(
                static_cast<int>(static_cast<double>(patchEnd) / newLength * kProgressScale));
        }
        r.oldPatches.push_back(patch);
        ++count;
        total += patch.length;
        haveHit = true;
        hitEnd = patchEnd;
    }
    return true;
}

} // namespace

bool CFilePatch::LoadPair(const std::string& oldFilePath, const std::string& newFilePath, bool& oldPresent)
{
    FreeBuffers();
    oldPath = oldFilePath;
    name = newFilePath;
    oldLength = oldByteSum = newLength = newByteSum = 0;
    newFileFlag = 0;
    separator = 0;
    checks.reset();
    newTimes = CFileTimes{};
    oldTimes = CFileTimes{};

    oldPresent = false;
    if (std::unique_ptr<CPrefetchedPair> pair = std::move(prefetched_)) {
        // Read ahead: both files are small regular files (or the old one is missing).
        oldPresent = pair->oldFile.present;
        newFileFlag = oldPresent ? 0 : 1;
        if (oldPresent)
            oldTimes = pair->oldFile.times;
        newTimes = pair->newFile.times;
        oldLength = pair->oldFile.length;
        newLength = pair->newFile.length;
        oldContent.swap(pair->oldFile.content);
        newContent.swap(pair->newFile.content);
        return true;
    }
    return OpenAndLoad(oldFilePath, newFilePath, oldPresent);
}

int CFilePatch::CreatePatch(const std::string& oldFilePath, const std::string& newFilePath,
                            const std::string& newFolder, IBuildProgress* progress)
{
    if (oldFilePath.empty() || newFilePath.empty())
        return 0;
    bool oldPresent = false;
    if (!LoadPair(oldFilePath, newFilePath, oldPresent))
        return 0;

    // The name below the new folder.
    std::string prefix = newFolder;
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    if (name.compare(0, prefix.size(), prefix) == 0)
        name.erase(0, prefix.size());

    const unsigned char* oldData = oldContent.data();
    const unsigned char* newData = newContent.data();
    // The old file's sum comes with the statistics of its bytes below, which read them
    // anyway; an old file with the new file's bytes has the new file's sum. The new
    // file's sum of a large pair comes with the cut ahead of the matching scan.
    const bool sameBytes = oldLength == newLength && (newLength == 0 || std::memcmp(oldData, newData, newLength) == 0);
    std::optional<CScanAhead> ahead;
    if (sameBytes || !oldPresent)
        newByteSum = ByteSum(newData, newLength);

    // A mapped file that shrank while it was read has given zeros for its lost bytes.
    auto shrank = [&] {
        if (!oldContent.Damaged() && !newContent.Damaged())
            return false;
        const std::string& path = oldContent.Damaged() ? oldFilePath : newFilePath;
        ReleaseContents(*this);
        oldPatches.clear();
        newPatches.clear();
        core_.Ask(PromptOwner::MainWindow, "Unable to read file:\n" + path, kErrorTitle);
        return true;
    };

    const bool logging = core_.LogEnabled();
    if (sameBytes) {
        oldByteSum = newByteSum;
        if (shrank())
            return 0;
        if (logging)
            core_.AppendToLogFile("Skipping file: " + LastComponent(name) + ".  No patch is required");
        if (NeedsRecord())
            TakeChecks(*this);
        ReleaseContents(*this);
        return 1;
    }

    // The compact format matches the loaded contents itself (MakeCompact); only pairs
    // too large for its matcher are described by the block matcher first.
    if (core_.Image().format == CPatchFormat::Compact && (!oldPresent || oldLength <= kCompactMatcherLimit))
        return shrank() ? 0 : 1;

    uint32_t count = 0;
    uint64_t total = 0;
    try {
        if (oldPresent && core_.Settings().thorough) {
            if (MatchThoroughly(oldFilePath, progress) != 1) {
                ReleaseContents(*this);
                return -1;
            }
            if (shrank())
                return 0;
            TakeChecks(*this);
            return 1;
        }
        if (oldPresent) {
            IndexOldFile(*this);
            if (!ScanForCopies(*this, oldFilePath, progress, logging, ahead, count, total))
                return -1;
            newByteSum = ahead ? ahead->Sum() : ByteSum(newData, newLength);
            ahead.reset();
        }

        if (logging) {
            AppendSummary(core_, count, total);
            core_.AppendToLogFile("+++++++++Creating patch objects from new file+++++++++++++++++++++");
            core_.AppendToLogFile(kPlusLine);
            core_.AppendToLogFile(kPlusLine);
        }

        FillGaps(*this, oldPresent, logging);
    } catch (const std::bad_alloc&) {
        ahead.reset();
        ReleaseContents(*this);
        oldPatches.clear();
        newPatches.clear();
        core_.Ask(PromptOwner::ProgressDialog, kNoMemory, kErrorTitle, PromptButtons::OK, PromptIcon::Stop);
        return 0;
    }
    if (shrank())
        return 0;
    TakeChecks(*this);
    return 1;
}

void CFilePatch::FreeBuffers()
{
    oldContent.clear();
    newContent.clear();
    blockIndex.Clear();
    std::vector<COldPatch>().swap(oldPatches);
    std::vector<CNewPatch>().swap(newPatches);
}
