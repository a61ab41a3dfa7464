// The bytes a build writes are fixed: patch files already handed out are read by apply
// programs already installed. These tests build fixed, generated trees and compare the
// result with reference copies kept under tests/fixtures/: the decompressed patch image
// record by record, and, for a single file pair, the build log, the progress calls and
// what an apply writes to the log and shows on its progress bar.
//
// Two things of a patch image cannot be fixed by a test and are masked on both sides:
// the date word of the header (bytes 64..67) and the creation time of every record
// (the birth time of a file cannot be set here). Records are compared in name order,
// because the folder walk meets the files in the order the file system lists them.
//
// After a deliberate change of the format, DELVORIN_WRITE_REFERENCE=1 writes the
// fixtures afresh instead of comparing.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileTimes.h"
#include "platform/ScriptedPrompt.h"
#include "support/ApplyRun.h"
#include "support/RecordingProgress.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include "support/Gzip.h"

namespace {

// Deterministic bytes, the same on every machine (xorshift64*).
class CBytes {
public:
    explicit CBytes(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t Next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    std::string Random(size_t n)
    {
        std::string out(n, '\0');
        for (auto& c : out)
            c = static_cast<char>(Next() >> 56);
        return out;
    }
    // Lines of words, line feeds between them: text whose separator is the line feed.
    std::string Text(size_t lines)
    {
        static const char* const kWords[] = {"patch", "folder", "file", "record", "object", "apply",
                                             "build", "delta",  "block", "offset", "length", "sum"};
        std::string out;
        for (size_t i = 0; i < lines; ++i) {
            size_t words = 3 + Next() % 9;
            for (size_t w = 0; w < words; ++w) {
                out += kWords[Next() % 12];
                out += w + 1 < words ? ' ' : '\n';
            }
        }
        return out;
    }
    // Blocks of 64 bytes that all hold the same bytes in another order, so that every
    // block has the same byte sum.
    std::string EqualSums(size_t blocks)
    {
        std::string base;
        for (int i = 0; i < 64; ++i)
            base += static_cast<char>(i * 3 + 1);
        std::string out;
        for (size_t b = 0; b < blocks; ++b) {
            std::string block = base;
            for (size_t i = block.size() - 1; i > 0; --i)
                std::swap(block[i], block[Next() % (i + 1)]);
            out += block;
        }
        return out;
    }

private:
    uint64_t state_;
};

// Scattered edits: overwritten, inserted and deleted runs at fixed places.
std::string Edit(std::string s, uint64_t seed, int edits)
{
    CBytes r(seed);
    for (int e = 0; e < edits; ++e) {
        size_t at = static_cast<size_t>(r.Next() % (s.size() - 600));
        size_t n = 1 + static_cast<size_t>(r.Next() % 300);
        switch (e % 3) {
        case 0: s.replace(at, n, r.Random(n)); break;
        case 1: s.insert(at, r.Random(n)); break;
        default: s.erase(at, n); break;
        }
    }
    return s;
}

constexpr int64_t kWriteTime = 1700000000;   // November 2023
constexpr int64_t kAccessTime = 4102444800;  // 2100: ahead of now, so reading never moves it

void Pin(const std::string& path, int64_t writeSeconds = kWriteTime)
{
    PinTimes(path, writeSeconds, kAccessTime);
}

std::string Fixture(const std::string& name)
{
    const char* source = std::getenv("DELVORIN_SOURCE");
    return std::string(source ? source : ".") + "/tests/fixtures/" + name;
}

bool Rewriting()
{
    const char* v = std::getenv("DELVORIN_WRITE_REFERENCE");
    return v && std::string(v) == "1";
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// The image with the date word and the creation times zeroed and the records in name
// order. Fails the test when the image does not hold whole records.
std::string Normalise(const std::string& image)
{
    const auto* b = reinterpret_cast<const unsigned char*>(image.data());
    EXPECT_GE(image.size(), kEmptyHeaderLength);
    if (image.size() < kEmptyHeaderLength)
        return "";
    const size_t removes = GetU16(b + kHeaderFixedLength - 2);
    const size_t recordsAt = kEmptyHeaderLength + kRemoveFieldLength * removes;
    const size_t count = GetU16(b + recordsAt - 6);
    std::string header = image.substr(0, recordsAt);
    std::fill(header.begin() + 64, header.begin() + 68, '\0');

    std::vector<std::pair<std::string, std::string>> records;
    size_t at = recordsAt;
    for (size_t r = 0; r < count; ++r) {
        const size_t start = at;
        EXPECT_LE(at + 10, image.size());
        if (at + 10 > image.size())
            return "";
        const size_t nameField = GetU16(b + at + 8);
        const std::string name = image.substr(at + 10, nameField);
        at += 10 + nameField;
        const size_t fixedAt = at;
        at += 52;
        EXPECT_LE(at, image.size());
        if (at > image.size())
            return "";
        const uint32_t olds = GetU32(b + fixedAt + 44);
        const uint32_t news = GetU32(b + fixedAt + 48);
        at += size_t{olds} * 20;
        for (uint32_t n = 0; n < news && at + 16 <= image.size(); ++n)
            at += 16 + GetU32(b + at + 12);
        EXPECT_LE(at, image.size());
        if (at > image.size())
            return "";
        std::string record = image.substr(start, at - start);
        std::fill(record.begin() + static_cast<long>(fixedAt - start + 20),
                  record.begin() + static_cast<long>(fixedAt - start + 28), '\0');
        records.emplace_back(name, record);
    }
    // The records are compared; what follows them is the trailer of strong checks, whose
    // last 12 bytes give its length and its end mark.
    EXPECT_GE(image.size(), at + 12);
    if (image.size() >= at + 12) {
        EXPECT_EQ(image.substr(image.size() - 8), "DvChkEnd");
        EXPECT_EQ(GetU32(b + image.size() - 12), image.size() - at) << "bytes between the records and the trailer";
    }
    std::sort(records.begin(), records.end());
    std::string out = header;
    for (const auto& r : records)
        out += r.second;
    return out;
}

// Compares with a fixture, or writes the fixture when asked to.
void ExpectFixture(const std::string& name, const std::string& actual)
{
    const std::string path = Fixture(name);
    if (Rewriting()) {
        WriteAll(path, actual);
        return;
    }
    const std::string expected = ReadFileText(path);
    ASSERT_FALSE(expected.empty()) << "missing fixture " << path;
    ASSERT_EQ(expected.size(), actual.size()) << name;
    size_t first = 0;
    while (first < actual.size() && expected[first] == actual[first])
        ++first;
    EXPECT_EQ(first, actual.size()) << name << ": first difference at byte " << first;
}

std::string Replace(std::string text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

class ReferencePatchTest : public testing::Test {
protected:
    CTestFolder dir;
    std::string oldFolder = dir.MakeFolder("old");
    std::string newFolder = dir.MakeFolder("new");
    std::string patch = dir.MakeFolder("out") + "/update.dvp";
    std::string programFolder = dir.MakeFolder("prog");
    std::string tempFolder = dir.MakeFolder("tmp") + "/";
    CScriptedPrompt prompt;

    void Pair(const std::string& relative, const std::string& oldContent, const std::string& newContent)
    {
        Pin(dir.Write("old/" + relative, oldContent));
        Pin(dir.Write("new/" + relative, newContent), kWriteTime + 60);
    }

    // Builds the patch file with the header fields fixed; logging when asked.
    void Build(bool logging, IBuildProgress* progress, const std::vector<std::string>& removes = {},
               const std::vector<std::string>& excludes = {})
    {
        CAppCore core(&prompt, programFolder, tempFolder);
        core.userName = "Reference Publisher";
        core.userOrganization = "Reference Organisation";
        core.settings.defaultFolder = "/opt/reference";
        core.settings.dialogText = "Updates the reference tree.\nPress Apply.";
        core.settings.logFile = logging ? 1 : 0;
        core.log.SetPath(dir / "build.log");
        CDirDiff dirDiff(core);
        for (const auto& r : removes)
            dirDiff.AddRemoveFile(r);
        for (const auto& e : excludes)
            dirDiff.AddExcludeFile(newFolder + "/" + e);
        CPatchDoc doc(core, dirDiff, patch);
        doc.SetOldFolder(oldFolder);
        ASSERT_TRUE(doc.WritePatchHeader());
        std::string message;
        ASSERT_EQ(dirDiff.BuildPatch(oldFolder, newFolder, message, progress), 1) << message;
        ASSERT_TRUE(doc.FinishPatchFile(false));
    }

    // Applies the patch to a copy of the old tree; returns the copy's path.
    std::string Apply(bool logging, IApplyProgress* progress)
    {
        const std::string target = dir / "target";
        EXPECT_TRUE(CopyTree(oldFolder, target));
        CAppCore core(&prompt, programFolder, tempFolder);
        core.settings.logFile = logging ? 1 : 0;
        core.log.SetPath(dir / "apply.log");
        EXPECT_EQ(ApplyPatchFile(core, patch, target, progress), 1);
        return target;
    }

    std::string Messages() const
    {
        std::string out;
        for (const auto& s : prompt.Shown())
            out += "message: " + s.title + ": " + s.text + "\n";
        return out;
    }
};

TEST_F(ReferencePatchTest, TreeOfEveryKindOfFileGivesTheReferenceImage)
{
    CBytes r(1);
    const std::string big = r.Random(3 << 20);
    Pair("bin/app.dat", big, Edit(big, 11, 24));
    const std::string text = r.Text(4000);
    Pair("readme.txt", text, Edit(text, 12, 9));
    const std::string sums = r.EqualSums(4096);
    Pair("bin/equal sums.dat", sums, Edit(sums, 13, 6));
    Pair("deep/a/b/c/name with spaces.txt", r.Text(50), r.Text(60));
    Pair("tiny.txt", r.Random(30), r.Random(31));
    Pair("shrunk.txt", r.Text(20), "");
    Pair("from empty.txt", "", r.Text(20));
    Pin(dir.Write("new/only new/fresh.bin", r.Random(5000)));
    Pin(dir.Write("new/only new/empty.txt", ""));
    const std::string same = r.Text(30);
    Pin(dir.Write("old/same.txt", same));
    Pin(dir.Write("new/same.txt", same)); // same content and times: no record
    Pair("touched.txt", same, same);      // same content, later write time: a record without objects
    Pair("excluded.txt", r.Text(5), r.Text(6));
    Pin(dir.Write("old/gone.txt", "removed by the apply"));
    Pin(dir.Write("old/sub/also gone.txt", "removed as well"));

    Build(false, nullptr, {"/opt/reference/gone.txt", oldFolder + "/sub/also gone.txt"}, {"excluded.txt"});
    ASSERT_TRUE(prompt.Shown().empty()) << Messages();
    ExpectFixture("reference_tree.img", Normalise(PlainPatchImage(patch)));

    // The apply rebuilds the new tree from the old one.
    const std::string target = Apply(false, nullptr);
    Tree expected = SnapshotTree(newFolder);
    expected.erase("excluded.txt");
    expected["excluded.txt"] = ReadFileText(oldFolder + "/excluded.txt");
    EXPECT_EQ(SnapshotTree(target), expected);
}

TEST_F(ReferencePatchTest, SingleFilePairGivesTheReferenceImageLogAndProgress)
{
    CBytes r(2);
    std::string content = r.Random(1 << 20) + r.Text(3000) + r.EqualSums(2048);
    Pair("data.bin", content, Edit(content, 21, 30));

    CRecordingBuildProgress buildProgress;
    Build(true, &buildProgress);
    ExpectFixture("reference_single.img", Normalise(PlainPatchImage(patch)));

    CRecordingApplyProgress applyProgress;
    const std::string target = Apply(true, &applyProgress);
    EXPECT_EQ(ReadFileText(target + "/data.bin"), ReadFileText(newFolder + "/data.bin"));

    // The log without its dated first line, with the scratch folder's path replaced.
    std::string trace;
    for (const std::string& log : {dir / "build.log", dir / "apply.log"}) {
        std::string text = ReadFileText(log);
        text.erase(0, text.find('\n') + 1);
        trace += Replace(text, dir.Path(), "<dir>");
    }
    for (const auto& c : buildProgress.calls)
        trace += "build " + c.what + " " + c.text + " " + std::to_string(c.value) + "\n";
    for (const auto& c : applyProgress.calls)
        trace += "apply " + c.what + " " + c.text + " " + std::to_string(c.value) + "\n";
    trace += Replace(Messages(), dir.Path(), "<dir>");
    ExpectFixture("reference_single.trace", trace);
}

} // namespace
