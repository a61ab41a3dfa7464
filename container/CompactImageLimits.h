// What the writer and the reader of a compact image agree on beyond CompactDelta.h: the
// longest texts the description holds, and the piece size in which packed bytes are
// moved between files.
#pragma once
#include <cstddef>

// Publisher name, organisation, default folder and dialog text.
inline constexpr size_t kCompactTextLimits[4] = {64, 65, 256, 256};
inline constexpr size_t kCompactRemoveNameLimit = 256;
inline constexpr size_t kCompactChunk = size_t{1} << 20;
