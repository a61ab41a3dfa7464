// Hand-made patch files for tests: a patch image (header and file records) put
// together byte by byte, so that tests can build damaged and crafted patch files that
// the engine would never write, then gzip it and put the part prefix in front.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace image {

void Put16(std::string& out, uint16_t v);
void Put32(std::string& out, uint32_t v);
void Put64(std::string& out, uint64_t v);

// Byte sum of a text, as the patch format counts it.
uint32_t Sum(const std::string& bytes);

// The header: magic, date sum, the four text fields, the remove list (entries given in
// their stored form, with '\' between components) and the file count.
std::string Header(const std::vector<std::string>& storedRemoveNames, uint16_t fileCount,
                   const std::string& magic = "Delvorin_Version1abc.13");

struct OldCopy {
    uint32_t oldOffset = 0, newOffset = 0, length = 0;
    std::optional<std::string> tag = std::nullopt; // this object's tag in place of the record's
};
struct NewData {
    uint32_t newOffset = 0;
    std::string bytes;
    std::optional<uint32_t> length = std::nullopt; // a length other than bytes.size()
    std::optional<std::string> tag = std::nullopt;
};

// One file record. Every field can be set to a value the engine would never write.
struct Record {
    std::string storedName;             // with '\' between components
    uint32_t newFile = 0;
    uint32_t oldSum = 0, newSum = 0, oldLength = 0, newLength = 0;
    uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
    std::vector<OldCopy> olds;
    std::vector<NewData> news;
    std::optional<uint16_t> nameField;  // L other than name + 1
    bool nameZero = true;               // write the name's terminating zero byte
    std::optional<uint32_t> oldCount, newCount;
    std::string checkBlock = std::string("file\0\0\0\0", 8);
    std::string oldTag = std::string("oldptch\0", 8);
    std::string newTag = std::string("newptch\0", 8);

    std::string Bytes() const;
};

// A record of a new file with the given content (one new-data object).
Record NewFile(const std::string& storedName, const std::string& content);
// A record that turns a file of content oldContent into newContent with one new-data
// object holding the whole new content.
Record Changed(const std::string& storedName, const std::string& oldContent, const std::string& newContent);

// The image of a header (with the remove entries and, when not negative, fileCount in
// place of the number of records) followed by the records.
std::string Image(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames = {},
                  int fileCount = -1);

// The trailer of strong checks for records of these contents, in record order: the old
// content (none for a new file) and the new content.
struct Contents {
    std::optional<std::string> oldContent;
    std::string newContent;
};
std::string Checks(const std::vector<Contents>& records);

// A gzip stream of the bytes (one member, as zlib's gzip writer makes it).
std::string Gzip(const std::string& bytes);
// The patch file: the part prefix, then the gzip stream of the image.
std::string PatchFile(const std::string& image, int32_t partCount = 0, int32_t partSize = 0);
// The patch file of Image(records, storedRemoveNames, fileCount).
std::string Patch(const std::vector<Record>& records, const std::vector<std::string>& storedRemoveNames = {},
                  int fileCount = -1);

} // namespace image
