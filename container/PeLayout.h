// The layout of a Windows program file (PE) as far as a self-extracting patch program
// needs it: where the program's own image ends (the end of its last section, where the
// marker stands) and where the certificate table of a signature lies (signing tools
// append it at the end of the file and name it in the optional header).
#pragma once
#include "platform/BinFile.h"

#include <cstdint>

struct CPeLayout {
    uint64_t imageEnd = 0;        // end of the headers or of the last section's raw data
    uint64_t certificateAt = 0;   // 0 when the program is not signed
    uint64_t certificateSize = 0;
};

// NotPe when the file does not start as a PE program (DOS header and PE signature),
// Damaged when it does but a number of its headers does not fit its length.
enum class PeRead { NotPe, Damaged, Read };
PeRead ReadPeLayout(CBinFile& file, uint64_t fileLength, CPeLayout& layout);
