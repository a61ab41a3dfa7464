// Where each record of a compact patch finds its delta. A record stores no offsets: its
// parts of the three streams follow the earlier records' parts, its controls end where
// its steps have written the new file, and its steps say how many differences and
// literals it uses; its frame (the packed kind) follows the earlier records' frames.
// The reader works all this out as it reads each record the first time, walking its
// controls with every check of CCompactControlCheck, and keeps it for later passes over
// the records. The last record must use up every stream and the frames exactly.
//
// It also keeps the twin checks (a packed delta's twin is an earlier record with a
// delta of its own that has no twin; an apply holds a twin's content from its rebuild to
// its last record, and the twins held at any one time are at most kMaxHeldTwins long
// together) and that content, for the records that need it.
#pragma once
#include "engine/common/CompactDelta.h"
#include "platform/FileHandle.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CCompactUnpacker;
class CFilePatch;

struct CCompactPlace {
    uint64_t position = 0; // the record's position in the image
    uint64_t offsets[kCompactStreams] = {};
    uint32_t lengths[kCompactStreams] = {};
    uint64_t frameOffset = 0;
    uint32_t frameLength = 0;
    uint32_t newLength = 0;
    uint16_t twin = 0;
    bool delta = false;
    bool packed = false;
    bool isTwin = false; // a later record's twin
    uint32_t lastUser = 0; // a twin: the last record that names it
};

// The twins' contents an apply holds at one time, together.
inline constexpr uint64_t kMaxHeldTwins = uint64_t{16} << 20;

class CCompactLayout {
public:
    CCompactLayout(const CCompactFixed& fixed, uint16_t recordCount);
    ~CCompactLayout();

    // The record just read at position (its lengths, flags and delta kind filled in):
    // gives it its index, the offsets and lengths of its parts and its frame's position.
    // Empty when it fits, otherwise why the patch is damaged.
    std::string Place(uint64_t position, CFilePatch& record, CFileRef imageFd);
    const CCompactPlace* At(size_t index) const { return index < places_.size() ? &places_[index] : nullptr; }
    // The patch's fixed start, as its reader found it.
    const CCompactFixed& Fixed() const { return fixed_; }

    // An apply: the new contents of the twins rebuilt (by index) for the records that
    // name them; one counts once its rebuild proved to come from the old file.
    struct CHeldTwin {
        std::vector<unsigned char> content;
        bool confirmed = false;
    };
    std::map<size_t, CHeldTwin> heldTwins;
    // Lets go of the twins that the record at index and those after it do not need.
    void DropTwinsBefore(size_t index);
    // The files left alone that lead the literals and the files the patch removes, read
    // before the records: empty when none of the former is among the latter, otherwise
    // why the patch is damaged. A record with a delta for one of them is damaged too.
    std::string LeftAlone(const std::vector<std::string>& lead, const std::vector<std::string>& removed);

private:
    std::string TwinsFit() const;
    std::string Walk(CFilePatch& record, CCompactPlace& place, CFileRef imageFd);
    bool NextByte(unsigned char& b);

    CCompactFixed fixed_;
    uint16_t count_;
    std::vector<CCompactPlace> places_;
    uint64_t next_[kCompactStreams] = {};
    uint64_t nextFrame_ = 0;
    // The controls, read ahead in pieces across the records.
    std::unique_ptr<CCompactUnpacker> controls_;
    std::vector<unsigned char> buffer_;
    size_t at_ = 0;
    uint64_t controlsRead_ = 0; // bytes taken from the controls so far
    // The names of the files that lead the literals, in lower case with '/' (a file
    // system may not tell the cases apart).
    std::set<std::string> lead_;
};
