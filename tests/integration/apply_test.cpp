// Applying patch files: round trips of trees built by the engine, split patches, and
// every way an apply can stop, with the exact messages and the target folder's state
// afterwards.
#include "support/ApplyRun.h"
#include "support/CompactImage.h"
#include "support/PatchImage.h"
#include "support/RecordingProgress.h"
#include "support/ShownPrompt.h"
#include "support/TestFolder.h"
#include "support/TreeDifferences.h"
#include "support/TextLines.h"

#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "jobs/BuildJob.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/OpenFiles.h"
#include "platform/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kHeaderRefused = 99;
const std::string kCancelQuestion =
    "If you cancel the Delvorin apply process, each of\nyour files stays either old or new, and applying\n"
    "the patch again finishes the job.\n\nDo you really want to cancel this process?";

std::string Missing(const std::string& path)
{
    return "The following file to be updated is missing:\n" + path + "\n\n";
}

std::string Modified(const std::string& path)
{
    return "The following file, " + path +
           "\nhas been modified since this patch file was created.\n\nThis patch file cannot be applied to this "
           "file.\nDo you want to abort the patch process?";
}

// The errors-list entry of a file whose rebuild does not come out as its record says.
std::string DamagedRebuild(const std::string& path)
{
    return "The following file did not come out as the patch file says; the patch file is damaged and cannot be "
           "applied:\n" +
           path + "\n\n";
}

// The errors-list entry of a compact patch whose rebuilt and found files do not give the
// digest of its new tree.
std::string TreeWrong(const std::string& folder)
{
    return "The files of the following folder do not come out as the patch file says: a file differs from the one "
           "the patch was built from, or the patch file is damaged:\n" +
           folder + "\n\n";
}

uint64_t WriteTime(const std::string& path)
{
    CFileTimes t;
    EXPECT_TRUE(GetFileTimes(path, t)) << path;
    return t.lastWrite;
}

// Both times of the file at the Unix time given.
void SetWriteTime(const std::string& path, int64_t unixSeconds)
{
    PinTimes(path, unixSeconds, unixSeconds);
}

unsigned Mode(const std::string& path)
{
    unsigned m = 0;
    EXPECT_TRUE(fsys::GetPermissions(path, m));
    return m;
}

bool HasWorkFiles(const std::map<std::string, std::string>& tree)
{
    for (const auto& [name, content] : tree)
        if (name.find(".~dvp-") != std::string::npos)
            return true;
    return false;
}

// The test's folder; a base of its own so it is made before the apply run that uses it.
struct CRootFolder {
    CTestFolder root;
};

class ApplyTest : public ::testing::Test, protected CRootFolder, protected CApplyRun {
protected:
    using CRootFolder::root;

    ApplyTest() : CApplyRun(CRootFolder::root) {}

    void SetUp() override
    {
        oldDir = root.MakeFolder("old");
        newDir = root.MakeFolder("new");
        progFolder = root.MakeFolder("prog");
    }

    struct BuildOptions {
        uint16_t split = 0;
        std::vector<std::string> removes;
        std::vector<std::string> excludes;
        bool thorough = false;
        bool compact = false;
    };

    void Build(const BuildOptions& o)
    {
        CScriptedPrompt p;
        CAppCore core(&p, progFolder);
        core.settings.defaultFolder = oldDir;
        core.settings.splitSize = o.split;
        core.settings.thorough = o.thorough ? 1 : 0;
        core.settings.compact = o.compact ? 1 : 0;
        CDirDiff dirDiff(core);
        for (const auto& e : o.excludes)
            dirDiff.AddExcludeFile(newDir + "/" + e);
        for (const auto& r : o.removes)
            dirDiff.AddRemoveFile(oldDir + "/" + r);
        const CBuildOutcome built = CBuildJob(core, dirDiff, {oldDir, newDir, patchFile, "", false}).Run(nullptr);
        ASSERT_EQ(built.kind, CBuildOutcome::Kind::Built) << built.message << built.refusal.text;
    }

    // Three changed files a.txt, b.txt, c.txt and their patch.
    void ThreeChangedFiles(std::vector<image::Record>* records = nullptr)
    {
        std::vector<image::Record> r = {image::Changed("a.txt", "old a", "new a!"),
                                        image::Changed("b.txt", "old b", "new b!!"),
                                        image::Changed("c.txt", "old c", "new c!!!")};
        root.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}, {"target/c.txt", "old c"}});
        if (records)
            *records = r;
        else
            Craft(r);
    }

    std::string oldDir, newDir, progFolder;
};

