// Writes the generated old/new folder pairs of the benchmark. Every byte comes from a
// fixed pseudo-random sequence, so the same arguments give the same trees on every
// machine. File times are fixed too: write time 14 November 2023 (a changed file one
// hour later), access time in 2100, which reading the file never moves, so an unchanged
// file has the same times in both trees and needs no record.
//
//   make_corpus scattered  SIZE_MIB EDITS DIR  one file pair with scattered edits
//   make_corpus equalsums  SIZE_MIB EDITS DIR  the same, made of 100-byte blocks that all
//                                              have the same byte sum
//   make_corpus smallfiles COUNT PERCENT DIR   COUNT small files, PERCENT of them changed
//   make_corpus allnew     COUNT 0 DIR         an empty old folder, COUNT new files
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr time_t kWriteTime = 1700000000;
constexpr time_t kAccessTime = 4102444800;

class CRandom {
public:
    explicit CRandom(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
    uint64_t Next()
    {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1DULL;
    }
    uint64_t Below(uint64_t n) { return Next() % n; }
    void Fill(unsigned char* p, size_t n)
    {
        for (size_t i = 0; i < n; i += 8) {
            uint64_t v = Next();
            for (size_t k = 0; k < 8 && i + k < n; ++k)
                p[i + k] = static_cast<unsigned char>(v >> (8 * k));
        }
    }

private:
    uint64_t s_;
};

void Fail(const std::string& what)
{
    std::perror(what.c_str());
    std::exit(1);
}

void MakeFolders(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string part = path.substr(0, at);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                Fail(part);
        }
    }
}

void PinTimes(const std::string& path, time_t write)
{
    struct timespec ts[2] = {{kAccessTime, 0}, {write, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0)
        Fail(path);
}

void WriteFile(const std::string& path, const std::string& content, time_t write = kWriteTime)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(content.data(), 1, content.size(), f) != content.size() || std::fclose(f) != 0)
        Fail(path);
    PinTimes(path, write);
}

// Content of a content kind: random bytes, or blocks of a line feed and 99 bytes that
// are the same 99 values in another order (so every block has the same byte sum and the
// line feed, exactly every 100 bytes, is the separator the differencing picks).
class CSource {
public:
    CSource(bool equalSums, uint64_t seed) : equal_(equalSums), r_(seed)
    {
        for (int i = 0; i < 99; ++i)
            base_[i] = static_cast<unsigned char>(0x20 + i); // never a line feed
    }
    void Fill(unsigned char* p, size_t n)
    {
        if (!equal_) {
            r_.Fill(p, n);
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            if (pos_ == 0) {
                block_[0] = '\n';
                std::copy(base_, base_ + 99, block_ + 1);
                for (int k = 98; k > 0; --k)
                    std::swap(block_[1 + k], block_[1 + r_.Below(static_cast<uint64_t>(k) + 1)]);
            }
            p[i] = block_[pos_];
            pos_ = (pos_ + 1) % 100;
        }
    }

private:
    bool equal_;
    CRandom r_;
    unsigned char base_[99];
    unsigned char block_[100];
    size_t pos_ = 0;
};

// One file pair of size MiB with edits at sorted places: a run of 1 to 300 bytes
// overwritten, inserted or deleted.
void FilePair(const std::string& dir, bool equalSums, uint64_t mib, uint64_t edits)
{
    const uint64_t size = mib << 20;
    MakeFolders(dir + "/old");
    MakeFolders(dir + "/new");
    const std::string oldPath = dir + "/old/data.bin";
    const std::string newPath = dir + "/new/data.bin";
    FILE* o = std::fopen(oldPath.c_str(), "wb");
    FILE* n = std::fopen(newPath.c_str(), "wb");
    if (!o || !n)
        Fail(dir);
    CRandom places(7);
    std::vector<uint64_t> at(edits);
    for (auto& p : at)
        p = places.Below(size - 4096);
    std::sort(at.begin(), at.end());
    CSource content(equalSums, 1);
    CRandom edit(3);
    std::vector<unsigned char> buffer(1 << 20);
    auto copy = [&](uint64_t count, bool toOld, bool toNew, CSource* from, CRandom* random) {
        while (count > 0) {
            size_t k = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
            if (from)
                from->Fill(buffer.data(), k);
            else
                random->Fill(buffer.data(), k);
            if ((toOld && std::fwrite(buffer.data(), 1, k, o) != k) || (toNew && std::fwrite(buffer.data(), 1, k, n) != k))
                Fail(dir);
            count -= k;
        }
    };
    uint64_t written = 0;
    for (uint64_t p : at) {
        if (p < written)
            continue;
        copy(p - written, true, true, &content, nullptr);
        uint64_t len = 1 + edit.Below(300);
        switch (edit.Below(3)) {
        case 0: // overwritten: the old bytes go on in the content, the new ones are random
            copy(len, true, false, &content, nullptr);
            copy(len, false, true, nullptr, &edit);
            break;
        case 1: // inserted
            copy(len, false, true, nullptr, &edit);
            len = 0;
            break;
        default: // deleted
            copy(len, true, false, &content, nullptr);
            break;
        }
        written = p + len;
    }
    copy(size - written, true, true, &content, nullptr);
    if (std::fclose(o) != 0 || std::fclose(n) != 0)
        Fail(dir);
    PinTimes(oldPath, kWriteTime);
    PinTimes(newPath, kWriteTime + 3600);
}

