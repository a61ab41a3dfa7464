// The self-extracting patch program on the terminal: built with delvorin-cli from trees
// made here, copied elsewhere and run against copies of the old tree, whole and split
// into parts, with a part missing, cut short, renamed, and against folders it does not
// fit. Skipped when the build has no DvApply.exe (a build without the windows).
#include "platform/FileSystem.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/TreeDifferences.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string BinFolder()
{
    const char* bin = std::getenv("DELVORIN_BIN");
    return bin ? bin : "build/bin";
}

std::string StubPath()
{
    return BinFolder() + "/DvApply.exe";
}

#define REQUIRE_STUB()                                                                                              \
    do {                                                                                                            \
        if (!fsys::FileExists(StubPath()))                                                                          \
            GTEST_SKIP() << "no DvApply.exe in " << BinFolder() << " (built without the windows)";                 \
    } while (0)

// No display: the program works on the terminal even without --console.
const char* const kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY ";

struct CRun {
    int status = -1;
    std::string out, err;
};

// Runs a program with standard input not a terminal, in folder work.
CRun RunProgram(const std::string& program, const std::string& arguments, const CTestFolder& scratch,
         const std::string& work = "/", const std::string& environment = "")
{
    CRun r;
    std::string errFile = scratch / "stub-stderr.txt";
    std::string command = "cd " + Quoted(work) + " && " + environment + Quoted(program) + " " + arguments +
                          " </dev/null 2>" + Quoted(errFile);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    int raw = pclose(pipe);
    r.err = ReadFileText(errFile);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

void Copy(const std::string& from, const std::string& to)
{
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(fsys::ReadWholeFile(from, bytes)) << from;
    ASSERT_TRUE(fsys::WriteWholeFile(to, bytes.data(), bytes.size())) << to;
    ASSERT_TRUE(fsys::SetPermissions(to, 0755));
}

// An old and a new tree with a changed, an unchanged, a new (deep) and a removed file.
void MakeTrees(CTestFolder& dir)
{
    dir.Write("old/readme.txt", "Frobnicator 1.0\n");
    dir.Write("old/same.txt", "never changes\n");
    dir.WriteBytes("old/lib/core.bin", RandomBytes(40000, 1));
    dir.Write("old/obsolete.cfg", "old setting\n");
    dir.Write("new/readme.txt", "Frobnicator 2.0, now with more frobs\n");
    dir.Write("new/same.txt", "never changes\n");
    std::vector<unsigned char> core = RandomBytes(40000, 1);
    core.insert(core.begin() + 1000, 500, 'x');
    dir.WriteBytes("new/lib/core.bin", core);
    dir.Write("new/plugins/extra/new.txt", "a new file\n");
}

// Builds dir/dist/update.exe from dir/old and dir/new (by default removing the file the
// new tree no longer has).
void BuildProgram(CTestFolder& dir, const std::string& options = "--remove obsolete.cfg")
{
    std::string out, err;
    int status = RunCli("build old new dist/update.exe --self-extract"
                        " --dialog-text 'This updates Frobnicator to 2.0.' --publisher 'Ann Smith'"
                        " --organization 'Acme Ltd' " + options,
                        dir.Path(), dir.Path(), out, err);
    ASSERT_EQ(status, 0) << err;
}

// A copy of the old tree to apply to.
std::string OldCopy(CTestFolder& dir, const std::string& name)
{
    std::string target = dir / name;
    EXPECT_TRUE(CopyTree(dir / "old", target));
    return target;
}

} // namespace

