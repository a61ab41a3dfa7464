// delvorin-cli build and info: a build from the command line read back with info, the
// exit statuses, split and self-extracting patch files, the log option and the
// signals that cancel a build.
#include "platform/FileSystem.h"
#include "support/CliRun.h"
#include "support/PeProgram.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Names of the entries of folder that begin with prefix.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& prefix)
{
    std::vector<fsys::DirEntry> entries;
    fsys::ListFolder(folder, entries);
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (e.name != "." && e.name != ".." && e.name.rfind(prefix, 0) == 0)
            names.push_back(e.name);
    return names;
}

class CliBuildTest : public testing::Test {
protected:
    CTestFolder dir;
    std::string oldFolder, newFolder;

    void SetUp() override
    {
        dir.WriteAll({{"old/app.txt", "version one of the application\n"}, {"old/gone.txt", "removed by the patch"},
                      {"old/same.txt", "same"}, {"new/app.txt", "version two of the application, a little longer\n"},
                      {"new/lib/added.bin", "new in this release"}, {"new/secret.key", "never shipped"},
                      {"new/same.txt", "same"}});
        oldFolder = dir / "old";
        newFolder = dir / "new";
    }

    CRun Cli(const std::string& arguments) { return RunCliIn(arguments, dir.Path()); }
};

TEST_F(CliBuildTest, BuildThenInfo)
{
    dir.WriteAll({{"new/.env", "KEY=1"}, {"new/cache/x.tmp", "scratch"}});
    CRun build = Cli("build old new out/update.dvp --exclude secret.key --remove gone.txt --publisher 'Ann Smith' "
                     "--organization Quenmark --dialog-text 'Welcome to the update'");
    EXPECT_EQ(build.status, 1) << "no folder out yet: " << build.err; // the work file cannot be created
    dir.MakeFolder("out");
    build = Cli("build old new out/update.dvp --exclude secret.key --exclude cache --remove gone.txt "
                "--publisher 'Ann Smith' --organization Quenmark --dialog-text 'Welcome to the update'");
    ASSERT_EQ(build.status, 0) << build.err;
    std::string patch = dir / "out/update.dvp";
    EXPECT_TRUE(Contains(build.out, "The Patch File: " + patch + " was successfully created."));
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));

    CRun info = Cli("info out/update.dvp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "Publisher:         Ann Smith"));
    EXPECT_TRUE(Contains(info.out, "Organization:      Quenmark"));
    EXPECT_TRUE(Contains(info.out, "Default folder:    " + oldFolder));
    EXPECT_TRUE(Contains(info.out, "Dialog text:       Welcome to the update"));
    EXPECT_TRUE(Contains(info.out, "remove gone.txt"));
    EXPECT_TRUE(Contains(info.out, "  lib/added.bin  new=1  old 0 bytes sum 0  new 19 bytes"));
    EXPECT_TRUE(Contains(info.out, "  app.txt  new=0  old 31 bytes"));
    EXPECT_FALSE(Contains(info.out, "secret.key"));
    EXPECT_TRUE(Contains(info.out, "  .env  new=1  old 0 bytes sum 0  new 5 bytes"));
    EXPECT_FALSE(Contains(info.out, "cache/"));
    EXPECT_TRUE(Contains(info.out, "Strong checks:     SHA-256 of every file's old and new content"));

    // The dot file arrives with the rest.
    dir.WriteAll({{"target/app.txt", "version one of the application\n"}, {"target/gone.txt", "removed by the patch"},
                  {"target/same.txt", "same"}});
    ASSERT_EQ(Cli("apply out/update.dvp target").status, 0);
    EXPECT_EQ(ReadFileText(dir / "target/.env"), "KEY=1");
    EXPECT_TRUE(Contains(info.out, "File records:      "));
}

