// The rebuild of a compact record's packed delta: one zstd frame unpacked with a prefix
// of the twin's new content (when the record names one) and the file's old content. The
// apply holds at most the prefix (two times 16 MiB) and the decoder's buffer, which the
// frame's stated length bounds to the new file's (16 MiB at most).
//
// The twin's content is the one the apply keeps from the twin's own rebuild, or else
// the twin's target, which must then hold it already (an apply run again after an
// interruption): a packed delta never needs an old file the patch changes other than
// its own.
#pragma once
#include "engine/apply/CompactRebuild.h"
#include "engine/common/CFilePatch.h"

#include <cstdint>
#include <vector>

class CCompactLayout;

// Where a rebuild's bytes go: the writer, the byte sum and the SHA-256, and, for a twin
// of a later record, the content the apply keeps for it.
class CCompactOutput {
public:
    CCompactOutput(const CCompactWriter& write, const CFilePatch& record);
    bool Put(const unsigned char* data, size_t length);
    uint64_t Written() const { return written_; }
    uint32_t Sum() const { return sum_; }
    CSha256::Digest Finish() { return sha_.Final(); }

private:
    const CCompactWriter& write_;
    std::vector<unsigned char>* keep_ = nullptr;
    uint64_t written_ = 0;
    uint32_t sum_ = 0;
    CSha256 sha_;
};

CCompactRebuild RebuildPacked(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, CCompactOutput& output);

// The record's rebuild proved to come from its old file: the content kept of it (a twin)
// may serve the later records.
void ConfirmCompactTwin(const CFilePatch& record);
