// The apply side of the compact format: the check of a record's controls before
// anything changes, the strong check of a target, and the rebuild of the new file from
// the old one and the three packed streams. Memory stays bounded whatever the file's
// length: each stream is unpacked with a window of at most 16 MiB, and the old file and
// the new one pass through buffers of 1 MiB.
#pragma once
#include "platform/FileHandle.h"
#include "engine/apply/Verification.h"
#include "engine/common/CFilePatch.h"

#include <cstdint>
#include <functional>
#include <optional>

// True when the record's controls can be unpacked and every step keeps within the old
// file, the new file and the two byte streams, and together they write the whole new file.
bool CompactControlsValid(const CFilePatch& record, CFileRef imageFd);

// Writes length bytes at offset of the new file; false when they cannot be written.
using CCompactWriter = std::function<bool(const unsigned char* data, size_t length, uint64_t offset)>;

enum class CCompactRebuild { Ok, Damaged, ReadFailed, WriteFailed };

// Rebuilds the record's new file from the old file oldFd (-1 for a new file) into
// write. Ok only when the streams were consistent and the result has the record's
// length and byte sum, and its SHA-256 where the record carries one; digest, when
// given, receives the SHA-256 of the result (for the digest of the new tree).
CCompactRebuild RebuildCompact(const CFilePatch& record, CFileRef imageFd, CFileRef oldFd, const CCompactWriter& write,
                               CSha256::Digest* digest = nullptr);