TEST_F(ApplyTest, BuiltPatchTurnsOldTreeIntoNewTree)
{
    std::vector<unsigned char> big = RandomBytes(300000, 7);
    root.WriteBytes("old/big.bin", big);
    for (size_t i = 1000; i < big.size(); i += 40000)
        big[i] ^= 0x5A;
    big.insert(big.begin() + 5000, 77, 'x');
    root.WriteBytes("new/big.bin", big);
    root.WritePair("same.txt", "unchanged", "unchanged");
    root.Write("old/gone.txt", "to be removed");
    root.WritePair("excluded.txt", "old excluded", "new excluded");
    root.WritePair("tools/run.sh", "#!/bin/sh\necho old\n", "#!/bin/sh\necho new version\n");
    ASSERT_TRUE(fsys::SetPermissions(oldDir + "/tools/run.sh", 0750));
    root.WriteAll({{"new/deep/n1/n2/n3/file.txt", "deep new file"}, {"new/empty.txt", ""},
                   {"new/tools/added.txt", "new file in a folder that is there"}});
    for (const char* f :
         {"big.bin", "excluded.txt", "tools/run.sh", "deep/n1/n2/n3/file.txt", "empty.txt", "tools/added.txt"})
        SetWriteTime(newDir + "/" + f, 1600000000);
    SetWriteTime(newDir + "/same.txt", WriteTime(oldDir + "/same.txt") / 10000000 - kFileTimeEpochOffset);

    Build({0, {"gone.txt"}, {"excluded.txt"}});
    ASSERT_TRUE(CopyTree(oldDir, target));
    ASSERT_EQ(Mode(target + "/tools/run.sh"), 0750u);

    ASSERT_EQ(Apply(), 1);
    EXPECT_TRUE(Texts().empty());
    auto expected = SnapshotTree(newDir);
    expected["excluded.txt"] = "old excluded";
    EXPECT_EQ(SnapshotTree(target), expected);
    EXPECT_FALSE(fsys::PathExists(target + "/gone.txt"));
    EXPECT_EQ(Mode(target + "/tools/run.sh"), 0750u);
    for (const char* f : {"big.bin", "tools/run.sh", "deep/n1/n2/n3/file.txt", "empty.txt", "tools/added.txt"})
        EXPECT_EQ(WriteTime(target + "/" + f), WriteTime(newDir + "/" + f)) << f;
}

// Generated pairs for the thorough matcher; scattered single-byte edits first.
void WriteThoroughPairs(CTestFolder& root, bool scatteredOnly)
{
    std::vector<unsigned char> base = RandomBytes(400000, 11);
    std::vector<unsigned char> edited = base;
    for (size_t i = 97; i < edited.size(); i += 1009)
        edited[i] ^= 0x21;
    root.WriteBytesPair("scattered.bin", base, edited);
    if (scatteredOnly)
        return;

    std::vector<unsigned char> stretches = base;
    stretches.erase(stretches.begin() + 300000, stretches.begin() + 300900);
    stretches.insert(stretches.begin() + 120000, 3000, 'i');
    stretches.erase(stretches.begin(), stretches.begin() + 5);
    stretches.insert(stretches.end(), 7, 'e');
    root.WriteBytesPair("sub/stretches.bin", base, stretches);

    // Blocks of the old file in another order, one of them twice.
    std::vector<unsigned char> moved;
    for (size_t block : {3, 0, 2, 2, 1})
        moved.insert(moved.end(), base.begin() + block * 100000, base.begin() + (block + 1) * 100000);
    root.WriteBytesPair("moved.bin", base, moved);

    // Five bytes in, five bytes out further on: the copy after both is at the distance
    // of the copy before them, and the one between lies under them both.
    std::vector<unsigned char> returns = base;
    returns.insert(returns.begin() + 1000, 5, 'r');
    returns.erase(returns.begin() + 1600, returns.begin() + 1605);
    root.WriteBytesPair("returns.bin", base, returns);

    root.WriteBytesPair("unrelated.bin", RandomBytes(50000, 12), RandomBytes(70000, 13));
    // A long run of one value against a shorter one, and a repeated piece.
    root.WritePair("runs.bin", std::string(100000, 'z'), std::string(150000, 'z') + "end");
    std::string piece(1024, '\0');
    for (size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(i * 7);
    std::string repeated;
    for (int i = 0; i < 64; ++i)
        repeated += piece;
    root.WritePair("repeated.bin", repeated, repeated.substr(512) + "tail");
    root.WritePair("grows.txt", "", "x");
    root.WritePair("shrinks.txt", "y", "");
    root.WritePair("one.txt", "a", "b");
    root.Write("new/added.txt", "a file the old tree does not have");
}

TEST_F(ApplyTest, ThoroughPatchTurnsOldTreeIntoNewTree)
{
    WriteThoroughPairs(root, false);
    Build({0, {}, {}, true});
    ASSERT_TRUE(CopyTree(oldDir, target));
    ASSERT_EQ(Apply(), 1);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(newDir)), "");
}

