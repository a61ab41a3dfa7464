// An apply rebuilds a file of a few MiB in memory and a larger one a window at a time,
// with the patch image beside the target or on another file system. Every way must
// rebuild the same file and write the same log. Replacements of existing files wait to
// be flushed to the disk together; a record that meets a target whose replacement is
// still waiting must see the replaced file.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "engine/apply/ReplaceQueue.h"
#include "jobs/BuildJob.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/ScriptedPrompt.h"
#include "support/ApplyRun.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Edited(std::vector<unsigned char> bytes)
{
    std::vector<unsigned char> noise = RandomBytes(5000, 99);
    for (size_t at = 1000; at + 300 < bytes.size(); at += 150000)
        std::copy(noise.begin(), noise.begin() + 200, bytes.begin() + static_cast<long>(at));
    bytes.insert(bytes.begin() + 700000, noise.begin(), noise.end());
    return std::string(bytes.begin(), bytes.end());
}

class ApplyCopyTest : public testing::Test {
protected:
    CTestFolder dir;
    std::string oldFolder = dir.MakeFolder("old");
    std::string newFolder = dir.MakeFolder("new");
    std::string patch = dir / "update.dvp";
    CScriptedPrompt prompt;

    void Build()
    {
        // Above the length that is rebuilt in memory, so that its objects are copied.
        const std::vector<unsigned char> old = RandomBytes(9 << 20, 4);
        dir.WriteBytes("old/big.bin", old);
        dir.Write("new/big.bin", Edited(old));
        // Rebuilt in memory, from the bytes its check read.
        const std::vector<unsigned char> mid = RandomBytes(3 << 20, 5);
        dir.WriteBytes("old/mid.bin", mid);
        dir.Write("new/mid.bin", Edited(mid));
        dir.WritePair("small.txt", "a small file that changes", "a small file that has changed a little");
        dir.Write("new/fresh.txt", "a new file");
        CAppCore core(&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp-build") + "/");
        CDirDiff dirDiff(core);
        const CBuildOutcome built = CBuildJob(core, dirDiff, {oldFolder, newFolder, patch, "", false}).Run(nullptr);
        ASSERT_EQ(built.kind, CBuildOutcome::Kind::Built) << built.message << built.refusal.text;
    }

    // Writes a patch of hand-made records and applies it to target, which must give the
    // result expected.
    void ApplyRecords(const std::vector<image::Record>& records, const std::string& target, int expected = 1)
    {
        dir.Write("update.dvp", image::Patch(records));
        CAppCore core(&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp-apply") + "/");
        EXPECT_EQ(ApplyPatchFile(core, patch, target), expected);
    }

    // Applies to a fresh copy of the old tree with the image in tempFolder; returns the log.
    std::string Apply(const std::string& tempFolder, const std::string& target)
    {
        EXPECT_TRUE(CopyTree(oldFolder, target));
        CAppCore core(&prompt, dir / "prog", tempFolder);
        core.settings.logFile = 1;
        core.log.SetPath(target + ".log");
        EXPECT_EQ(ApplyPatchFile(core, patch, target), 1);
        EXPECT_EQ(SnapshotTree(target), SnapshotTree(newFolder));
        std::string log = ReadFileText(target + ".log");
        size_t at;
        while ((at = log.find(target)) != std::string::npos)
            log.replace(at, target.size(), "<target>");
        return log;
    }
};

TEST_F(ApplyCopyTest, ImageBesideTheTargetOrOnAnotherFileSystemRebuildsTheSameFiles)
{
    Build();
    const std::string sameDisk = Apply(dir.MakeFolder("tmp-apply") + "/", dir / "target1");
    EXPECT_TRUE(Contains(sameDisk, "Applying patch #0 from patch file to file <target>/big.bin"));
    EXPECT_TRUE(Contains(sameDisk, "Applying patch #1 from patch file to file <target>/mid.bin"));

    // A temporary folder in memory lies on another file system than the target.
    struct stat st;
    if (stat("/dev/shm", &st) != 0 || !S_ISDIR(st.st_mode))
        GTEST_SKIP() << "no /dev/shm";
    const std::string shm = "/dev/shm/delvorin-apply-copy-" + std::to_string(getpid()) + "/";
    ASSERT_TRUE(fsys::CreateFolder(shm.substr(0, shm.size() - 1)));
    const std::string otherDisk = Apply(shm, dir / "target2");
    fsys::DeleteFile(shm + "tempUCPathc.dvp");
    fsys::DeleteFile(shm + "AssyTempfile.tmp");
    rmdir(shm.c_str());
    EXPECT_EQ(otherDisk, sameDisk);
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(ApplyCopyTest, ManyReplacementsAndASecondRecordForTheSameFile)
{
    // More files than a queue of an apply that replaces them as it goes holds, all put
    // in place in one commit. A patch with a second record for a.txt is damaged: it is
    // refused, and nothing changes.
    const std::string target = dir.MakeFolder("target");
    std::vector<image::Record> records;
    const int files = static_cast<int>(CReplaceQueue::kMaxFiles) + 100;
    for (int i = 0; i < files; ++i) {
        const std::string name = "sub" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".txt";
        const std::string before = "old content " + std::to_string(i);
        dir.Write("target/sub" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt", before);
        records.push_back(image::Changed(name, before, "new content of file " + std::to_string(i)));
    }
    dir.Write("target/a.txt", "AAAA");
    records.push_back(image::Changed("a.txt", "AAAA", "BBBBBB"));
    const auto before = SnapshotTree(target);
    std::vector<image::Record> twice = records;
    twice.push_back(image::Changed("a.txt", "AAAA", "CCCCCCCC"));
    ApplyRecords(twice, target, 0);
    EXPECT_EQ(SnapshotTree(target), before);

    ApplyRecords(records, target);
    EXPECT_TRUE(prompt.Shown().empty());
    auto tree = SnapshotTree(target);
    EXPECT_EQ(tree.size(), static_cast<size_t>(files) + 1); // nothing left over beside the targets
    EXPECT_EQ(tree["a.txt"], "BBBBBB");
    for (int i = 0; i < files; ++i)
        EXPECT_EQ(tree["sub" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt"],
                  "new content of file " + std::to_string(i));
}

TEST_F(ApplyCopyTest, ObjectsThatOverlapRebuildAlikeInMemoryAndByWindows)
{
    // Objects a build never writes: an old copy and new data over the same bytes (new
    // data come last and win), and two old copies of the same old bytes. Small files (rebuilt in memory, one after the other
    // in the same memory) and a large one (rebuilt a window at a time) must come out alike.
    const std::string target = dir.MakeFolder("target");
    std::vector<image::Record> records;
    Tree expected;
    for (size_t length : {size_t{5000}, size_t{3000}, size_t{9} << 20}) {
        const std::vector<unsigned char> random = RandomBytes(length, 7);
        const std::string before(random.begin(), random.end());
        const std::string name = "f" + std::to_string(length) + ".bin";
        dir.Write("target/" + name, before);
        image::Record r;
        r.storedName = name;
        r.oldLength = static_cast<uint32_t>(length);
        r.oldSum = image::Sum(before);
        r.newLength = static_cast<uint32_t>(length + 100);
        const uint32_t quarter = static_cast<uint32_t>(length / 4);
        r.olds = {{0, 0, quarter}, {0, 2 * quarter, quarter}, {quarter, quarter + 10, 100}};
        const uint32_t rest = static_cast<uint32_t>(length + 100) - 3 * quarter;
        r.news = {{quarter, std::string(quarter, 'q'), std::nullopt},
                  {quarter + 50, "new bytes over an old copy", std::nullopt},
                  {3 * quarter, std::string(rest, 'r'), std::nullopt}};
        std::string after(length + 100, '\0');
        for (const image::OldCopy& o : r.olds)
            after.replace(o.newOffset, o.length, before.substr(o.oldOffset, o.length));
        for (const image::NewData& n : r.news)
            after.replace(n.newOffset, n.bytes.size(), n.bytes);
        r.newSum = image::Sum(after);
        records.push_back(r);
        expected[name] = after;
    }
    ApplyRecords(records, target);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(SnapshotTree(target), expected);
}

TEST_F(ApplyCopyTest, QueuedReplacementsOnTwoFileSystemsAndAFailedFlush)
{
    // Rebuilt files wait on two file systems (the test folder and memory): one flush
    // of each, then every rename is made.
    struct stat st;
    if (stat("/dev/shm", &st) != 0 || !S_ISDIR(st.st_mode))
        GTEST_SKIP() << "no /dev/shm";
    const std::string shm = "/dev/shm/delvorin-queue-" + std::to_string(getpid());
    ASSERT_TRUE(fsys::CreateFolder(shm));
    CAppCore core(&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp-apply") + "/");
    std::vector<std::string> targets;
    std::vector<std::shared_ptr<CFolderHandle>> folders;
    for (const std::string& folder : {dir.MakeFolder("disk"), shm}) {
        folders.push_back(std::make_shared<CFolderHandle>());
        ASSERT_TRUE(folders.back()->Open(folder));
        targets.push_back(folder + "/t.txt");
    }
    auto stage = [&](size_t i, const std::string& content) {
        EXPECT_TRUE(fsys::WriteWholeFile(fsys::FolderOf(targets[i]) + "/r", content.data(), content.size()));
        CReplaceQueue::CEntry entry;
        entry.folder = folders[i];
        entry.staged = "r";
        entry.leaf = "t.txt";
        entry.target = targets[i];
        return entry;
    };
    {
        CReplaceQueue queue(core);
        for (size_t i = 0; i < targets.size(); ++i) {
            ASSERT_TRUE(fsys::WriteWholeFile(targets[i], "old", 3));
            ASSERT_TRUE(queue.Add(stage(i, "new!"), 4));
        }
        EXPECT_TRUE(queue.Holds(targets[1]));
        EXPECT_TRUE(queue.Flush());
        EXPECT_FALSE(queue.Holds(targets[1]));
    }
    for (const std::string& target : targets) {
        EXPECT_EQ(ReadFileText(target), "new!");
        EXPECT_FALSE(fsys::PathExists(fsys::FolderOf(target) + "/r"));
    }
    EXPECT_TRUE(prompt.Shown().empty());

    // A waiting file that has gone cannot be made durable: no target is replaced, the
    // user is told of the first, and no waiting file is left behind.
    {
        CReplaceQueue queue(core);
        for (size_t i = 0; i < targets.size(); ++i)
            ASSERT_TRUE(queue.Add(stage(i, "newer"), 5));
        fsys::DeleteFile(fsys::FolderOf(targets[1]) + "/r");
        EXPECT_FALSE(queue.Flush());
    }
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].text, "Unable to create file:\n" + targets[0]);
    for (const std::string& target : targets) {
        EXPECT_EQ(ReadFileText(target), "new!");
        EXPECT_FALSE(fsys::PathExists(fsys::FolderOf(target) + "/r"));
    }
    fsys::RemoveTree(shm);

    // So too where the waiting files are many (their file system is flushed whole, not
    // each file on its own).
    const std::string many = dir.MakeFolder("many");
    auto folder = std::make_shared<CFolderHandle>();
    ASSERT_TRUE(folder->Open(many));
    {
        CReplaceQueue queue(core);
        for (int i = 0; i < 20; ++i) {
            const std::string n = std::to_string(i);
            ASSERT_TRUE(fsys::WriteWholeFile(many + "/t" + n, "old", 3));
            ASSERT_TRUE(fsys::WriteWholeFile(many + "/r" + n, "new", 3));
            CReplaceQueue::CEntry entry;
            entry.folder = folder;
            entry.staged = "r" + n;
            entry.leaf = "t" + n;
            entry.target = many + "/t" + n;
            ASSERT_TRUE(queue.Add(std::move(entry), 3));
        }
        fsys::DeleteFile(many + "/r7");
        EXPECT_FALSE(queue.Flush());
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ReadFileText(many + "/t" + std::to_string(i)), "old") << i;
        EXPECT_FALSE(fsys::PathExists(many + "/r" + std::to_string(i))) << i;
    }
}

} // namespace

namespace {

TEST_F(ApplyCopyTest, RecordOfMoreObjectsThanAreHeldInMemory)
{
    // A record of more objects than the apply holds is read again from the image where
    // they are needed: it rebuilds the same file, and a gap among its objects is found
    // as in any other record.
    const size_t count = CFilePatch::kMaxHeldObjects + 1000;
    const std::vector<unsigned char> random = RandomBytes(count, 17);
    const std::string before(random.begin(), random.end());
    const std::string target = dir.MakeFolder("target");
    image::Record r;
    r.storedName = "reversed.bin";
    r.oldLength = static_cast<uint32_t>(count);
    r.oldSum = image::Sum(before);
    r.newLength = static_cast<uint32_t>(count + 4);
    for (size_t i = 0; i < count; ++i)
        r.olds.push_back({static_cast<uint32_t>(count - 1 - i), static_cast<uint32_t>(i), 1});
    r.news = {{static_cast<uint32_t>(count), "tail", std::nullopt}};
    const std::string after = std::string(before.rbegin(), before.rend()) + "tail";
    r.newSum = image::Sum(after);
    dir.Write("target/reversed.bin", before);
    ApplyRecords({r}, target);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(ReadFileText(target + "/reversed.bin"), after);

    r.olds[count / 2].length = 0; // one byte no object describes
    r.oldSum = r.newSum;
    dir.Write("update.dvp", image::Patch({r}));
    CAppCore core(&prompt, dir / "prog", dir / "tmp-apply" + "/");
    std::vector<std::string> errors;
    EXPECT_EQ(ApplyPatchFile(core, patch, target, nullptr, &errors), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("The patch file is damaged and cannot be applied:", 0), 0u);
    EXPECT_EQ(ReadFileText(target + "/reversed.bin"), after);
}

} // namespace
