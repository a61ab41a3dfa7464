// The trailer of strong checks after the last file record of a classic patch image.
// Readers of the format stop at the record count and pass over it. Layout (little-endian):
//
//   0        8  "DvChecks"
//   8        4  version, 1
//   12       4  N, the number of records (the header's file count)
//   16       …  N entries, in record order: a kind byte, then the digests it names
//                 0: new file: its new content's SHA-256 (32 bytes)
//                 1: changed file: the old content's SHA-256, then the new content's (64)
//                 2: unchanged content (new times only): one SHA-256 for both (32)
//   B        32 SHA-256 of bytes [0, B) of the trailer
//   B+32     4  T, the length of the whole trailer
//   B+36     8  "DvChkEnd"
//
// The fixed end lets a reader find the trailer before it reads any record, so that each
// record is checked as it is read. An image whose last 8 bytes are not the end mark has
// no trailer (a patch from another writer); one whose trailer is cut, changed or does not
// fit the records is damaged and refused. A later version keeps the first 12 and the
// last 12 bytes: this reader passes over a version it does not know, as any reader of
// the format does.
#pragma once
#include "engine/common/RecordChecks.h"
#include "platform/BinFile.h"

#include <cstdint>
#include <string>

inline constexpr size_t kChecksTrailerFixed = 16 + 32 + 4 + 8;

// The trailer's bytes for the checks given.
std::string ChecksTrailerBytes(const std::vector<CRecordChecks>& records);

enum class CTrailerRead { Absent, Read, Damaged };
// Reads the trailer at the end of the image, whose records start at recordsStart and
// number count. On Read, checks holds one entry per record and its start; on Damaged,
// why tells what is wrong.
CTrailerRead ReadChecksTrailer(CBinFile& image, uint64_t recordsStart, uint16_t count, CPatchChecks& checks,
                               std::string& why);