TEST_F(ApplyTest, CompactPatchTurnsOldTreeIntoNewTree)
{
    // The pairs of the thorough matcher, with a file removed and one left out; applied
    // twice, the second apply finds every file done (and the removed file gone).
    WriteThoroughPairs(root, false);
    // New files of more than 1 MiB are matched in two halves whose steps are joined: the
    // later half begins with a copy (the old file rotated) or with literals (new bytes
    // inserted where the new file's middle is). The rotated file keeps the old length and
    // byte sum: only its digest shows the second apply that it is done.
    std::vector<unsigned char> large = RandomBytes((1 << 20) + 400000, 31);
    std::vector<unsigned char> rotated(large.begin() + 700000, large.end());
    rotated.insert(rotated.end(), large.begin(), large.begin() + 700000);
    std::vector<unsigned char> inserted = large;
    const std::vector<unsigned char> middle = RandomBytes(3000, 32);
    inserted.insert(inserted.begin() + static_cast<std::ptrdiff_t>((large.size() + middle.size()) / 2), middle.begin(),
                    middle.end());
    root.WriteBytesPair("large/rotated.bin", large, rotated);
    root.WriteBytesPair("large/inserted.bin", large, inserted);
    root.Write("old/gone.txt", "to be removed");
    root.WritePair("kept.txt", "old kept", "new kept");
    Build({0, {"gone.txt"}, {"kept.txt"}, false, true});
    ASSERT_TRUE(CopyTree(oldDir, target));
    ASSERT_TRUE(fsys::SetPermissions(target + "/one.txt", 0600));
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(Apply(), 1) << run;
        EXPECT_EQ(Texts().size(), size_t(run)) << run;
        auto expected = SnapshotTree(newDir);
        expected["kept.txt"] = "old kept";
        EXPECT_EQ(TreeDifferences(SnapshotTree(target), expected), "");
        // A new file is as readable as any new file; a replaced one keeps its old rights.
        EXPECT_EQ(Mode(target + "/added.txt"), fsys::NewFileMode()) << run;
        EXPECT_EQ(Mode(target + "/one.txt"), 0600u) << run;
    }
}

TEST_F(ApplyTest, CompactRebuildOfAnotherDigestIsNeverMovedOverTheTarget)
{
    // The rebuilt file has the new length and byte sum but not the new SHA-256 (two
    // bytes of the new content swapped): only the strong check tells.
    compact::Record b = compact::Changed("b.txt", "old b", "new b!?");
    std::swap(b.literals[0], b.literals[1]);
    root.Write("update.dvp", compact::PatchFile(compact::Image(
                                 {compact::Changed("a.txt", "old a", "new a!"), b, compact::Changed("c.txt", "old c", "new c!!!")})));
    root.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}, {"target/c.txt", "old c"}});
    ExpectRefused({TreeWrong(target)});
}

TEST_F(ApplyTest, CompactTargetsOfTheRightLengthAndSumButOtherContentChangeNothing)
{
    // Only a digest tells these targets from the right ones: a target to be patched with
    // two bytes swapped, then (as if an earlier apply had done it) a finished file with
    // two bytes swapped. The verification and the apply refuse both; nothing changes.
    root.WritePair("a.txt", "first old content", "first new content, longer");
    root.WritePair("b.txt", "second old content", "second new content, longer");
    root.Write("new/c.txt", "a new file");
    Build({0, {}, {}, false, true});
    for (const char* wrong : {"b.txt", "a.txt"}) {
        SCOPED_TRACE(wrong);
        ASSERT_TRUE(CopyTree(oldDir, target));
        if (wrong[0] == 'a')
            root.Write("target/a.txt", "first new content, lnoger");
        else
            root.Write("target/b.txt", "second old cnotent");
        ExpectRefused({TreeWrong(target)}, true);
        ExpectRefused({TreeWrong(target)});
        ASSERT_TRUE(fsys::RemoveTree(target));
    }
}

TEST_F(ApplyTest, PackedDeltaWithATwinIsRebuiltByVerifyApplyAndARunAgain)
{
    // app.mjs and the new n.mjs are packed with app.js's new content (their twin) in
    // their prefix.
    const std::string twinOld = "// app 1\nlet a = 1;\n", twinNew = "// app 2\nlet a = 2; let b = a;\n";
    const std::vector<compact::Record> records = {
        compact::Changed("js\\app.js", twinOld, twinNew),
        compact::Packed("js\\app.mjs", "export old;\n", "export\n" + twinNew, 1, twinNew),
        compact::Packed("js\\n.mjs", "", twinNew + "export {a};\n", 1, twinNew)};
    root.Write("update.dvp", compact::PatchFile(compact::Image(records)));
    const Tree after = {
        {"js/app.js", twinNew}, {"js/app.mjs", "export\n" + twinNew}, {"js/n.mjs", twinNew + "export {a};\n"}};
    // Then as if an interrupted commit had put the twin in place already: the others take
    // the twin's content from its target.
    for (bool twinDone : {false, true}) {
        root.WriteAll({{"target/js/app.js", twinDone ? twinNew : twinOld}, {"target/js/app.mjs", "export old;\n"}});
        EXPECT_EQ(Apply(0, "bak", nullptr, nullptr, true), 1) << twinDone << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(Apply(), 1) << twinDone << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(SnapshotTree(target), after) << twinDone;
        ASSERT_TRUE(fsys::RemoveTree(target));
    }
}

