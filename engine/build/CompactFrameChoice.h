// The choice between the two kinds of compact delta for one file: the stepped delta's
// streams, or one zstd frame packed with a prefix of the old content, and, where an
// earlier file of the same folder is much like this one (babel.mjs beside babel.js), of
// that file's new content before it (its twin). The smaller one is kept.
#pragma once
#include "engine/common/CompactDelta.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// What the choice knows of the earlier records: those a packed delta may take as its
// twin, with their new contents (the latest ones, up to 32 MiB in all), the twins taken
// so far (an apply holds each from its own record to the last one that names it, and
// those held at once must fit kMaxHeldTwins together), and the latest 1 MiB of each
// stream, which a stepped delta's cost is taken against.
class CCompactTwins {
public:
    struct Candidate {
        uint16_t index = 0;
        std::string folder, stem;
        std::vector<unsigned char> content;
    };
    // The best twin for the new file of this relative name and length, or null: a file
    // of the same folder and name stem, else the one closest in length (within 10 %).
    const Candidate* Find(const std::string& name, size_t newLength) const;
    // A record with a delta and no twin of its own was written at index.
    void Note(uint16_t index, const std::string& name, const unsigned char* content, size_t length);
    // The record at index took the candidate as its twin.
    void Used(uint16_t index, const Candidate& twin);
    // A stepped delta's streams went into the patch's.
    void Streamed(const std::vector<unsigned char> (&streams)[kCompactStreams]);
    // The latest bytes of each stream, up to 2 MiB; costs are taken against the last MiB.
    const std::vector<unsigned char> (&Tails() const)[kCompactStreams] { return tails_; }

private:
    struct Taken {
        uint16_t twin, lastUser;
        size_t length;
    };
    bool Fits(const Candidate& c) const;

    std::deque<Candidate> candidates_;
    size_t held_ = 0;
    std::vector<Taken> taken_;
    std::vector<unsigned char> tails_[kCompactStreams];
};

// The trial of the packed kind for one file, in two rounds so that it costs little where
// it cannot pay (a binary, data that does not pack): quick frames at a fast level, the
// first beside the matching; then, only for a frame clearly smaller than the quick cost
// of the stepped delta, the real frame at the patch's level against the stepped delta's
// real cost.
class CFrameChoice {
public:
    // newFile: there is no old content; twin may be null.
    CFrameChoice(const unsigned char* oldData, size_t oldLength, bool newFile, const unsigned char* newData,
                 size_t newLength, const CCompactTwins& twins, const CCompactTwins::Candidate* twin);
    // The quick frame with the old content as prefix (for a changed file).
    void QuickAlone();
    // After the matching: true when a frame is smaller than the stepped streams; frame
    // then holds it and withTwin tells whether its prefix begins with the twin's content.
    bool Choose(const std::vector<unsigned char> (&streams)[kCompactStreams], std::vector<unsigned char>& frame,
                bool& withTwin);

private:
    std::vector<unsigned char> Prefix(bool withTwin) const;

    const unsigned char* oldData_;
    size_t oldLength_;
    bool newFile_;
    const unsigned char* newData_;
    size_t newLength_;
    const CCompactTwins::Candidate* twin_;
    const std::vector<unsigned char> (&tails_)[kCompactStreams];
    size_t quickAlone_ = 0;
};
