// A scratch folder for one test, removed when the test ends, with helpers to write
// files and compare folder trees.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CTestFolder {
public:
    CTestFolder();
    ~CTestFolder();
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path of a name below the folder (creates nothing).
    std::string operator/(const std::string& relative) const;
    // Writes a file below the folder, creating the folders on the way; returns its path.
    std::string Write(const std::string& relative, const std::string& content);
    std::string WriteBytes(const std::string& relative, const std::vector<unsigned char>& content);
    // Writes files (relative path, content) in the order given.
    void WriteAll(std::initializer_list<std::pair<std::string, std::string>> files);
    // Writes a file of the same name below old/ and below new/.
    void WritePair(const std::string& relative, const std::string& oldContent, const std::string& newContent);
    void WriteBytesPair(const std::string& relative, const std::vector<unsigned char>& oldContent,
                        const std::vector<unsigned char>& newContent);
    // Creates a folder (and its parents) below the folder; returns its path.
    std::string MakeFolder(const std::string& relative);

private:
    std::string path_;
};

std::string ReadFileText(const std::string& path);
std::vector<unsigned char> ReadFileBytes(const std::string& path);
// Relative path -> content of every regular file below root.
using Tree = std::map<std::string, std::string>;
Tree SnapshotTree(const std::string& root);
// Copies a tree (files and folders) from one folder to another (which must not exist).
bool CopyTree(const std::string& from, const std::string& to);
// Gives a file the last write time writeSeconds and the last access accessSeconds (Unix
// times; by default an hour ahead of now, so that reading the file does not move it).
void PinTimes(const std::string& path, int64_t writeSeconds, int64_t accessSeconds = -1);
// Gives every file below tree the last write time writeSeconds (Unix time) and a last
// access an hour ahead of now: reading a file during a build then leaves its times,
// which the patch records, as they are.
void PinTreeTimes(const std::string& tree, int64_t writeSeconds);
// Deterministic pseudo-random bytes.
std::vector<unsigned char> RandomBytes(size_t size, uint32_t seed);
