// The order of a record's new-data objects in a thorough build, chosen by what the
// compressed patch weighs.
//
// New-data objects that do not overlap may stand in any order: each writes its own
// bytes of the new file. Their stored form (tag, offset, length, bytes) is compressed
// with the rest of the patch, and which order compresses best depends on the file:
// in text, objects sorted by their bytes put equal replacements (a renamed symbol) side
// by side; in machine code, the order of the file keeps related bytes together, and
// short objects gathered by length repeat their length fields. Each candidate order is
// compressed and the lightest is kept.
#pragma once
#include "engine/common/CFilePatch.h"

#include <cstdint>
#include <vector>

// Reorders objects (non-overlapping, in increasing offset) in place. newContent holds
// the bytes the objects take. Records whose new data exceed a few MiB keep the order
// of the file: the trial would cost more time than it saves bytes.
void OrderNewData(std::vector<CNewPatch>& objects, const unsigned char* newContent);
