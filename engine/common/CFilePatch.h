// The file record of one new or changed file, with its old-copy objects (byte ranges
// copied from the old file) and new-data objects (bytes carried in the patch file):
// the in-memory form, the exact byte layout of writer and reader, the record test, and
// the differencing that fills a record during a build.
#pragma once
#include "engine/common/CBlockNode.h"
#include "engine/common/CompactDelta.h"
#include "engine/common/FileContent.h"
#include "engine/common/RecordChecks.h"
#include "engine/common/Sha256.h"
#include "platform/BinFile.h"
#include "platform/ByteBuffer.h"
#include "platform/FileTimes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IEngineHost;
struct CApplyContext;
struct CPrefetchedPair;
class IBuildProgress;
class IApplyProgress;

// The outcome of reading one patch object: read, wrong tag, bytes that would lie past
// the end of the patch image, or a failed read.
enum class CObjectRead { Ok, BadTag, PastEnd, ReadError };

// An old-copy object: old[oldOffset, oldOffset + length) == new[newOffset, newOffset + length).
class COldPatch {
public:
    static constexpr size_t kSize = 20;
    uint32_t oldOffset = 0;
    uint32_t newOffset = 0;
    uint32_t length = 0;

    bool ReadWrite(CBinFile& image, bool storing);
    // Reads the tag and the three fields at the image's position.
    CObjectRead Read(CBinFile& image);
    // Sets the fields from a hit and widens it backwards and forwards byte by byte.
    void Extend(const unsigned char* oldData, const unsigned char* newData, uint32_t oldOffset,
                uint32_t newOffset, uint32_t length, uint32_t oldLength, uint32_t newLength);
    // Copies the range from the old file into the file being rebuilt.
    bool ApplyTo(CBinFile& oldFile, CBinFile& output, std::vector<unsigned char>& copyBuffer) const;
};

// A new-data object: new[newOffset, newOffset + length) is stored in the patch image at
// dataPosition (set by the reader).
class CNewPatch {
public:
    static constexpr size_t kHeaderSize = 16;
    uint32_t newOffset = 0;
    uint32_t length = 0;
    uint64_t dataPosition = 0;

    // Writing takes the bytes from newContent; reading records the data position and
    // moves past the bytes without reading them.
    bool ReadWrite(CBinFile& image, bool storing, const unsigned char* newContent);
    // Appends the stored form of the object without its data: tag, new offset, length.
    void AppendHeader(std::vector<unsigned char>& out) const;
    // Reads the tag and the two fields and moves past the data, which must end within
    // imageLength.
    CObjectRead Read(CBinFile& image, uint64_t imageLength);
    // Copies the bytes from the patch image into the file being rebuilt; the image's
    // position is restored afterwards.
    bool ApplyTo(CBinFile& image, CBinFile& output, std::vector<unsigned char>& copyBuffer) const;
};

class CFilePatch {
public:
    static constexpr size_t kCopyBufferSize = 64000;
    static constexpr size_t kMaxNameField = 260; // the name and its zero byte

    explicit CFilePatch(IEngineHost& core);
    ~CFilePatch();
    CFilePatch(const CFilePatch&) = delete;
    CFilePatch& operator=(const CFilePatch&) = delete;

    // Differencing (build): fills the record for one file pair. 1 success, 0 failure
    // (a message has been shown), -1 cancel confirmed.
    int CreatePatch(const std::string& oldPath, const std::string& newPath, const std::string& newFolder,
                    IBuildProgress* progress);
    // Hands the next CreatePatch the two files already read (by the build's read-ahead)
    // instead of having it open and read them.
    void UsePrefetched(std::unique_ptr<CPrefetchedPair> pair);
    // Compact format, after CreatePatch: the delta, strong checks and byte sums of a
    // changed or new file, from the loaded contents; releases them. 1 success, 0 failure
    // (a message has been shown), -1 cancel confirmed.
    int MakeCompact(IBuildProgress* progress);
    // Writes (storing) the record at the patch image's position, or reads one record
    // from it. Reading rejects, with a message, anything that does not fit the image.
    bool ReadWrite(bool storing);
    // True when the file needs a record in the patch file: a new file, a changed
    // content, or changed last-write or last-access times.
    bool NeedsRecord() const;
    // Releases both contents, the block index and all objects.
    void FreeBuffers();

