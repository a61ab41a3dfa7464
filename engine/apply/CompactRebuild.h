// The apply side of the compact format: the rebuild of the new file from the old one
// and the record's delta, stepped (the three packed streams) or packed (its frame,
// CompactPacked.h). Memory stays bounded whatever the file's length: each stream is
// unpacked with a window of at most 16 MiB, and the old file and the new one pass
// through buffers of 1 MiB; a packed delta's files are at most 16 MiB each.
#pragma once
#include "platform/FileHandle.h"
#include "engine/apply/Verification.h"
#include "engine/common/CFilePatch.h"

#include <cstdint>
#include <functional>
#include <optional>

// True for a compact record: its reader has walked its controls, and checked that every
// step keeps within the old file, the new file and the two byte streams and that
// together they write the whole new file (CompactLayout.h).
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
