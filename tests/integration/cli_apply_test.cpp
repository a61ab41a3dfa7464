// delvorin-cli apply and verify: exit statuses, the listing of verification errors and
// the target folder afterwards.
#include "support/CliRun.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

class CliApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}});
        dir.Write("update.dvp", image::Patch({image::Changed("a.txt", "old a", "new a!"),
                                              image::Changed("b.txt", "old b", "new b!!")}));
    }

    int Run(const std::string& arguments) { return RunCli(arguments, dir.Path(), dir.Path(), out, err); }

    CTestFolder dir;
    std::string out, err;
};

TEST_F(CliApplyTest, AppliesWithRelativeNamesAndBackups)
{
    ASSERT_EQ(Run("verify update.dvp target"), 0) << err;
    EXPECT_EQ(ReadFileText(dir / "target/a.txt"), "old a");
    ASSERT_EQ(Run("apply update.dvp target/ --backup orig"), 0) << err;
    // The result first, then where each backup went: the file below the folder, the
    // backup by its full name.
    EXPECT_EQ(out, "The Delvorin file has been applied successfully.\nBackups of the replaced files:\na.txt: " +
                       dir / "target/a.orig\nb.txt: " + dir / "target/b.orig\n");
    EXPECT_EQ(ReadFileText(dir / "target/a.txt"), "new a!");
    EXPECT_EQ(ReadFileText(dir / "target/b.orig"), "old b");
}

TEST_F(CliApplyTest, VerificationErrorsAreListedAndNothingChanges)
{
    dir.Write("target/b.txt", "changed");
    const auto before = SnapshotTree(dir / "target");
    for (const char* command : {"verify", "apply"}) {
        ASSERT_EQ(Run(std::string(command) + " update.dvp " + Quoted(dir / "target")), 3) << command;
        EXPECT_TRUE(Contains(err, "\n  The following file does not match the file to be updated:\n  " + (dir / "target") +
                                      "/b.txt\nThe Delvorin process was aborted"));
        EXPECT_EQ(SnapshotTree(dir / "target"), before);
    }
}

// A target that differs from the old file by two swapped bytes has its length and byte
// sum: a patch with strong checks refuses it as not matching; one without (another
// writer's) can only take it for the old file.
TEST_F(CliApplyTest, SwappedBytesAreRefusedWhereThePatchCarriesStrongChecks)
{
    std::string oldFile(102400, '\0'), newFile;
    for (size_t i = 0; i < oldFile.size(); ++i)
        oldFile[i] = static_cast<char>(i * 7 + i / 251);
    newFile = oldFile;
    newFile.replace(50000, 5, "fresh");
    std::string swapped = oldFile;
    std::swap(swapped[1000], swapped[1001]);
    ASSERT_NE(swapped, oldFile);
    const std::string img = image::Header({}, 1) + image::Changed("big.bin", oldFile, newFile).Bytes();
    dir.Write("strong.dvp", image::PatchFile(img + image::Checks({{oldFile, newFile}})));
    dir.Write("weak.dvp", image::PatchFile(img));

    dir.Write("target/big.bin", swapped);
    const auto before = SnapshotTree(dir / "target");
    for (const char* command : {"verify", "apply"}) {
        ASSERT_EQ(Run(std::string(command) + " strong.dvp target"), 3) << command << err;
        EXPECT_TRUE(Contains(err, "The following file does not match the file to be updated:\n  " + (dir / "target") +
                                      "/big.bin"));
        EXPECT_EQ(SnapshotTree(dir / "target"), before);
    }
    ASSERT_EQ(Run("apply weak.dvp target"), 0) << err;
    EXPECT_EQ(ReadFileText(dir / "target/big.bin"), newFile);

    // With the old file in place, the patch with strong checks applies.
    dir.Write("target/big.bin", oldFile);
    ASSERT_EQ(Run("apply strong.dvp target"), 0) << err;
    EXPECT_EQ(ReadFileText(dir / "target/big.bin"), newFile);
}

// A name with control characters is written as it is, but every text that shows it
// (progress, backup report, info) shows them escaped: a patch cannot send escape
// sequences to the terminal.
TEST_F(CliApplyTest, ControlCharactersInNamesAreShownEscaped)
{
    const std::string name = "\x1b[2Jred\nline\x7f.txt";
    dir.Write("target/" + name, "old x");
    dir.Write("hostile.dvp", image::PatchFile(image::Header({"gone\x1b[5m.txt"}, 1) +
                                              image::Changed(name, "old x", "new x!").Bytes()));
    ASSERT_EQ(Run("apply hostile.dvp target --backup"), 0) << err;
    EXPECT_EQ(ReadFileText(dir / ("target/" + name)), "new x!");
    EXPECT_EQ(ReadFileText(dir / "target/\x1b[2Jred\nline\x7f.bak"), "old x");
    EXPECT_TRUE(Contains(out, "\\x1b[2Jred\\x0aline\\x7f.txt: " + dir / "target/\\x1b[2Jred\\x0aline\\x7f.bak\n"));
    ASSERT_EQ(Run("info hostile.dvp"), 0) << err;
    EXPECT_TRUE(Contains(out, "  remove gone\\x1b[5m.txt\n"));
    EXPECT_TRUE(Contains(out, "  \\x1b[2Jred\\x0aline\\x7f.txt  new=0"));
    for (const std::string* text : {&out, &err})
        EXPECT_EQ(text->find_first_of("\x1b\x7f"), std::string::npos) << *text;
}