TEST_F(CliBuildTest, FullPathsDefaultFolderAndLog)
{
    std::string log = dir / "build.log";
    CRun build = Cli("build " + Quoted(oldFolder + "/") + " " + Quoted(newFolder) + " " + Quoted(dir / "p.dvp") +
                     " --exclude " + Quoted(newFolder + "/secret.key") + " --default-folder /opt/app --log build.log");
    ASSERT_EQ(build.status, 0) << build.err;
    std::string text = ReadFileText(log);
    EXPECT_TRUE(Contains(text, "Added new file to diff array: " + newFolder + "/app.txt"));
    EXPECT_TRUE(Contains(text, "Added new file to diff array: " + newFolder + "/lib/added.bin"));

    CRun info = Cli("info p.dvp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "Default folder:    /opt/app"));
    EXPECT_TRUE(Contains(info.out, "Files to remove:   0"));
}

TEST_F(CliBuildTest, SplitPatchIsReadFromItsParts)
{
    dir.WriteBytes("new/big.bin", RandomBytes(5000, 3));
    CRun build = Cli("build old new split.dvp --split 2");
    ASSERT_EQ(build.status, 0) << build.err;
    EXPECT_TRUE(fsys::PathExists(dir / "split.dv001"));
    std::vector<unsigned char> first = ReadFileBytes(dir / "split.dvp");
    ASSERT_EQ(first.size(), 2000u);
    EXPECT_GE(first[0], 3);

    CRun info = Cli("info split.dvp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "  big.bin  new=1  old 0 bytes sum 0  new 5000 bytes"));
    // The compact format is split and read back the same way.
    ASSERT_EQ(Cli("build old new compact.dvp --split 2 --format compact").status, 0);
    EXPECT_TRUE(fsys::PathExists(dir / "compact.dv001"));
    info = Cli("info compact.dvp");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "  big.bin  new=1"));
    EXPECT_TRUE(Contains(info.out, "Strong checks:     SHA-256 of the whole new tree"));

    // A missing part: no terminal to ask on, so the prompt is cancelled.
    ASSERT_TRUE(fsys::DeleteFile(dir / "split.dv001"));
    info = Cli("info split.dvp");
    EXPECT_EQ(info.status, 1);
    EXPECT_TRUE(Contains(info.err, "Please put file split.dv001 into the folder " + dir.Path() + "/."));
    EXPECT_TRUE(Contains(info.err, "Error opening patch file"));
}

TEST_F(CliBuildTest, ExitStatuses)
{
    ASSERT_EQ(symlink(newFolder.c_str(), (dir / "link").c_str()), 0);
    dir.Write("junk.dvp", std::string(8, '\0') + "this is not a patch file at all, just some text");
    ExpectCliCases({
        {"build", 2, ""}, {"build old new", 2, ""}, {"build old new p.dvp --bogus", 2, ""},
        {"build old new p.dvp --split abc", 2, ""}, {"build old new p.dvp --split 70000", 2, ""},
        {"build old new p.dvp --exclude", 2, ""}, {"build old new p.dvp --self-extract", 2, ".exe"},
        {"build old new new/p.dvp", 2, ""}, {"build old new link/p.dvp", 2, ""}, // the same folder through a link
        // Remove entries no apply could use are refused when the build starts.
        {"build old new p.dvp --remove 'sub\\x.txt'", 1, "The following file to remove"},
        {"build old new p.dvp --remove /etc/passwd", 1, "The following file to remove"},
        {"build old new p.dvp --remove ../elsewhere.txt", 1, "The following file to remove"},
        {"build nothing new p.dvp", 1, "The folder for the old files does not exist."},
        {"build new new p.dvp", 1, "You must specify different folder names"},
        {"info", 2, ""}, {"info none.dvp", 1, "Error opening patch file"}, {"info junk.dvp", 1, ""},
    }, dir.Path());
    EXPECT_FALSE(fsys::PathExists(dir / "new/p.dvp"));
    EXPECT_FALSE(fsys::PathExists(dir / "p.dvp"));
    EXPECT_FALSE(fsys::PathExists(dir / "p.~dvp"));

    // A copy with the same content and file times: nothing to patch. The access times lie
    // ahead, so that reading the files does not move them.
    ASSERT_EQ(std::system(("cp -a " + Quoted(newFolder) + " " + Quoted(dir / "copy")).c_str()), 0);
    std::string ahead = "@" + std::to_string(time(nullptr) + 7200);
    ASSERT_EQ(std::system(("find " + Quoted(newFolder) + " " + Quoted(dir / "copy") +
                           " -type f -exec touch -m -d @1600000000 {} + -exec touch -a -d " + ahead + " {} +")
                              .c_str()),
              0);
    CRun identical = Cli("build new copy p.dvp");
    EXPECT_EQ(identical.status, 3) << identical.err;
    EXPECT_TRUE(Contains(identical.err,
                         "The old file folder and the new file folder are identical.\nNo Delvorin file was created."));
    EXPECT_FALSE(fsys::PathExists(dir / "p.dvp"));
    EXPECT_FALSE(fsys::PathExists(dir / "p.~dvp"));
}

