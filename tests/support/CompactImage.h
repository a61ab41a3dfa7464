// Hand-made compact patch files for tests: the header and records put together byte by
// byte (the streams packed with zstd), so that tests can build damaged and crafted
// compact patches that the engine would never write.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace compact {

struct Step {
    uint32_t copy = 0, literal = 0;
    int64_t move = 0;
};

struct Record {
    std::string storedName; // with '\' between components
    unsigned flags = 2;     // 1 new file, 2 delta present, 4 digests present, 8 packed delta
    uint32_t oldLength = 0, newLength = 0, oldSum = 0, newSum = 0;
    // Stored with flag 4 only; the new one also goes into the digest of the new tree.
    std::array<uint8_t, 32> oldSha{}, newSha{};
    std::vector<Step> steps;
    std::string differences, literals;
    // Parts of the streams (controls, differences, literals) other than the true ones:
    // the part cut or padded with zero bytes to raw, and offset zero bytes put before it.
    std::optional<uint32_t> raw[3];
    std::optional<uint64_t> offset[3];
    // With flag 8: the frame (appended to the frames) and the twin's number from 1; a
    // stored frame length other than the frame's.
    std::string frame;
    uint16_t twin = 0;
    std::optional<uint32_t> frameLength;

    // The record's bytes in the description; its parts of the three streams and its frame
    // are appended to streams (the fourth holds the frames).
    std::string Bytes(std::string streams[4]) const;
};

// A record that turns oldContent into newContent: one step copying what the two have in
// common in length (with its differences), then the rest of the new content as literals.
Record Changed(const std::string& storedName, const std::string& oldContent, const std::string& newContent);
Record NewFile(const std::string& storedName, const std::string& content);
// A record whose packed delta is one zstd frame of newContent seeing the prefix
// (the twin's new content, then oldContent); twin is the twin's number from 1, or 0.
Record Packed(const std::string& storedName, const std::string& oldContent, const std::string& newContent,
              uint16_t twin = 0, const std::string& twinContent = "");

// A file left alone that leads the literals: its name, its content (which the literals
// are packed after, and the digest is taken of) and a stored length other than the
// content's.
struct LeadFile {
    std::string storedName, content;
    std::optional<uint32_t> length;
};

// The image: the fixed start (with the digest of the records' new contents), the packed
// description (header texts, remove list, file count, lead files, records), the three
// packed streams of all records (the literals after the lead's contents) and their frames.
std::string Image(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames = {},
                  int fileCount = -1, uint16_t version = 4, const std::vector<LeadFile>& lead = {});
// The patch file: the part prefix, then the image.
std::string PatchFile(const std::string& image);

} // namespace compact