TEST_F(ApplyTest, CompactNewFileLedByAFileLeftAloneNeedsThatFileAsItWas)
{
    // The new module shares most of its text with the one beside it, which the patch
    // leaves alone: the literals are packed after that file's content, so an apply reads
    // it first and refuses a target folder where it is missing or another.
    std::string module;
    for (int i = 0; i < 60; ++i)
        module += "export function value" + std::to_string(i) + "(node) { return node.value * " + std::to_string(i) + "; }\n";
    root.WritePair("mods/base.js", module, module);
    root.Write("new/mods/added.js", module + "export const added = true;\n");
    // A link to the same text in both trees is never taken: an apply refuses links.
    for (const char* side : {"old", "new"})
        ASSERT_EQ(symlink("base.js", (root / side + "/mods/linked.js").c_str()), 0);
    root.WritePair("other.txt", "old other", "new other, longer");
    // The same times on both sides: base.js written a clock tick apart in the two trees
    // (under load) would get a record of its own and no longer be left alone.
    for (const std::string& tree : {oldDir, newDir})
        PinTreeTimes(tree, 1700000000);
    Build({0, {}, {}, false, true});
    std::string other = module;
    other[20] = 'X';
    for (const std::string& found : {std::string("is missing"), std::string("does not match")}) {
        ASSERT_TRUE(CopyTree(oldDir, target));
        if (found == "is missing")
            ASSERT_TRUE(fsys::DeleteFile(target + "/mods/base.js"));
        else
            root.Write("target/mods/base.js", other);
        const auto before = SnapshotTree(target);
        EXPECT_EQ(Apply(), 0) << found;
        ASSERT_EQ(errors.size(), 1u) << found << (errors.size() > 1 ? errors[1] : "");
        EXPECT_TRUE(Contains(errors[0], "which the patch needs as it is, " + found));
        EXPECT_TRUE(Contains(errors[0], target + "/mods/base.js"));
        EXPECT_EQ(SnapshotTree(target), before) << found;
        ASSERT_TRUE(fsys::RemoveTree(target));
    }
    // As it was: a verification, the apply, and a run again that finds all done.
    ASSERT_TRUE(CopyTree(oldDir, target));
    EXPECT_EQ(Apply(0, "bak", nullptr, nullptr, true), 1) << (errors.empty() ? "" : errors[0]);
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(Apply(), 1) << run << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(SnapshotTree(target), SnapshotTree(newDir)) << run;
    }
}

TEST_F(ApplyTest, ThoroughPatchOfScatteredEditsIsSmallerAndApplies)
{
    WriteThoroughPairs(root, true);
    uint64_t usual = 0, thorough = 0;
    Build({});
    ASSERT_TRUE(fsys::FileLength(patchFile, usual));
    const std::string usualStart = ReadFileText(patchFile).substr(0, kPartPrefixLength + 10);
    Build({0, {}, {}, true});
    ASSERT_TRUE(fsys::FileLength(patchFile, thorough));
    EXPECT_LT(thorough, usual);
    // Compressed harder, but behind the same part prefix and gzip header.
    EXPECT_EQ(ReadFileText(patchFile).substr(0, kPartPrefixLength + 10), usualStart);
    ASSERT_TRUE(CopyTree(oldDir, target));
    ASSERT_EQ(Apply(), 1);
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(newDir)), "");
}

TEST_F(ApplyTest, OverlappingAndUnorderedObjectsApplyInListOrder)
{
    // Old copies and new data in no order of offset, overlapping one another: old copies
    // first, each in list order, then new data, each in list order; a later object wins.
    const std::string old = "0123456789abcdefghijklmnopqrstuvwxyz";
    image::Record r = image::Changed("f.txt", old, "");
    r.news.clear();
    r.olds = {{10, 20, 16}, {0, 0, 30}, {20, 4, 4}};
    r.news = {{28, "NEWDATA", std::nullopt}, {2, "ab", std::nullopt}, {29, "X", std::nullopt}};
    std::string expected(36, '\0');
    for (const auto& o : r.olds)
        expected.replace(o.newOffset, o.length, old.substr(o.oldOffset, o.length));
    for (const auto& n : r.news)
        expected.replace(n.newOffset, n.bytes.size(), n.bytes);
    ASSERT_EQ(expected, "01abklmn89abcdefghijklmnopqrNXWDATAp");
    r.newLength = static_cast<uint32_t>(expected.size());
    r.newSum = image::Sum(expected);
    Craft({r});
    root.Write("target/f.txt", old);
    ASSERT_EQ(Apply(), 1);
    EXPECT_EQ(ReadFileText(target + "/f.txt"), expected);
}