// A copy of delvorin-cli in a folder of its own, with a stand-in apply stub beside it.
class CliSelfExtractTest : public CliBuildTest {
protected:
    std::string programFolder;
    void SetUp() override
    {
        CliBuildTest::SetUp();
        const char* bin = std::getenv("DELVORIN_BIN");
        ASSERT_NE(bin, nullptr);
        programFolder = dir.MakeFolder("prog");
        std::vector<unsigned char> cli = ReadFileBytes(std::string(bin) + "/delvorin-cli");
        ASSERT_FALSE(cli.empty());
        dir.WriteBytes("prog/delvorin-cli", cli);
        chmod((programFolder + "/delvorin-cli").c_str(), 0755);
        previous_ = bin;
        setenv("DELVORIN_BIN", programFolder.c_str(), 1);
    }
    void TearDown() override { setenv("DELVORIN_BIN", previous_.c_str(), 1); }

private:
    std::string previous_;
};

TEST_F(CliSelfExtractTest, ProgramBehindTheStub)
{
    CRun noStub = Cli("build old new update.exe --self-extract");
    EXPECT_EQ(noStub.status, 1);
    EXPECT_TRUE(Contains(noStub.err, "Cannot find the file \"DvApply.exe\" in the Delvorin folder."));

    std::vector<unsigned char> stub = RandomBytes(40000, 5);
    dir.WriteBytes("prog/DvApply.exe", stub);
    chmod((programFolder + "/DvApply.exe").c_str(), 0755);
    CRun build = Cli("build old new update.exe --self-extract --exclude secret.key");
    ASSERT_EQ(build.status, 0) << build.err;
    std::vector<unsigned char> program = ReadFileBytes(dir / "update.exe");
    ASSERT_GT(program.size(), 40026u);
    EXPECT_EQ(std::vector<unsigned char>(program.begin(), program.begin() + 40000), stub);
    EXPECT_EQ(std::string(program.begin() + 40000, program.begin() + 40018), "@Amber@Opal@xyzzy@");
    EXPECT_EQ(access((dir / "update.exe").c_str(), X_OK), 0);
    EXPECT_FALSE(fsys::PathExists(dir / "NewFile.tmp"));

    CRun info = Cli("info update.exe");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "  lib/added.bin  new=1"));

    // A split size the stub leaves no room in is refused before the folders are walked
    // (this old folder does not even exist), naming the smallest size that works.
    CRun small = Cli("build missing new small.exe --self-extract --split 40");
    EXPECT_EQ(small.status, 2);
    EXPECT_TRUE(Contains(small.err, "The smallest split size that works is 41 KB."));
    EXPECT_FALSE(fsys::PathExists(dir / "small.exe"));
    EXPECT_EQ(Cli("build old new fits.exe --self-extract --split 41").status, 0);
}