    // Apply side (verification and per-file apply).
    int VerifyTargetFile(char* entry /* 520 bytes */);
    int ApplyFileRecord(int& backup, const std::string& backupExt, IApplyProgress* progress);

    // Record fields.
    CFileTimes newTimes;
    CFileTimes oldTimes;     // build only, not stored
    std::string oldPath;     // build: the old file; apply: the target file
    std::string name;        // relative file name, with '/' between components in memory
    uint32_t oldLength = 0;
    uint32_t oldByteSum = 0;
    uint32_t newByteSum = 0;
    uint32_t newLength = 0;
    uint32_t oldCopyCount = 0;
    uint32_t newDataCount = 0;
    std::vector<COldPatch> oldPatches;
    std::vector<CNewPatch> newPatches;
    CFileContent oldContent;
    CFileContent newContent;
    uint32_t newFileFlag = 0;
    unsigned char separator = 0; // chosen from the old file during a build
    // The SHA-256 of the old and the new content: taken by a build, given by the apply
    // driver when the patch carries strong checks. Without them lengths and byte sums
    // decide.
    std::optional<CRecordChecks> checks;
    CBlockIndex blockIndex;
    // Compact patch format: the strong checks of both contents and the delta (a record
    // without one only gives the target its times, or makes an empty new file).
    bool compact = false;
    CSha256::Digest oldSha{};
    CSha256::Digest newSha{};
    CCompactDelta compactDelta;

    IEngineHost& Core() const { return core_; }
    // Apply: what the records of the apply share (the target folder's handle above all);
    // set by the driver before a record is verified or applied.
    CApplyContext* applyContext = nullptr;
    // Apply: set by VerifyTargetFile when the target holds the new file already (an
    // earlier, interrupted apply of the same patch got that far).
    bool targetHoldsNew = false;
    // True when the record rebuilds its file from objects (a record without any only
    // gives the target its times).
    bool HasObjects() const
    {
        return oldCopyCount != 0 || newDataCount != 0 || !oldPatches.empty() || !newPatches.empty() ||
               compactDelta.present;
    }
    // Apply: a record of more objects than this keeps none of them in memory
    // (objectsStreamed); they are read again from the image at objectsPosition.
    static constexpr uint64_t kMaxHeldObjects = uint64_t{1} << 20;
    bool objectsStreamed = false;
    uint64_t objectsPosition = 0;
    // True when the apply writes the record's file: it has objects, or it makes a new
    // file (an empty one may have none).
    bool Rebuilds() const { return newFileFlag != 0 || HasObjects(); }

private:
    // The thorough matcher's objects and byte sums for a file whose old file is present
    // and differs: 1 success, -1 cancel confirmed. Throws std::bad_alloc.
    int MatchThoroughly(const std::string& oldFilePath, IBuildProgress* progress);
    // Load step of CreatePatch: the record reset for the pair, then both files' contents,
    // lengths and times, from the read-ahead when it has them. False when a file could not
    // be read (the user was told).
    bool LoadPair(const std::string& oldFilePath, const std::string& newFilePath, bool& oldPresent);
    bool OpenAndLoad(const std::string& oldFilePath, const std::string& newFilePath, bool& oldPresent);

    IEngineHost& core_;
    std::vector<unsigned char> copyBuffer_;
    std::unique_ptr<CPrefetchedPair> prefetched_;
};

// Byte sum: all bytes taken as unsigned values, added modulo 2^32.
uint32_t ByteSum(const unsigned char* data, size_t length);

// Separator choice from the gap statistics of every byte value.
struct CGapStats {
    uint64_t sumOfGaps = 0;
    uint64_t numberOfGaps = 0; // 64 bits: a 4 GiB - 1 byte file of one value has 2^32 gaps
    double sumOfSquares = 0.0;
    double meanGap = 0.0;
    double deviation = 0.0;
    int64_t lastPosition = -1;
};
void GapStatistics(const unsigned char* data, size_t length, CGapStats stats[256]);
unsigned char ChooseSeparator(const unsigned char* data, size_t length);
// The same choice from statistics already taken of a buffer of that length.
unsigned char SeparatorFromStatistics(const CGapStats stats[256], size_t length);
// The byte sum of the buffer the statistics were taken of: every value times the number
// of its occurrences (one less than its number of gaps).
uint32_t ByteSumFromStatistics(const CGapStats stats[256]);