TEST_F(CliApplyTest, RefusalsAndUsage)
{
    // A damaged or unsafe patch exits 1; 3 is kept for a target that does not match.
    image::Record gap = image::Changed("a.txt", "old a", "new a!");
    gap.newLength += 100;
    dir.Write("damaged.dvp", image::Patch({gap}));
    dir.Write("unsafe.dvp", image::Patch({image::NewFile("..\\x", "x")}));
    dir.Write("empty.dvp", image::Patch({}));
    ExpectCliCases({
        {"apply", 2, ""}, {"apply update.dvp", 2, ""}, {"apply update.dvp target --frobnicate", 2, ""},
        {"verify update.dvp", 2, ""},
        {"apply Update.EXE target", 2, "self-extracting patch program: run it"},
        {"apply missing.dvp target", 1, "Error opening patch file"},
        {"apply target target", 1, "file\ntarget\nIs a directory"},
        {"verify damaged.dvp target", 1, ""}, {"verify unsafe.dvp target", 1, ""},
        {"apply damaged.dvp target", 1, "Nothing was changed."}, {"apply unsafe.dvp target", 1, "Nothing was changed."},
        {"apply empty.dvp target", 1, "This Delvorin file does not have any file patches in it."},
    }, dir.Path());
    EXPECT_EQ(ReadFileText(dir / "target/a.txt"), "old a");
}

// SIGTERM and SIGHUP while a patch file's missing part is asked for on the terminal end
// the program with 128 + the signal, and the private temporary folder (holding the part
// already joined) goes with it. A program killed outright (SIGKILL) cannot remove it:
// the next run finds it abandoned and removes it.
TEST_F(CliApplyTest, TerminationSignalsLeaveNoTemporaryFiles)
{
    std::string img = image::Header({}, 1) + image::Changed("a.txt", "old a", "new a!").Bytes();
    dir.Write("split.dvp", image::PatchFile(img, 2, 720000));
    int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string tmp = dir.MakeFolder("tmp"), errFile = dir / "err.txt";
    const auto before = SnapshotTree(dir / "target");
    auto entriesOfTmp = [&] {
        std::vector<fsys::DirEntry> entries;
        fsys::ListFolder(tmp, entries);
        return std::count_if(entries.begin(), entries.end(),
                             [](const fsys::DirEntry& e) { return e.name != "." && e.name != ".."; });
    };
    // apply takes the signal as a cancel request; info never asks for one, so there the
    // signal ends the program at once, removing the folder all the same.
    const struct {
        std::vector<std::string> args;
        int signal;
    } runs[] = {{{"apply", dir / "split.dvp", dir / "target"}, SIGTERM},
                {{"apply", dir / "split.dvp", dir / "target"}, SIGHUP},
                {{"info", dir / "split.dvp"}, SIGTERM},
                {{"apply", dir / "split.dvp", dir / "target"}, SIGKILL}};
    dir.Write("whole.dvp", image::PatchFile(img));
    for (const auto& run : runs) {
        const int signal = run.signal;
        SCOPED_TRACE(run.args[0] + " " + std::to_string(signal));
        int pid = SpawnCli(run.args, ptsname(terminal), errFile, tmp);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(WaitFor([&] { return ReadFileText(errFile).find("Delvorin Message") != std::string::npos; }));
        EXPECT_EQ(entriesOfTmp(), 1); // the private temporary folder
        kill(pid, signal);
        if (signal == SIGKILL) {
            EXPECT_EQ(WaitCli(pid), -1);
            EXPECT_EQ(entriesOfTmp(), 1);
            pid = SpawnCli({"info", dir / "whole.dvp"}, "/dev/null", errFile, tmp);
            EXPECT_EQ(WaitCli(pid), 0) << ReadFileText(errFile);
        } else {
            EXPECT_EQ(WaitCli(pid), 128 + signal);
        }
        EXPECT_EQ(entriesOfTmp(), 0);
    }
    close(terminal);
    EXPECT_EQ(SnapshotTree(dir / "target"), before);
}

} // namespace
