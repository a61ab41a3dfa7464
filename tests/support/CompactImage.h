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
    unsigned flags = 2;     // 1 new file, 2 delta present, 4 digests present
    uint32_t oldLength = 0, newLength = 0, oldSum = 0, newSum = 0;
    // Stored with flag 4 only; the new one also goes into the digest of the new tree.
    std::array<uint8_t, 32> oldSha{}, newSha{};
    std::vector<Step> steps;
    std::string differences, literals;
    // Stream table entries other than the true ones (controls, differences, literals).
    std::optional<uint32_t> raw[3];
    std::optional<uint64_t> offset[3];

    // The record's bytes in the description; its parts of the three streams are appended
    // to streams, whose lengths give their offsets.
    std::string Bytes(std::string streams[3]) const;
};

// A record that turns oldContent into newContent: one step copying what the two have in
// common in length (with its differences), then the rest of the new content as literals.
Record Changed(const std::string& storedName, const std::string& oldContent, const std::string& newContent);
Record NewFile(const std::string& storedName, const std::string& content);

// The image: the fixed start (with the digest of the records' new contents), the packed
// description (header texts, remove list, file count, records) and the three packed
// streams of all records.
std::string Image(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames = {},
                  int fileCount = -1, uint16_t version = 2);
// The patch file: the part prefix, then the image.
std::string PatchFile(const std::string& image);

} // namespace compact