// Text like a source file: lines of words.
std::string Text(CRandom& r, size_t bytes)
{
    static const char* const kWords[] = {"const", "return", "function", "value", "index", "length", "buffer",
                                         "if",    "else",   "for",      "while", "=",     "+",      "(",
                                         ")",     "{",      "}",        ";",     "data",  "result"};
    std::string out;
    while (out.size() < bytes) {
        size_t indent = r.Below(4) * 2;
        out.append(indent, ' ');
        size_t words = 2 + r.Below(10);
        for (size_t w = 0; w < words; ++w) {
            out += kWords[r.Below(20)];
            out += w + 1 < words ? ' ' : '\n';
        }
    }
    out.resize(bytes);
    return out;
}

// A small file of 200 bytes to 8 KiB: mostly text, every seventh one binary.
std::string SmallFile(CRandom& r, size_t index)
{
    size_t size = 200 + r.Below(8 * 1024 - 200);
    if (index % 7 == 3) {
        std::string out(size, '\0');
        r.Fill(reinterpret_cast<unsigned char*>(out.data()), size);
        return out;
    }
    return Text(r, size);
}

std::string FileName(size_t i)
{
    char name[64];
    std::snprintf(name, sizeof name, "d%02zu/s%03zu/file%06zu.%s", (i / 1000) % 100, (i / 100) % 1000, i,
                  i % 7 == 3 ? "bin" : "js");
    return name;
}

void SmallFiles(const std::string& dir, size_t count, size_t percent)
{
    CRandom r(11);
    CRandom edits(13);
    const size_t every = percent == 0 ? 0 : 100 / percent;
    for (size_t i = 0; i < count; ++i) {
        const std::string name = FileName(i);
        const std::string folder = name.substr(0, name.rfind('/'));
        if (i % 100 == 0) {
            MakeFolders(dir + "/old/" + folder);
            MakeFolders(dir + "/new/" + folder);
        }
        std::string content = SmallFile(r, i);
        WriteFile(dir + "/old/" + name, content);
        if (every != 0 && i % every == every / 2) {
            // A changed file: a few lines replaced and some appended.
            size_t at = edits.Below(content.size());
            content.replace(at, std::min<size_t>(40, content.size() - at), Text(edits, 60));
            content += Text(edits, 100 + edits.Below(400));
            WriteFile(dir + "/new/" + name, content, kWriteTime + 3600);
        } else {
            WriteFile(dir + "/new/" + name, content);
        }
    }
}

void AllNew(const std::string& dir, size_t count)
{
    CRandom r(17);
    MakeFolders(dir + "/old");
    for (size_t i = 0; i < count; ++i) {
        const std::string name = FileName(i);
        if (i % 100 == 0)
            MakeFolders(dir + "/new/" + name.substr(0, name.rfind('/')));
        WriteFile(dir + "/new/" + name, SmallFile(r, i));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_corpus scattered|equalsums|smallfiles|allnew N M DIR\n");
        return 2;
    }
    const std::string kind = argv[1];
    const uint64_t a = std::strtoull(argv[2], nullptr, 10);
    const uint64_t b = std::strtoull(argv[3], nullptr, 10);
    const std::string dir = argv[4];
    if (kind == "scattered" || kind == "equalsums")
        FilePair(dir, kind == "equalsums", a, b);
    else if (kind == "smallfiles")
        SmallFiles(dir, a, b);
    else if (kind == "allnew")
        AllNew(dir, a);
    else
        return 2;
    return 0;
}