// A program for Windows starts with the Windows apply program; signed afterwards, its
// patch is still found in front of the signature and read whole, and the signature checks.
TEST_F(CliSelfExtractTest, ProgramForWindowsStillReadsWhenSigned)
{
    CRun noStub = Cli("build old new update.exe --self-extract --for windows");
    EXPECT_EQ(noStub.status, 1);
    EXPECT_TRUE(Contains(noStub.err, "Cannot find the Windows apply program \"windows/DvApply.exe\""));
    EXPECT_EQ(Cli("build old new update.exe --self-extract --for dos").status, 2);

    // The split size is measured against the program chosen: here the Linux one is larger.
    dir.WriteBytes("prog/DvApply.exe", RandomBytes(40000, 5));
    const std::vector<unsigned char> stub = MinimalPeProgram();
    dir.WriteBytes("prog/windows/DvApply.exe", stub);
    EXPECT_EQ(Cli("build old new small.exe --self-extract --split 2").status, 2);
    dir.WriteBytes("new/big.bin", RandomBytes(9000, 8)); // a patch of several parts
    if (CommandOutput("command -v osslsigncode").empty() || CommandOutput("command -v openssl").empty())
        GTEST_SKIP() << "osslsigncode or openssl is not installed";
    ASSERT_TRUE(Contains(CommandOutput("cd " + Quoted(dir.Path()) +
                                       " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem"
                                       " -days 2 -subj /CN=Delvorin-test >/dev/null 2>&1 && echo made"),
                         "made"));

    for (const char* options : {"", "--split 2", "--format compact", "--format compact --split 2"}) {
        SCOPED_TRACE(options);
        CRun build = Cli(std::string("build old new update.exe --self-extract --for windows ") + options);
        ASSERT_EQ(build.status, 0) << build.err;
        std::vector<unsigned char> program = ReadFileBytes(dir / "update.exe");
        ASSERT_GT(program.size(), stub.size() + 26);
        EXPECT_EQ(std::vector<unsigned char>(program.begin(), program.begin() + static_cast<long>(stub.size())), stub);
        const std::string sign = "cd " + Quoted(dir.Path()) +
                                 " && osslsigncode sign -certs cert.pem -key key.pem -in update.exe -out signed.exe"
                                 " >/dev/null 2>&1 && mv signed.exe update.exe && osslsigncode verify -CAfile cert.pem"
                                 " update.exe 2>&1";
        const std::string verified = CommandOutput(sign);
        ASSERT_TRUE(Contains(verified, "Signature verification: ok"));
        ASSERT_GT(ReadFileBytes(dir / "update.exe").size(), program.size());

        CRun info = Cli("info update.exe");
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_TRUE(Contains(info.out, "  big.bin  new=1"));
    }
}

TEST_F(CliBuildTest, SignalsCancelAndLeaveNothing)
{
    // A file pair large enough that the build is still differencing when the signal arrives.
    std::vector<unsigned char> big = RandomBytes(8 << 20, 9);
    dir.WriteBytes("old/big.bin", big);
    for (size_t i = 0; i < big.size(); i += 4096)
        big[i] ^= 0xff;
    dir.WriteBytes("new/big.bin", big);
    const std::string patch = dir / "cancel.dvp", tmp = dir.MakeFolder("tmp");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        int pid = SpawnCli({"build", oldFolder, newFolder, patch}, "/dev/null", dir / "err.txt", tmp);
        ASSERT_GT(pid, 0);
        // The work file exists once the handler is in place and the build has begun.
        WaitFor([&] { return !FilesIn(dir.Path(), "cancel.").empty(); });
        kill(pid, signal);
        int status = WaitCli(pid);
        if (status == 0)
            GTEST_SKIP() << "the build finished before the signal arrived";
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(FilesIn(dir.Path(), "cancel."), std::vector<std::string>());
        EXPECT_EQ(FilesIn(tmp, ""), std::vector<std::string>()); // the private temporary folder is gone
    }
}

// Ctrl-C while the patch is compressed (the files are done; the compressed patch file is
// being written), in both formats: the build is cancelled, and neither the patch file nor
// its work files are left.
TEST_F(CliBuildTest, CtrlCWhileCompressingCancelsAndLeavesNothing)
{
    for (int i = 0; i < 6; ++i)
        dir.WriteBytes("new/data/" + std::to_string(i) + ".bin", RandomBytes(8 << 20, 20 + i));
    for (const char* format : {"classic", "compact"}) {
        SCOPED_TRACE(format);
        const std::string patch = dir / "late.dvp", tmp = dir.MakeFolder(std::string("tmp-") + format);
        int pid = SpawnCli({"build", oldFolder, newFolder, patch, "--format", format}, "/dev/null", dir / "err.txt", tmp);
        ASSERT_GT(pid, 0);
        // The compressed patch file is created once the files are done.
        ASSERT_TRUE(WaitFor([&] { return fsys::PathExists(patch); }));
        kill(pid, SIGINT);
        EXPECT_EQ(WaitCli(pid), 130) << ReadFileText(dir / "err.txt");
        EXPECT_EQ(FilesIn(dir.Path(), "late."), std::vector<std::string>());
        EXPECT_TRUE(Contains(ReadFileText(dir / "err.txt"), "build cancelled; no patch file was created"));
    }
}

} // namespace
