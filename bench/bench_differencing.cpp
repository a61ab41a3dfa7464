// Differencing throughput: how fast CreatePatch describes a 64 MiB file against its old
// version, for three kinds of content:
//   edits     random bytes, the new file the old one with small scattered edits
//   unrelated random bytes, old and new with nothing in common
//   equalsum  blocks that all have the same byte sum (each block the separator byte and
//             a permutation of the same 55 bytes), with small scattered edits
// The last is the case in which an index keyed by byte sums alone would compare every
// block against every earlier one; it must stay close to the first.
//
// Usage: bench_differencing [SIZE_MIB] [RUNS]   (defaults 64 and 3; the best run counts)
#include "app/AppCore.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Random(size_t size, uint32_t seed)
{
    std::mt19937_64 gen(seed);
    Bytes out(size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t v = gen();
        for (int k = 0; k < 8; ++k)
            out[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    for (; i < size; ++i)
        out[i] = static_cast<unsigned char>(gen());
    return out;
}

// Blocks of 56 bytes: a zero byte, then the values 1 to 55 in a random order.
Bytes EqualSumBlocks(size_t size, uint32_t seed)
{
    std::mt19937 gen(seed);
    Bytes block(55);
    for (int i = 0; i < 55; ++i)
        block[i] = static_cast<unsigned char>(i + 1);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        std::shuffle(block.begin(), block.end(), gen);
        out.push_back(0);
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(size);
    return out;
}

// About one small insertion, deletion or change every 64 KiB.
Bytes Edited(const Bytes& old, uint32_t seed)
{
    std::mt19937 gen(seed);
    Bytes out;
    out.reserve(old.size() + old.size() / 1000);
    size_t pos = 0;
    while (pos < old.size()) {
        size_t next = std::min(old.size(), pos + 32768 + gen() % 65536);
        out.insert(out.end(), old.begin() + static_cast<long>(pos), old.begin() + static_cast<long>(next));
        pos = next;
        if (pos >= old.size())
            break;
        size_t n = 1 + gen() % 32;
        switch (gen() % 3) {
        case 0: // insert
            for (size_t k = 0; k < n; ++k)
                out.push_back(static_cast<unsigned char>(gen()));
            break;
        case 1: // delete
            pos = std::min(old.size(), pos + n);
            break;
        default: // change
            for (size_t k = 0; k < n && pos < old.size(); ++k, ++pos)
                out.push_back(static_cast<unsigned char>(old[pos] ^ (1 + gen() % 255)));
            break;
        }
    }
    return out;
}

struct CResult {
    double seconds = 0;
    double mibPerSecond = 0;
    size_t oldCopies = 0, newData = 0;
    uint64_t copied = 0;
};

CResult Run(const std::string& folder, const char* name, const Bytes& oldData, const Bytes& newData, int runs)
{
    std::string oldPath = fsys::Join(folder, std::string(name) + ".old");
    std::string newPath = fsys::Join(folder, std::string(name) + ".new");
    if (!fsys::WriteWholeFile(oldPath, oldData.data(), oldData.size()) ||
        !fsys::WriteWholeFile(newPath, newData.data(), newData.size())) {
        std::fprintf(stderr, "cannot write the test files in %s\n", folder.c_str());
        std::exit(1);
    }
    CAppCore core(nullptr, folder, folder);
    CResult best;
    for (int r = 0; r < runs; ++r) {
        CFilePatch record(core);
        auto t0 = std::chrono::steady_clock::now();
        int result = record.CreatePatch(oldPath, newPath, folder, nullptr);
        auto t1 = std::chrono::steady_clock::now();
        if (result != 1) {
            std::fprintf(stderr, "CreatePatch failed for %s\n", name);
            std::exit(1);
        }
        double s = std::chrono::duration<double>(t1 - t0).count();
        if (r == 0 || s < best.seconds) {
            best.seconds = s;
            best.mibPerSecond = static_cast<double>(newData.size()) / (1024.0 * 1024.0) / s;
            best.oldCopies = record.oldPatches.size();
            best.newData = record.newPatches.size();
            best.copied = 0;
            for (const auto& o : record.oldPatches)
                best.copied += o.length;
        }
    }
    fsys::DeleteFile(oldPath);
    fsys::DeleteFile(newPath);
    std::printf("%-10s %8.1f MiB/s  (%.3f s; %zu old-copy, %zu new-data objects; %.1f%% copied)\n", name,
                best.mibPerSecond, best.seconds, best.oldCopies, best.newData,
                100.0 * static_cast<double>(best.copied) / static_cast<double>(newData.size()));
    std::fflush(stdout);
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mib == 0 || mib >= 4096 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_differencing [SIZE_MIB (1-4095)] [RUNS]\n");
        return 2;
    }
    const size_t size = mib * 1024 * 1024;
    const std::string& folder = fsys::PrivateTempFolder();
    std::printf("CreatePatch throughput, %zu MiB files, best of %d runs\n", mib, runs);

    Bytes old = Random(size, 1);
    CResult edits = Run(folder, "edits", old, Edited(old, 2), runs);
    Run(folder, "unrelated", old, Random(size, 3), runs);
    old = EqualSumBlocks(size, 4);
    CResult equalSum = Run(folder, "equalsum", old, Edited(old, 5), runs);

    double ratio = equalSum.seconds / edits.seconds;
    std::printf("equalsum / edits time ratio: %.2f (must stay at or below 2)\n", ratio);
    fsys::RemovePrivateTempFolder();
    return ratio <= 2.0 ? 0 : 1;
}
