// delvorin-cli apply and verify: exit statuses, the listing of verification errors and
// the target folder afterwards.
#include "support/CliRun.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

class CliApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.Write("target/a.txt", "old a");
        dir.Write("target/b.txt", "old b");
        std::string img = image::Header({}, 2) + image::Changed("a.txt", "old a", "new a!").Bytes() +
                          image::Changed("b.txt", "old b", "new b!!").Bytes();
        dir.Write("update.dvp", image::PatchFile(img));
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
    EXPECT_EQ(out, "Backup of " + dir / "target/a.txt" + ": " + dir / "target/a.orig\n" + "Backup of " +
                       dir / "target/b.txt" + ": " + dir / "target/b.orig\n" +
                       "The Delvorin file has been applied successfully.\n");
    EXPECT_EQ(ReadFileText(dir / "target/a.txt"), "new a!");
    EXPECT_EQ(ReadFileText(dir / "target/b.orig"), "old b");
}

TEST_F(CliApplyTest, VerificationErrorsAreListedAndNothingChanges)
{
    dir.Write("target/b.txt", "changed");
    const auto before = SnapshotTree(dir / "target");
    for (const char* command : {"verify", "apply"}) {
        ASSERT_EQ(Run(std::string(command) + " update.dvp " + Quoted(dir / "target")), 3) << command;
        EXPECT_NE(err.find("\n  The following file does not match the file to be updated:\n  " + (dir / "target") +
                           "/b.txt\nThe Delvorin process was aborted"),
                  std::string::npos)
            << err;
        EXPECT_EQ(SnapshotTree(dir / "target"), before);
    }
}

TEST_F(CliApplyTest, RefusalsAndUsage)
{
    EXPECT_EQ(Run("apply"), 2);
    EXPECT_EQ(Run("apply update.dvp"), 2);
    EXPECT_EQ(Run("apply update.dvp target --frobnicate"), 2);
    EXPECT_EQ(Run("verify update.dvp"), 2);

    EXPECT_EQ(Run("apply Update.EXE target"), 2);
    EXPECT_NE(err.find("self-extracting patch program: run it"), std::string::npos) << err;

    EXPECT_EQ(Run("apply missing.dvp target"), 1);
    EXPECT_NE(err.find("Error opening patch file"), std::string::npos) << err;

    // A damaged or unsafe patch exits 1; 3 is kept for a target that does not match.
    image::Record gap = image::Changed("a.txt", "old a", "new a!");
    gap.newLength += 100;
    dir.Write("damaged.dvp", image::PatchFile(image::Header({}, 1) + gap.Bytes()));
    dir.Write("unsafe.dvp", image::PatchFile(image::Header({}, 1) + image::NewFile("..\\x", "x").Bytes()));
    for (const char* command : {"verify", "apply"}) {
        EXPECT_EQ(Run(std::string(command) + " damaged.dvp target"), 1) << command;
        EXPECT_EQ(Run(std::string(command) + " unsafe.dvp target"), 1) << command;
    }

    dir.Write("empty.dvp", image::PatchFile(image::Header({}, 0)));
    EXPECT_EQ(Run("apply empty.dvp target"), 1);
    EXPECT_NE(err.find("This Delvorin file does not have any file patches in it."), std::string::npos) << err;
    EXPECT_EQ(ReadFileText(dir / "target/a.txt"), "old a");
}

} // namespace