TEST_F(ApplyTest, SwappedBytesWithTheSameTimesAreStillPatched)
{
    // Equal length, byte sum and times: only the content tells the files apart.
    root.WritePair("swap.js", "f(a, b);\n", "f(b, a);\n");
    root.WritePair("zeros.bin", std::string(64, '\0'), "");
    for (const char* f : {"swap.js", "zeros.bin"}) {
        SetWriteTime(oldDir + "/" + f, 1600000000);
        SetWriteTime(newDir + "/" + f, 1600000000);
    }
    Build({});
    ASSERT_TRUE(CopyTree(oldDir, target));
    ASSERT_EQ(Apply(), 1);
    EXPECT_EQ(SnapshotTree(target), SnapshotTree(newDir));
}

TEST_F(ApplyTest, BackupsKeepTheOldContent)
{
    root.WritePair("a.txt", "first version of a", "second version of a, longer");
    root.WritePair("app", "old app", "new app!");
    root.Write("new/n.txt", "new file");
    Build({});
    ASSERT_TRUE(CopyTree(oldDir, target));
    // A file the old tree did not have, in the way of a new file of the patch.
    root.Write("target/n.txt", "precious local file");

    ASSERT_EQ(Apply(1, "orig"), 1);
    EXPECT_EQ(ReadFileText(target + "/a.txt"), "second version of a, longer");
    EXPECT_EQ(ReadFileText(target + "/a.orig"), "first version of a");
    EXPECT_EQ(ReadFileText(target + "/app.orig"), "old app");
    EXPECT_EQ(ReadFileText(target + "/n.txt"), "new file");
    // The file that the new file replaced is kept, not its emptied remains.
    EXPECT_EQ(ReadFileText(target + "/n.orig"), "precious local file");
    EXPECT_FALSE(HasWorkFiles(SnapshotTree(target)));
}

TEST_F(ApplyTest, SplitPatchIsReassembledAndAMissingPartAskedFor)
{
    root.WriteBytesPair("data.bin", RandomBytes(6000, 1), RandomBytes(6000, 2));
    Build({1, {}, {}});
    ASSERT_TRUE(fsys::FileExists(root / "update.dv002"));
    ASSERT_TRUE(CopyTree(oldDir, target));

    // Cancel at the part prompt: the patch file cannot be opened, nothing changes.
    ASSERT_TRUE(fsys::RenameFile(root / "update.dv002", root / "elsewhere"));
    auto before = SnapshotTree(target);
    prompt.SetDefault(PromptAnswer::Cancel);
    EXPECT_EQ(Apply(), kHeaderRefused);
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0].rfind("Please put file update.dv002 into the folder ", 0), 0u) << Texts()[0];
    EXPECT_EQ(SnapshotTree(target), before);

    // The user supplies the part and presses OK.
    class CSupplyPart : public IUserPrompt {
    public:
        std::string from, to;
        int asked = 0;
        PromptAnswer Ask(PromptOwner, const std::string&, const std::string&, PromptButtons b, PromptIcon) override
        {
            ++asked;
            if (b == PromptButtons::OKCancel)
                fsys::RenameFile(from, to);
            return b == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::OK;
        }
    } supply;
    supply.from = root / "elsewhere";
    supply.to = root / "update.dv002";
    CAppCore core(&supply, progFolder);
    EXPECT_EQ(ApplyPatchFile(core, patchFile, target), 1);
    EXPECT_EQ(supply.asked, 1);
    EXPECT_EQ(ReadFileBytes(target + "/data.bin"), RandomBytes(6000, 2));
}

TEST_F(ApplyTest, SecondOfThreeTargetsMissingGivesOneErrorAndChangesNothing)
{
    ThreeChangedFiles();
    fsys::DeleteFile(target + "/b.txt");
    ExpectRefused({Missing(target + "/b.txt")});
    EXPECT_EQ(failure, 1);
}

TEST_F(ApplyTest, MismatchingTargetIsListedButRearrangedBytesAndOtherTimesPass)
{
    std::vector<image::Record> records;
    ThreeChangedFiles(&records);
    root.Write("target/a.txt", "old A");          // other content, same length
    root.Write("target/b.txt", "b old");          // same bytes rearranged: same length and sum
    SetWriteTime(target + "/c.txt", 1000000000);  // other times only
    Craft(records);
    EXPECT_EQ(Apply(), 0);
    EXPECT_EQ(errors, std::vector<std::string>{"The following file does not match the file to be updated:\n" +
                                               target + "/a.txt\n\n"});

    root.Write("target/a.txt", "old a");
    prompt.Clear();
    EXPECT_EQ(Apply(), 1);
    EXPECT_EQ(ReadFileText(target + "/b.txt"), "new b!!");
    EXPECT_EQ(ReadFileText(target + "/c.txt"), "new c!!!");
}

TEST_F(ApplyTest, At99ErrorsTheRemainingRecordsAreNotRead)
{
    std::vector<image::Record> records;
    for (int i = 0; i < 150; ++i)
        records.push_back(image::Changed("f" + std::to_string(i) + ".txt", "old", "new"));
    Craft(records);
    fsys::CreateFolder(target);
    CRecordingApplyProgress progress;
    EXPECT_EQ(Apply(0, "bak", &progress), 0);
    ASSERT_EQ(errors.size(), 99u);
    EXPECT_EQ(errors[0], Missing(target + "/f0.txt"));
    EXPECT_EQ(errors[98], Missing(target + "/f98.txt"));
    EXPECT_EQ(progress.Statuses().size(), 99u);
    EXPECT_EQ(progress.Statuses().back(), "Applying patch to file: f98.txt, file 99 of 150.");
}

