// An apply copies object bytes into the rebuilt file by the kernel when the patch image,
// the old file and the rebuilt file allow it, and through the copy buffer otherwise (an
// image in a temporary folder on another file system). Both ways must rebuild the same
// file and write the same log. Replacements of existing files wait to be flushed to the
// disk together; a record that meets a target whose replacement is still waiting must
// see the replaced file.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

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
        const std::vector<unsigned char> old = RandomBytes(3 << 20, 4);
        dir.WriteBytes("old/big.bin", old);
        dir.Write("new/big.bin", Edited(old));
        dir.Write("old/small.txt", "a small file that changes");
        dir.Write("new/small.txt", "a small file that has changed a little");
        dir.Write("new/fresh.txt", "a new file");
        CAppCore core(&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp-build") + "/");
        CDirDiff dirDiff(core);
        CPatchDoc doc(core, dirDiff, patch);
        ASSERT_TRUE(doc.WritePatchHeader());
        std::string message;
        ASSERT_EQ(dirDiff.BuildPatch(oldFolder, newFolder, message, nullptr), 1) << message;
        ASSERT_TRUE(doc.FinishPatchFile(false));
    }

    // Applies to a fresh copy of the old tree with the image in tempFolder; returns the log.
    std::string Apply(const std::string& tempFolder, const std::string& target)
    {
        EXPECT_TRUE(CopyTree(oldFolder, target));
        CAppCore core(&prompt, dir / "prog", tempFolder);
        core.settings.logFile = 1;
        core.log.SetPath(target + ".log");
        CDirDiff dirDiff(core);
        CPatchDoc doc(core, dirDiff, patch);
        EXPECT_TRUE(doc.ReadPatchHeader());
        dirDiff.TargetFolder() = target;
        int backup = 0;
        EXPECT_EQ(dirDiff.ApplyPatch(doc, backup, "bak", nullptr), 1);
        doc.ClosePatchFile();
        EXPECT_EQ(SnapshotTree(target), SnapshotTree(newFolder));
        std::string log = ReadFileText(target + ".log");
        size_t at;
        while ((at = log.find(target)) != std::string::npos)
            log.replace(at, target.size(), "<target>");
        return log;
    }
};

TEST_F(ApplyCopyTest, KernelCopyAndBufferCopyRebuildTheSameFiles)
{
    Build();
    const std::string sameDisk = Apply(dir.MakeFolder("tmp-apply") + "/", dir / "target1");
    EXPECT_NE(sameDisk.find("Applying patch #0 from patch file to file <target>/big.bin"), std::string::npos);

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
    // Files replaced in several flushes (more than a queue holds), and a second record
    // for a.txt built against its old content: it must find a.txt already replaced and
    // ask whether to abort, as when each file is replaced at once.
    const std::string target = dir.MakeFolder("target");
    std::string img;
    std::vector<image::Record> records;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "sub" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".txt";
        const std::string before = "old content " + std::to_string(i);
        dir.Write("target/sub" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt", before);
        records.push_back(image::Changed(name, before, "new content of file " + std::to_string(i)));
    }
    dir.Write("target/a.txt", "AAAA");
    records.push_back(image::Changed("a.txt", "AAAA", "BBBBBB"));
    records.push_back(image::Changed("a.txt", "AAAA", "CCCCCCCC"));
    img = image::Header({}, static_cast<uint16_t>(records.size()));
    for (const auto& r : records)
        img += r.Bytes();
    dir.Write("update.dvp", image::PatchFile(img));

    prompt.Script(PromptAnswer::No); // do not abort: the second record is passed over
    CAppCore core(&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp-apply") + "/");
    CDirDiff dirDiff(core);
    CPatchDoc doc(core, dirDiff, patch);
    ASSERT_TRUE(doc.ReadPatchHeader());
    dirDiff.TargetFolder() = target;
    int backup = 0;
    EXPECT_EQ(dirDiff.ApplyPatch(doc, backup, "bak", nullptr), 1);
    doc.ClosePatchFile();

    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].text, "The following file, " + target + "/a.txt" +
                                          "\nhas been modified since this patch file was created.\n\n"
                                          "This patch file cannot be applied to this file.\n"
                                          "Do you want to abort the patch process?");
    auto tree = SnapshotTree(target);
    EXPECT_EQ(tree.size(), 301u); // nothing left over beside the targets
    EXPECT_EQ(tree["a.txt"], "BBBBBB");
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(tree["sub" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt"],
                  "new content of file " + std::to_string(i));
}

} // namespace
