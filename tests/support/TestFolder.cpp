#include "TestFolder.h"

#include "platform/FileSystem.h"
#include "platform/FileTimes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

CTestFolder::CTestFolder()
{
    std::string templ = (fs::temp_directory_path() / "delvorin-test-XXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("cannot make a test folder");
    path_ = buf.data();
}

CTestFolder::~CTestFolder()
{
    std::error_code ec;
    // Make everything writable again so a test that protected files can be cleaned up.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string CTestFolder::operator/(const std::string& relative) const
{
    return path_ + "/" + relative;
}

std::string CTestFolder::Write(const std::string& relative, const std::string& content)
{
    std::string full = *this / relative;
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::string CTestFolder::WriteBytes(const std::string& relative, const std::vector<unsigned char>& content)
{
    return Write(relative, std::string(content.begin(), content.end()));
}

std::string CTestFolder::MakeFolder(const std::string& relative)
{
    std::string full = *this / relative;
    fs::create_directories(full);
    return full;
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<unsigned char> ReadFileBytes(const std::string& path)
{
    std::string s = ReadFileText(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

std::map<std::string, std::string> SnapshotTree(const std::string& root)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_regular_file())
            out[fs::relative(it->path(), root).string()] = ReadFileText(it->path().string());
    }
    return out;
}

bool CopyTree(const std::string& from, const std::string& to)
{
    std::error_code ec;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    return !ec;
}

std::vector<unsigned char> RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<unsigned char> out(size);
    for (auto& b : out)
        b = static_cast<unsigned char>(gen() & 0xFF);
    return out;
}

void PinTimes(const std::string& path, int64_t writeSeconds, int64_t accessSeconds)
{
    const int64_t access = accessSeconds >= 0 ? accessSeconds : static_cast<int64_t>(std::time(nullptr)) + 3600;
    if (!SetFileTimes(path, CFileTimes{0, UnixToFileTime(access, 0), UnixToFileTime(writeSeconds, 0)}))
        ADD_FAILURE() << "cannot set the times of " << path;
}

void PinTreeTimes(const std::string& tree, int64_t writeSeconds)
{
    for (const auto& file : SnapshotTree(tree))
        PinTimes(fsys::Join(tree, file.first), writeSeconds);
}

void CTestFolder::WritePair(const std::string& relative, const std::string& oldContent, const std::string& newContent)
{
    Write("old/" + relative, oldContent);
    Write("new/" + relative, newContent);
}

void CTestFolder::WriteBytesPair(const std::string& relative, const std::vector<unsigned char>& oldContent,
                                 const std::vector<unsigned char>& newContent)
{
    WriteBytes("old/" + relative, oldContent);
    WriteBytes("new/" + relative, newContent);
}

void CTestFolder::WriteAll(std::initializer_list<std::pair<std::string, std::string>> files)
{
    for (const auto& [relative, content] : files)
        Write(relative, content);
}
