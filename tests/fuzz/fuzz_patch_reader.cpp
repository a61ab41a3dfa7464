// Fuzz target: the input is a decompressed patch image (header and file records). It
// is put behind a zero part prefix, opened like any patch file, and applied to a
// scratch folder that holds a small fixed set of old files.
//
// Built as fuzz_compact_reader (DELVORIN_FUZZ_COMPACT), the input is the unpacked
// content of a compact patch: the description, the controls, the differences, the
// literals and the frames of the packed deltas, each but the last behind its 32-bit
// length. The target packs each part but the frames and puts them together as a
// compact patch, so that the fuzzer reaches the records and
// the rebuild rather than stopping at the packing. Besides the sanitizers'
// findings, anything created, changed or deleted beside the scratch target folder is a
// finding: the apply must never reach outside its target.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"

#ifdef DELVORIN_FUZZ_COMPACT
#include "engine/common/CompactDelta.h"
#include <zstd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct CScratch {
    std::string root, target, outside, prog, temp, patch;

    CScratch()
    {
        // A memory file system when there is one: the apply syncs every file it writes.
        std::string base = fsys::FolderExists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/delvorin-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (!mkdtemp(buffer.data()))
            std::abort();
        root = buffer.data();
        target = root + "/target";
        outside = root + "/outside";
        prog = root + "/prog";
        temp = root + "/temp/";
        patch = root + "/patch.dvp";
        fsys::CreateFolder(outside);
        fsys::CreateFolder(prog);
        fsys::CreateFolder(root + "/temp");
        fsys::WriteWholeFile(outside + "/keep.txt", "keep", 4);
        // A patch may make files as long as it likes; the writes fail at 4 MiB instead
        // of filling the disk, which exercises the apply's write-failure paths as well.
        struct rlimit limit = {4u << 20, 4u << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    ~CScratch() { fsys::RemoveTree(root); }
};

CScratch& Scratch()
{
    static CScratch scratch;
    return scratch;
}

// The old files the seed corpus was built against (tests/fuzz/make_corpus.sh).
void MakeTarget(const CScratch& s)
{
    fsys::RemoveTree(s.target);
    fsys::CreateFolder(s.target);
    fsys::CreateFolder(s.target + "/sub");
    std::string hello;
    for (int i = 0; i < 20; ++i)
        hello += "hello world\n";
    fsys::WriteWholeFile(s.target + "/a.txt", hello.data(), hello.size());
    std::vector<unsigned char> bytes(256);
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    fsys::WriteWholeFile(s.target + "/sub/b.bin", bytes.data(), bytes.size());
    fsys::WriteWholeFile(s.target + "/c.txt", "remove me\n", 10);
}

void CheckOutside(const CScratch& s)
{
    std::vector<fsys::DirEntry> entries;
    fsys::ListFolder(s.root, entries);
    for (const auto& e : entries) {
        if (e.name != "." && e.name != ".." && e.name != "target" && e.name != "outside" && e.name != "prog" &&
            e.name != "temp" && e.name != "patch.dvp") {
            std::fprintf(stderr, "the apply created %s beside the target folder\n", e.name.c_str());
            std::abort();
        }
    }
    fsys::ListFolder(s.outside, entries);
    std::vector<unsigned char> keep;
    if (entries.size() != 3 || !fsys::ReadWholeFile(s.outside + "/keep.txt", keep) || keep.size() != 4) {
        std::fprintf(stderr, "the apply changed the folder beside the target folder\n");
        std::abort();
    }
}

} // namespace

#ifdef DELVORIN_FUZZ_COMPACT
// The compact patch image made of the five unpacked parts of the input.
std::string CompactImage(const uint8_t* data, size_t size)
{
    std::string parts[5];
    for (int i = 0; i < 4; ++i) {
        uint32_t n = 0;
        if (size >= 4) {
            n = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24);
            data += 4;
            size -= 4;
        }
        n = static_cast<uint32_t>(std::min<size_t>(n, size));
        parts[i].assign(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
    }
    parts[4].assign(reinterpret_cast<const char*>(data), size);
    std::string packed[4];
    for (int i = 0; i < 4; ++i) {
        if (parts[i].empty())
            continue;
        packed[i].resize(ZSTD_compressBound(parts[i].size()));
        packed[i].resize(ZSTD_compress(packed[i].data(), packed[i].size(), parts[i].data(), parts[i].size(), 1));
    }
    CCompactFixed fixed;
    fixed.descriptionRaw = static_cast<uint32_t>(parts[0].size());
    fixed.descriptionPacked = static_cast<uint32_t>(packed[0].size());
    for (int i = 0; i < kCompactStreams; ++i) {
        fixed.spans[i].raw = parts[i + 1].size();
        fixed.spans[i].packed = packed[i + 1].size();
    }
    fixed.frames = parts[4].size();
    std::string image(kCompactFixedSize, '\0');
    PutCompactFixed(reinterpret_cast<unsigned char*>(image.data()), fixed);
    return image + packed[0] + packed[1] + packed[2] + packed[3] + parts[4];
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CScratch& s = Scratch();
    MakeTarget(s);
    std::string file(8, '\0');
#ifdef DELVORIN_FUZZ_COMPACT
    file += CompactImage(data, size);
#else
    file.append(reinterpret_cast<const char*>(data), size);
#endif
    fsys::WriteWholeFile(s.patch, file.data(), file.size());

    // Every question is answered No (go on), so that as much of the apply runs as can.
    CScriptedPrompt prompt;
    prompt.SetDefault(PromptAnswer::No);
    {
        CAppCore core(&prompt, s.prog, s.temp);
        CDirDiff dirDiff(core);
        CPatchDoc doc(core, dirDiff, s.patch);
        if (doc.ReadPatchHeader()) {
            dirDiff.TargetFolder() = s.target;
            int backup = size % 2;
            dirDiff.ApplyPatch(doc, backup, "bak", nullptr);
            doc.ClosePatchFile();
        }
    }
    CheckOutside(s);
    return 0;
}
