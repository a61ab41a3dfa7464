// INI files read and written by section and key, with the classic rules that project
// files (".dvj") rely on:
//  - a section is a line "[name]", followed by one "key=value" line per key;
//  - section and key names are compared without regard to letter case (ASCII), and
//    blanks and tabs around names and values are not part of them;
//  - a missing key reads as an empty value; a value is read into a 255-character
//    buffer, so at most 254 characters of it come back;
//  - numbers are read right to left (see ParseNumber);
//  - a write of an existing key replaces its value in place; a new key goes to the end
//    of its section, a new section to the end of the file, in the order written;
//  - every line ends in "\n" (a "\r" before it is ignored when reading);
//  - a value holding a line break is written as it is and so becomes several lines:
//    reading it back yields only the part before the first line break.
// The whole file is held in memory: Load, any number of reads and writes, Save.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CIniFile {
public:
    // Size of the buffer a value is read into; one place is kept for the terminating zero.
    static constexpr size_t kValueBufferSize = 255;

    // Reads the file; false (and an empty document) when it cannot be read.
    bool Load(const std::string& path);
    // Replaces the document with the given text.
    void LoadText(const std::string& text);
    // Writes the document to the file, creating or truncating it; false on any failure.
    bool Save(const std::string& path) const;
    // The document as it would be saved.
    std::string Text() const;

    // The value of key in section, "" when missing, cut to 254 characters.
    std::string GetString(const std::string& section, const std::string& key) const;
    // The value read as a number by ParseNumber; 0 when missing.
    uint32_t GetInt(const std::string& section, const std::string& key) const;
    bool HasKey(const std::string& section, const std::string& key) const;
    // The whole value, not cut to the buffer, to tell whether a read was cut short.
    std::string GetWholeString(const std::string& section, const std::string& key) const;
    // The names of the keys of a section (of every section of that name), in file order,
    // each name once.
    std::vector<std::string> KeyNames(const std::string& section) const;
    // Sets key in section, creating either when missing.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // The classic number rule: an empty text is 0; otherwise a final "L" or "l" is
    // skipped and the digits at the right end, taken leftwards up to the first
    // character that is not a digit, make the number ("12x34" is 34, "-5" is 5). A text
    // beginning with "0x" or "0X" is read the same way in hexadecimal. The result wraps
    // modulo 2^32.
    static uint32_t ParseNumber(const std::string& text);

private:
    struct Line {
        std::string text;
        bool isKey = false;
        std::string key;   // as written in the file, trimmed
        std::string value; // trimmed
    };
    struct Section {
        std::string name;       // as written, trimmed; "" for the lines before any section
        bool hasHeader = false; // false only for the lines before the first section
        std::vector<Line> lines;
        std::unordered_map<std::string, size_t> firstKey; // lower-case key -> line index
    };

    static Line ParseLine(const std::string& text);
    static bool IsSectionHeader(const std::string& text, std::string& name);
    void AddLine(const std::string& text);
    void IndexLine(Section& section, size_t index);
    const Line* Find(const std::string& section, const std::string& key) const;

    std::vector<Section> sections_;
};
