// The strong checks of a patch: for every file record, the SHA-256 of the old content it
// was built against and of the new content it makes. The classic format carries them in
// a trailer after the last record (container/ChecksTrailer), which other readers pass
// over; patches without one are checked by lengths and byte sums alone.
#pragma once
#include "engine/common/Sha256.h"

#include <cstdint>
#include <vector>

struct CRecordChecks {
    bool hasOld = false; // false for a new file: it has no old content
    CSha256::Digest oldHash{};
    CSha256::Digest newHash{};
};

// The checks of one patch, in record order, and where in the image they begin.
struct CPatchChecks {
    std::vector<CRecordChecks> records;
    uint64_t start = 0; // image offset of the trailer: the last record must end here
    bool present = false;

    void Clear()
    {
        records.clear();
        start = 0;
        present = false;
    }
    // The checks of record index, or null when the patch carries none.
    const CRecordChecks* For(size_t index) const
    {
        return present && index < records.size() ? &records[index] : nullptr;
    }
};