TEST_F(ApplyTest, StatusTextAndBarBeforeEveryRecord)
{
    std::vector<image::Record> records;
    for (int i = 0; i < 6; ++i)
        records.push_back(image::NewFile("r" + std::to_string(i), "x"));
    records.push_back(image::NewFile("b.dat", "last"));
    Craft(records);
    fsys::CreateFolder(target);
    CRecordingApplyProgress progress;
    ASSERT_EQ(Apply(0, "bak", &progress), 1);
    EXPECT_EQ(progress.Values("pos"), (std::vector<int>{0, 14, 28, 42, 57, 71, 85, 0, 14, 28, 42, 57, 71, 85}));
    const std::vector<std::string> statuses = progress.Statuses();
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[statuses.size() - 2], "Applying patch to file: b.dat, file 7 of 7.");
    EXPECT_EQ(statuses.back(), "Putting the new files in place.");
    EXPECT_EQ(ReadFileText(target + "/b.dat"), "last");
}

TEST_F(ApplyTest, CancelInTheVerificationPass)
{
    ThreeChangedFiles();
    auto before = SnapshotTree(target);
    CRecordingApplyProgress progress;
    progress.CancelAtCheck(2);
    prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(Apply(0, "bak", &progress), -1);
    EXPECT_TRUE(ShowedOnly(prompt, {kCancelQuestion, "Delvorin Warning", PromptButtons::YesNo,
                                    PromptOwner::ProgressDialog}));
    EXPECT_EQ(SnapshotTree(target), before);
}

TEST_F(ApplyTest, CancelAnsweredNoGoesOnWithoutAskingAgain)
{
    ThreeChangedFiles();
    CRecordingApplyProgress progress;
    progress.CancelAtCheck(2);
    progress.CancelAtCheck(5);
    prompt.Script(PromptAnswer::No);
    prompt.Script(PromptAnswer::No);
    EXPECT_EQ(Apply(0, "bak", &progress), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kCancelQuestion, kCancelQuestion}));
    EXPECT_EQ(ReadFileText(target + "/c.txt"), "new c!!!");
}

TEST_F(ApplyTest, CancelInTheApplicationPassChangesNothing)
{
    std::vector<image::Record> records;
    ThreeChangedFiles(&records);
    root.Write("target/gone.txt", "stays");
    Craft(records, {"gone.txt"});
    CRecordingApplyProgress progress;
    progress.CancelAtCheck(5); // before the second record of the second pass
    prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(Apply(0, "bak", &progress), -1);
    EXPECT_EQ(ReadFileText(target + "/a.txt"), "old a");
    EXPECT_EQ(ReadFileText(target + "/b.txt"), "old b");
    EXPECT_FALSE(HasWorkFiles(SnapshotTree(target)));
    EXPECT_EQ(ReadFileText(target + "/c.txt"), "old c");
    EXPECT_TRUE(fsys::FileExists(target + "/gone.txt"));
}

TEST_F(ApplyTest, TargetModifiedBetweenThePasses)
{
    for (PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
        fsys::RemoveTree(target);
        prompt.Clear();
        ThreeChangedFiles();
        CRecordingApplyProgress progress;
        progress.hookAt = 4; // the first check of the second pass
        progress.hook = [&] { root.Write("target/b.txt", "edited meanwhile"); };
        prompt.Script(answer);
        EXPECT_EQ(Apply(0, "bak", &progress), answer == PromptAnswer::Yes ? 0 : 1);
        EXPECT_EQ(Texts(), std::vector<std::string>{Modified(target + "/b.txt")});
        EXPECT_EQ(prompt.Shown().back().title, "Delvorin Error");
        EXPECT_EQ(prompt.Shown().back().icon, PromptIcon::None);
        // Abort stops before anything changed.
        EXPECT_EQ(ReadFileText(target + "/a.txt"), answer == PromptAnswer::Yes ? "old a" : "new a!");
        EXPECT_EQ(ReadFileText(target + "/b.txt"), "edited meanwhile");
        EXPECT_EQ(ReadFileText(target + "/c.txt"), answer == PromptAnswer::Yes ? "old c" : "new c!!!");
    }
}