TEST(SelfExtracting, AppliesItsPatchFromAnotherFolderAndRefusesAFolderThatDoesNotFit)
{
    REQUIRE_STUB();
    CTestFolder dir;
    MakeTrees(dir);
    dir.MakeFolder("dist");
    BuildProgram(dir);
    // Copied elsewhere under another name and started through a link, so neither its
    // name nor argv[0] says what it is.
    dir.MakeFolder("elsewhere");
    Copy(dir / "dist/update.exe", dir / "elsewhere/frobnicator-2.0-update");
    ASSERT_EQ(symlink((dir / "elsewhere/frobnicator-2.0-update").c_str(), (dir / "link.exe").c_str()), 0);
    const std::string program = dir / "link.exe";

    std::string target = OldCopy(dir, "target");
    CRun r = RunProgram(program, "--console " + Quoted(target), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("This updates Frobnicator to 2.0."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Publisher: Ann Smith, Acme Ltd"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The Delvorin file has been applied successfully."), std::string::npos) << r.out;
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");

    // One file that is not the one the patch was made from: nothing changes, status 3.
    std::string wrong = OldCopy(dir, "wrong");
    dir.Write("wrong/readme.txt", "Frobnicator 1.0 (edited)\n");
    auto before = SnapshotTree(wrong);
    r = RunProgram(program, "--console " + Quoted(wrong), dir);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("The following file does not match the file to be updated:\n  " + wrong + "/readme.txt"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("have not been changed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("contact the following company to resolve this problem:\n  Ann Smith, Acme Ltd"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(wrong), before), "");

    // A folder that does not exist is not made.
    r = RunProgram(program, "--console " + Quoted(dir / "missing"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(fsys::PathExists(dir / "missing"));
}

TEST(SelfExtracting, WithoutADisplayItWorksOnTheTerminalAndProposesTheDefaultFolder)
{
    REQUIRE_STUB();
    CTestFolder dir;
    MakeTrees(dir);
    dir.MakeFolder("dist");
    std::string target = OldCopy(dir, "installed");
    BuildProgram(dir, "--default-folder " + Quoted(target));

    // No folder on the command line: the default folder of the patch, with backups.
    CRun r = RunProgram(dir / "dist/update.exe", "--backup", dir, dir.Path(), kNoDisplay);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Folder to update: " + target), std::string::npos) << r.out;
    auto expected = SnapshotTree(dir / "new");
    expected["readme.bak"] = "Frobnicator 1.0\n";
    expected["lib/core.bak"] = ReadFileText(dir / "old/lib/core.bin");
    expected["obsolete.cfg"] = "old setting\n"; // this build removes nothing
    // A new file that did not exist has no backup.
    expected["same.bak"] = "never changes\n";  // every file the patch names is backed up
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), expected), "");

    // A relative folder on the command line, a backup extension of its own.
    OldCopy(dir, "relative");
    r = RunProgram(dir / "dist/update.exe", "relative --backup orig", dir, dir.Path(), kNoDisplay);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileText(dir / "relative/readme.orig"), "Frobnicator 1.0\n");

    // Neither a folder nor a default one: the usage.
    dir.MakeFolder("nodefault");
    std::string out, err;
    ASSERT_EQ(RunCli("build old new nodefault/update.exe --self-extract --default-folder ''", dir.Path(), dir.Path(),
                     out, err),
              0)
        << err;
    r = RunProgram(dir / "nodefault/update.exe", "", dir, dir.Path(), kNoDisplay);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: update.exe"), std::string::npos) << r.err;

    // Bad command lines.
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console --frobnicate", dir).status, 2);
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console a b", dir).status, 2);
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console a --backup=x/y", dir).status, 2);
}

TEST(SelfExtracting, JoinsItsPartsAndAsksForAMissingOne)
{
    REQUIRE_STUB();
    CTestFolder dir;
    dir.WriteBytes("old/data.bin", RandomBytes(100000, 7));
    std::vector<unsigned char> data = RandomBytes(250000, 8);
    std::vector<unsigned char> old = RandomBytes(100000, 7);
    data.insert(data.end(), old.begin(), old.end());
    dir.WriteBytes("new/data.bin", data);
    dir.MakeFolder("dist");

    // Parts just larger than the apply program: the program and one more part.
    uint64_t stubLength = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), stubLength));
    const uint64_t split = stubLength / 1000 + 100;
    std::string out, err;
    ASSERT_EQ(RunCli("build old new dist/update.exe --self-extract --split " + std::to_string(split), dir.Path(),
                     dir.Path(), out, err),
              0)
        << err;
    ASSERT_TRUE(fsys::FileExists(dir / "dist/update.dv001"));
    ASSERT_FALSE(fsys::FileExists(dir / "dist/update.dv002"));
    uint64_t programLength = 0;
    ASSERT_TRUE(fsys::FileLength(dir / "dist/update.exe", programLength));
    EXPECT_EQ(programLength, split * 1000);

    dir.MakeFolder("disk");
    Copy(dir / "dist/update.exe", dir / "disk/update.exe");
    std::string target = OldCopy(dir, "target");

    CRun r = RunProgram(dir / "disk/update.exe", "--console " + Quoted(target), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Please put file update.dv001 into the folder " + dir / "disk/" + ". Press OK when done."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Error opening patch file"), std::string::npos) << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "old")), "");

    Copy(dir / "dist/update.dv001", dir / "disk/update.dv001");
    r = RunProgram(dir / "disk/update.exe", "--console " + Quoted(target), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
}

