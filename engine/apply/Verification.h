// The length-and-sum test that decides whether a file is the file a patch was built
// from (before an apply) or the file it should produce (after a rebuild).
#pragma once
#include "platform/FileHandle.h"
#include "engine/common/Sha256.h"
#include "platform/ByteBuffer.h"

#include <cstdint>
#include <optional>
#include <string>

class IEngineHost;

// True when the file can be opened for reading, its length equals expectedLength (the
// record's unsigned 32-bit length, carried in a signed value) and the sum of its bytes
// equals expectedSum. Shows "Unable to open file: " + path when it cannot be opened.
// With keep, a file of the expected length is read whole into *keep and its bytes stay
// there, so that a rebuild can use the very bytes that were checked (for files that fit
// in memory; the caller decides).
bool CheckFileSum(IEngineHost& core, const std::string& path, int32_t expectedLength, uint32_t expectedSum,
                  CByteBuffer* keep = nullptr);

// The same test in two steps, so that it can run on another thread than the one that
// talks to the user: TestFileSum only looks at the file, ReportFileSum then shows what
// CheckFileSum shows for that outcome and returns what it returns.
enum class CSumCheck { CannotOpen, Differs, Matches };
CSumCheck TestFileSum(const std::string& path, int32_t expectedLength, uint32_t expectedSum,
                      CByteBuffer* keep = nullptr);
bool ReportFileSum(IEngineHost& core, const std::string& path, CSumCheck outcome);

// The byte sum of the first length bytes of the open file fd (a large file summed by two
// threads); nothing when the file ends first or cannot be read. With keep, the bytes are
// read whole into *keep and stay there.
std::optional<uint32_t> SumOpenFile(CFileRef fd, uint64_t length, CByteBuffer* keep = nullptr);

// What a check learns of a file's content: its length and byte sum, and its SHA-256
// when the patch carries strong checks.
struct CContentSummary {
    uint64_t length = 0;
    uint32_t sum = 0;
    std::optional<CSha256::Digest> digest;
};
// The summary of the first length bytes of the open file fd, read once: the byte sum and,
// with strong, the SHA-256 are taken of each piece as it is read. Nothing when the file
// ends first or cannot be read. With keep, the bytes are read whole into *keep and stay.
std::optional<CContentSummary> SummarizeOpenFile(CFileRef fd, uint64_t length, bool strong, CByteBuffer* keep = nullptr);
// The summary of bytes in memory.
CContentSummary SummarizeBytes(const unsigned char* data, size_t length, bool strong);

// The three kinds of target the verification meets.
enum class CTargetState {
    Old,       // the file the patch was built against: to be patched
    New,       // already the file the patch makes: done by an earlier apply
    Different, // neither
};
// Which of them the file is, for the record: by length and byte sum, and by SHA-256 when
// the record has strong checks and the summary a digest. The verification takes the
// digest; the second look at a target just before its rebuild, moments later, compares
// lengths and sums only (hashing it again would cost a large file as much as its rebuild).
CTargetState StateOfTarget(const class CFilePatch& record, const CContentSummary& content);

// The result check of a rebuilt file: true when it is the file the record makes (the new
// length and byte sum, and the new SHA-256 when the record has strong checks).
bool IsNewContent(const class CFilePatch& record, const CContentSummary& content);

// True when the record's objects describe every byte of its new file and nothing
// outside it (they may overlap). A record that leaves bytes undescribed is damaged: it
// would make the apply write a file the patch holds no data for. imageFd is the patch
// image, from which a record that does not hold its objects reads them again.
bool ObjectsCoverNewFile(const class CFilePatch& record, CFileRef imageFd);

// Writes an errors-table entry: format holds one %s, replaced by text. When the result
// would not fit the entry (at most entrySize - 1 characters), the front of text is
// replaced by "..." so that its end, the file name, stays readable.
void FormatErrorEntry(char* entry, size_t entrySize, const char* format, const std::string& text);