TEST_F(ApplyTest, LargeTargetChangedOrGoneBetweenThePasses)
{
    // A large target is checked the second time beside its rebuild: what the user is told
    // and what becomes of the target must be as if that check had come first.
    std::string before(17 << 20, '\0');
    for (size_t i = 0; i < before.size(); ++i)
        before[i] = static_cast<char>(i * 7 / 5);
    const std::string after = before.substr(0, 1000) + "inserted" + before.substr(1000);
    const std::string big = target + "/big.bin";
    enum class Change { None, Edited, Folder };
    for (Change change : {Change::None, Change::Edited, Change::Folder}) {
        for (PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
            SCOPED_TRACE(static_cast<int>(change) * 2 + (answer == PromptAnswer::Yes));
            fsys::RemoveTree(target);
            prompt.Clear();
            image::Record r = image::Changed("big.bin", before, after);
            r.olds = {{0, 0, 1000}}; // read from the target during the rebuild
            Craft({r, image::Changed("next.txt", "old next", "new next")});
            root.WriteAll({{"target/big.bin", before}, {"target/next.txt", "old next"}});
            CRecordingApplyProgress progress;
            progress.hookAt = 3; // the first record of the second pass
            progress.hook = [&] {
                if (change == Change::Edited) {
                    std::string edited = before;
                    edited[5 << 20] ^= 1;
                    root.Write("target/big.bin", edited);
                } else if (change == Change::Folder) {
                    fsys::DeleteFile(big);
                    fsys::CreateFolder(big);
                }
            };
            if (change == Change::Folder)
                prompt.Script(PromptAnswer::OK); // "Unable to open file"
            prompt.Script(answer);
            const int result = Apply(0, "bak", &progress);
            if (change == Change::None) {
                EXPECT_EQ(result, 1);
                EXPECT_TRUE(Texts().empty());
                EXPECT_EQ(ReadFileText(big), after);
                EXPECT_EQ(ReadFileText(target + "/next.txt"), "new next");
                break; // nothing was asked
            }
            EXPECT_EQ(result, answer == PromptAnswer::Yes ? 0 : 1);
            std::vector<std::string> told;
            if (change == Change::Folder)
                told.push_back("Unable to open file: " + big);
            told.push_back(Modified(big));
            EXPECT_EQ(Texts(), told);
            if (change == Change::Edited)
                EXPECT_EQ(ReadFileText(big).size(), before.size());
            else
                EXPECT_TRUE(fsys::FolderExists(big));
            EXPECT_EQ(ReadFileText(target + "/next.txt"), answer == PromptAnswer::Yes ? "old next" : "new next");
            EXPECT_FALSE(HasWorkFiles(SnapshotTree(target)));
        }
    }
}

TEST_F(ApplyTest, WrongRebuildIsNeverMovedOverTheTarget)
{
    // A record whose objects do not make its new file is a damaged patch: found while
    // the files are staged, before any of them is put in place. The rebuilt b.txt fails
    // its byte sum, or (with strong checks) its SHA-256 only: the checks name "new !b!",
    // of the same length and sum.
    for (bool strong : {false, true}) {
        SCOPED_TRACE(strong);
        fsys::RemoveTree(target);
        prompt.Clear();
        errors.clear();
        std::vector<image::Record> records;
        ThreeChangedFiles(&records);
        if (strong)
            Craft(records, {},
                  image::Checks({{std::string("old a"), "new a!"},
                                 {std::string("old b"), "new !b!"},
                                 {std::string("old c"), "new c!!!"}}));
        else {
            records[1].newSum += 1; // the rebuilt b.txt cannot match
            Craft(records);
        }
        ExpectRefused({DamagedRebuild(target + "/b.txt")});
    }
}

TEST_F(ApplyTest, NewFileWithAWrongRebuildIsNotCreated)
{
    // A new file appears only complete and checked: a rebuild that fails its check
    // leaves nothing behind, neither the wrong bytes nor an empty file.
    image::Record fresh = image::NewFile("fresh.txt", "brand new");
    fresh.newSum += 1;
    Craft({image::NewFile("sub\\first.txt", "first one"), fresh, image::NewFile("new\\next.txt", "next one")});
    fsys::CreateFolder(target);
    EXPECT_EQ(Apply(), 0);
    EXPECT_TRUE(Texts().empty());
    // Nor the files staged before it, nor the folder made for them.
    EXPECT_EQ(SnapshotTree(target).size(), 0u);
    EXPECT_FALSE(fsys::PathExists(target + "/sub"));
}

TEST_F(ApplyTest, MissingRemoveEntryWarnsAndTheApplySucceeds)
{
    std::vector<image::Record> records;
    ThreeChangedFiles(&records);
    root.Write("target/old.dll", "x");
    Craft(records, {"not-there.txt", "old.dll"});
    EXPECT_EQ(Apply(), 1);
    EXPECT_TRUE(ShowedOnly(prompt, {"Unable to remove the following file that was\nspecified to be removed in the "
                                    "patch file:\n\nnot-there.txt",
                                    "Delvorin Warning"}));
    EXPECT_FALSE(fsys::PathExists(target + "/old.dll"));
}

TEST_F(ApplyTest, EmptyPatchIsRefusedWithAWarning)
{
    Craft({});
    fsys::CreateFolder(target);
    EXPECT_EQ(Apply(), 0);
    EXPECT_EQ(failure, 0);
    EXPECT_TRUE(ShowedOnly(prompt, {"This Delvorin file does not have any file patches in it.", "Delvorin Warning",
                                    {}, {}, PromptIcon::Stop}));
}