TEST(SelfExtracting, RefusesAMissingOrDamagedPatchAndChangesNothing)
{
    REQUIRE_STUB();
    CTestFolder dir;
    MakeTrees(dir);
    dir.MakeFolder("dist");
    BuildProgram(dir);
    std::string target = OldCopy(dir, "target");
    const auto before = SnapshotTree(target);
    std::vector<unsigned char> program = ReadFileBytes(dir / "dist/update.exe");
    uint64_t stubLength = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), stubLength));
    ASSERT_GT(program.size(), stubLength + 26);

    // The apply program on its own carries no patch (its code holds the marker text).
    CRun r = RunProgram(StubPath(), "--console " + Quoted(target), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not carry a Delvorin patch"), std::string::npos) << r.err;

    struct {
        const char* name;
        size_t length;
        const char* message;
    } cuts[] = {
        {"stream.exe", program.size() - 100, "Error opening patch file"},
        {"prefix.exe", static_cast<size_t>(stubLength) + 22, "Error opening patch file"},
        {"marker.exe", static_cast<size_t>(stubLength) + 10, "does not carry a Delvorin patch"},
    };
    for (const auto& cut : cuts) {
        dir.WriteBytes(std::string("cut/") + cut.name,
                       std::vector<unsigned char>(program.begin(), program.begin() + cut.length));
        ASSERT_TRUE(fsys::SetPermissions(dir / "cut" + "/" + cut.name, 0755));
        r = RunProgram(dir / "cut" + "/" + cut.name, "--console " + Quoted(target), dir);
        EXPECT_EQ(r.status, 1) << cut.name << r.err;
        EXPECT_NE(r.err.find(cut.message), std::string::npos) << cut.name << "\n" << r.err;
    }
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), before), "");

}

// The published pair of a real package, when the release test has fetched it.
TEST(SelfExtracting, ReleasePairRoundTrip)
{
    REQUIRE_STUB();
    std::string cache = fsys::FolderOf(fsys::WithoutTrailingSlash(BinFolder())) + "/npm-cache";
    const std::string oldTarball = cache + "/prettier-3.2.4.tgz", newTarball = cache + "/prettier-3.2.5.tgz";
    if (!fsys::FileExists(oldTarball) || !fsys::FileExists(newTarball))
        GTEST_SKIP() << "the release pair has not been fetched into " << cache;

    CTestFolder dir;
    dir.MakeFolder("old");
    dir.MakeFolder("new");
    ASSERT_EQ(std::system(("tar xzf " + Quoted(oldTarball) + " -C " + Quoted(dir / "old")).c_str()), 0);
    ASSERT_EQ(std::system(("tar xzf " + Quoted(newTarball) + " -C " + Quoted(dir / "new")).c_str()), 0);
    auto oldFiles = SnapshotTree(dir / "old/package"), newFiles = SnapshotTree(dir / "new/package");
    std::string removes;
    for (const auto& entry : oldFiles)
        if (!newFiles.count(entry.first))
            removes += " --remove " + Quoted(entry.first);

    std::string out, err;
    ASSERT_EQ(RunCli("build old/package new/package prettier-update.exe --self-extract" + removes, dir.Path(),
                     dir.Path(), out, err),
              0)
        << err;
    ASSERT_TRUE(CopyTree(dir / "old/package", dir / "installed"));
    CRun r = RunProgram(dir / "prettier-update.exe", "--console " + Quoted(dir / "installed"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(dir / "installed"), newFiles), "");
}