TEST_F(ApplyTest, RecordsWithoutObjectsOnlySetTimes)
{
    image::Record r = image::Changed("a.txt", "same", "same");
    r.news.clear();
    r.lastWrite = UnixToFileTime(1500000000, 0);
    r.lastAccess = UnixToFileTime(1500000100, 0);
    image::Record empty = image::NewFile("sub/empty.txt", "");
    empty.storedName = "sub\\empty.txt";
    empty.lastWrite = UnixToFileTime(1400000000, 0);
    Craft({r, empty});
    root.Write("target/a.txt", "same");
    EXPECT_EQ(Apply(), 1);
    EXPECT_EQ(ReadFileText(target + "/a.txt"), "same");
    EXPECT_EQ(WriteTime(target + "/a.txt"), UnixToFileTime(1500000000, 0));
    EXPECT_EQ(ReadFileText(target + "/sub/empty.txt"), "");
    EXPECT_EQ(WriteTime(target + "/sub/empty.txt"), UnixToFileTime(1400000000, 0));
}

TEST_F(ApplyTest, NewFileDeepInMissingFoldersAndObjectsInChunks)
{
    std::string content(150000, 'q');
    image::Record deep = image::NewFile("new1\\new2\\new3\\file.txt", content.substr(0, 64000));
    deep.news.push_back({64000, content.substr(64000), std::nullopt});
    deep.newSum = image::Sum(content);
    deep.newLength = static_cast<uint32_t>(content.size());
    Craft({deep});
    fsys::CreateFolder(target);
    EXPECT_EQ(Apply(0, "bak", nullptr, [&](CAppCore& core) {
                  core.settings.logFile = 1;
                  core.log.SetPath(root / "log.txt");
              }),
              1);
    EXPECT_EQ(ReadFileText(target + "/new1/new2/new3/file.txt"), content);
    const std::string path = target + "/new1/new2/new3/file.txt";
    EXPECT_EQ(ReadFileText(root / "log.txt"),
              "Applying patch #0 from patch file to file " + path + "\nStart patch: 0, patch size: 64000\n" +
                  "Applying patch #1 from patch file to file " + path + "\nStart patch: 64000, patch size: 86000\n");
}

TEST_F(ApplyTest, ReadOnlyTargetIsReplacedAndKeepsItsPermissions)
{
    ThreeChangedFiles();
    ASSERT_TRUE(fsys::SetPermissions(target + "/a.txt", 0444));
    EXPECT_EQ(Apply(), 1);
    EXPECT_EQ(ReadFileText(target + "/a.txt"), "new a!");
    EXPECT_EQ(Mode(target + "/a.txt"), 0444u);
}

TEST_F(ApplyTest, FileWhereAFolderIsNeededIsFoundBeforeAnythingChanges)
{
    Craft({image::NewFile("a.txt", "a"), image::NewFile("blocked\\x.txt", "x"), image::NewFile("z.txt", "z")});
    root.Write("target/blocked", "a file where a folder is needed");
    EXPECT_EQ(Apply(), 0);
    EXPECT_EQ(errors, std::vector<std::string>{"The following file stands where the patch needs a folder:\n" +
                                               target + "/blocked\n\n"});
    EXPECT_FALSE(fsys::PathExists(target + "/a.txt"));
    EXPECT_FALSE(fsys::PathExists(target + "/z.txt"));
}

TEST_F(ApplyTest, MissingTargetFolderIsNotCreated)
{
    Craft({image::NewFile("a.txt", "a")});
    EXPECT_EQ(Apply(), 0);
    EXPECT_EQ(errors, std::vector<std::string>{"The folder to be updated does not exist:\n" + target + "\n\n"});
    EXPECT_FALSE(fsys::PathExists(target));
}

TEST_F(ApplyTest, VerifyAloneChangesNothing)
{
    ThreeChangedFiles();
    auto before = SnapshotTree(target);
    EXPECT_EQ(Apply(0, "bak", nullptr, nullptr, true), 1);
    EXPECT_EQ(SnapshotTree(target), before);
    fsys::DeleteFile(target + "/c.txt");
    EXPECT_EQ(Apply(0, "bak", nullptr, nullptr, true), 0);
    EXPECT_EQ(errors, std::vector<std::string>{Missing(target + "/c.txt")});
}

TEST_F(ApplyTest, LongPathsAreShortenedInTheErrorsTable)
{
    std::string name(200, 'n');
    target = root.MakeFolder(std::string(200, 't') + "/" + std::string(200, 'u'));
    Craft({image::Changed(name, "x", "y")});
    EXPECT_EQ(Apply(), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_LE(errors[0].size(), 519u);
    EXPECT_EQ(errors[0].rfind("The following file to be updated is missing:\n...", 0), 0u);
    EXPECT_EQ(errors[0].substr(errors[0].size() - 12), name.substr(0, 10) + "\n\n");
}

} // namespace
