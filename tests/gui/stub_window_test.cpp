// The window of the self-extracting patch program, driven from outside as a person
// would: the program built with delvorin-cli is started with a folder, its window is
// found by its title, keys are typed into it, what its fields hold is read from the X
// selection they set when selected, and the result is read from the file system and
// the exit status.
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/TreeDifferences.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs a command through the shell; its standard output without the last line feed.
std::string Output(const std::string& command)
{
    std::string out = CommandOutput(command);
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// The names in a folder (files and folders alike), one per line.
std::string Entries(const std::string& folder)
{
    std::vector<fsys::DirEntry> entries;
    fsys::ListFolder(folder, entries);
    std::string names;
    for (const auto& entry : entries) {
        if (entry.name != "." && entry.name != "..")
            names += entry.name + "\n";
    }
    return names;
}

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A self-extracting program of a small old/new pair and a copy of the old tree; the
// program runs as a child with its own temporary folder.
class StubWindow : public testing::Test {
protected:
    CTestFolder dir;
    std::string program, target;
    pid_t pid = -1;

    void SetUp() override
    {
        const char* bin = std::getenv("DELVORIN_BIN");
        if (!bin || !fsys::FileExists(std::string(bin) + "/DvApply.exe"))
            GTEST_SKIP() << "no DvApply.exe in DELVORIN_BIN";
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no display";
        if (!Have("xdotool") || !Have("xclip"))
            GTEST_SKIP() << "xdotool and xclip are needed to type into the window and read it";
        dir.Write("old/readme.txt", "Frobnicator 1.0\n");
        dir.WriteBytes("old/lib/core.bin", RandomBytes(30000, 3));
        dir.Write("new/readme.txt", "Frobnicator 2.0\n");
        std::vector<unsigned char> core = RandomBytes(30000, 3);
        core.insert(core.begin() + 700, 300, 'y');
        dir.WriteBytes("new/lib/core.bin", core);
        dir.Write("new/docs/changes.txt", "more frobs\n");
        ASSERT_TRUE(CliSucceeds("build old new update.exe --self-extract --dialog-text 'This updates Frobnicator to "
                                "2.0.\r\nClose it first.' --publisher 'Ann Smith' --organization 'Acme & Sons'",
                                dir.Path()));
        program = dir / "update.exe";
        target = dir / "target";
        ASSERT_TRUE(CopyTree(dir / "old", target));
        dir.MakeFolder("tmp");
    }

    void TearDown() override
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    void Start(const std::string& folder) { Start(program, folder); }
    void Start(const std::string& program, const std::string& folder)
    {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("TMPDIR", (dir / "tmp").c_str(), 1);
            setenv("NO_AT_BRIDGE", "1", 1); // no accessibility bus to wait for
            execl(program.c_str(), program.c_str(), folder.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // The program's shown window with this title, focused; empty when none came.
    std::string Focus(const std::string& title)
    {
        const std::string search =
            "xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " --name " + Quoted("^" + title + "$");
        std::string window;
        auto start = std::chrono::steady_clock::now();
        while (window.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            window = Output(search);
        }
        window = window.substr(0, window.find('\n'));
        if (!window.empty())
            Output("timeout 5 xdotool windowfocus --sync " + window);
        return window;
    }

    void Keys(const std::string& keys) { Output("xdotool key --delay 50 " + keys); }

    // The text the window has selected last (a focused field selects all it holds).
    std::string Selected()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Output("xclip -o -selection primary");
    }

    int Wait()
    {
        int status = 0;
        auto start = std::chrono::steady_clock::now();
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
                ADD_FAILURE() << "the program did not end";
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

} // namespace

TEST_F(StubWindow, ShowsTheFolderAndTextAndAppliesThePatch)
{
    Start(target);
    ASSERT_FALSE(Focus("Delvorin Apply").empty()) << "no window titled Delvorin Apply";
    EXPECT_EQ(Selected(), target); // the folder field has the focus
    Keys("shift+Tab");             // back to the publisher's text
    EXPECT_EQ(Selected(), "This updates Frobnicator to 2.0.\nClose it first.");
    // Backups under an extension of the user's own: the extension field opens to
    // typing only once the backup is ticked.
    Keys("alt+b alt+e o r i g");
    Keys("alt+a");
    ASSERT_FALSE(Focus("Delvorin Success!").empty()) << "no success message";
    // Below the message, where each backup went; OK keeps the focus.
    Keys("shift+Tab ctrl+a");
    const std::string backups = Selected();
    EXPECT_NE(backups.find("readme.txt: " + target + "/readme.orig"), std::string::npos) << backups;
    EXPECT_NE(backups.find("lib/core.bin: " + target + "/lib/core.orig"), std::string::npos) << backups;
    Keys("Tab Return");
    EXPECT_EQ(Wait(), 0);
    auto expected = SnapshotTree(dir / "new");
    expected["readme.orig"] = "Frobnicator 1.0\n";
    expected["lib/core.orig"] = ReadFileText(dir / "old/lib/core.bin");
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), expected), "");
    EXPECT_EQ(Entries(dir / "tmp"), ""); // its temporary folder is gone
}

TEST_F(StubWindow, ListsTheErrorsForATreeThatDoesNotMatchAndChangesNothing)
{
    // Neither the old files nor the new ones.
    ASSERT_TRUE(CopyTree(dir / "old", dir / "wrong"));
    dir.Write("wrong/readme.txt", "Frobnicator 3.0\n");
    const auto before = SnapshotTree(dir / "wrong");
    Start(dir / "wrong");
    ASSERT_FALSE(Focus("Delvorin Apply").empty());
    Keys("Return"); // Apply is the default
    ASSERT_FALSE(Focus("Delvorin Errors").empty()) << "no errors list";
    Keys("Return");
    // The window stays for another folder; closing it ends with the refusal's status.
    ASSERT_FALSE(Focus("Delvorin Apply").empty());
    Keys("Escape");
    EXPECT_EQ(Wait(), 3);
    EXPECT_EQ(TreeDifferences(SnapshotTree(dir / "wrong"), before), "");
    EXPECT_EQ(Entries(dir / "tmp"), "");
}

// A part that is not beside the program is asked for; OK looks again.
TEST_F(StubWindow, AsksForAMissingPart)
{
    uint64_t stubLength = 0;
    ASSERT_TRUE(fsys::FileLength(std::string(std::getenv("DELVORIN_BIN")) + "/DvApply.exe", stubLength));
    dir.WriteBytes("new/big.bin", RandomBytes(200000, 9)); // the patch outgrows the first part
    dir.MakeFolder("dist");
    ASSERT_TRUE(
        CliSucceeds("build old new dist/update.exe --self-extract --split " + std::to_string(stubLength / 1000 + 50),
                    dir.Path()));
    ASSERT_TRUE(fsys::FileExists(dir / "dist/update.dv001"));
    dir.WriteBytes("disk/update.exe", ReadFileBytes(dir / "dist/update.exe"));
    ASSERT_TRUE(fsys::SetPermissions(dir / "disk/update.exe", 0755));
    Start(dir / "disk/update.exe", target);
    ASSERT_FALSE(Focus("Delvorin Message").empty()) << "no question for the missing part";
    dir.WriteBytes("disk/update.dv001", ReadFileBytes(dir / "dist/update.dv001"));
    Keys("Return"); // OK: the part is there now
    ASSERT_FALSE(Focus("Delvorin Apply").empty());
    Keys("alt+a");
    ASSERT_FALSE(Focus("Delvorin Success!").empty());
    Keys("Return");
    EXPECT_EQ(Wait(), 0);
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
}

// Escape on the progress window (or its close button) is Cancel: the window stays, the
// question is asked over it, and Yes ends the apply with nothing changed.
TEST_F(StubWindow, EscapeOnTheProgressWindowAsksBeforeItCancels)
{
    // Files enough that the apply takes a while.
    for (int i = 0; i < 16; ++i) {
        dir.WriteBytes("bigold/part" + std::to_string(i) + ".bin", RandomBytes(4 << 20, 40 + i));
        dir.WriteBytes("bignew/part" + std::to_string(i) + ".bin", RandomBytes(4 << 20, 80 + i));
    }
    ASSERT_TRUE(CliSucceeds("build bigold bignew big.exe --self-extract", dir.Path()));
    const auto before = SnapshotTree(dir / "bigold");
    Start(dir / "big.exe", dir / "bigold");
    ASSERT_FALSE(Focus("Delvorin Apply").empty());
    Keys("alt+a");
    ASSERT_FALSE(Focus("Applying Patch").empty()) << "no progress window";
    Keys("Escape");
    ASSERT_FALSE(Focus("Delvorin Warning").empty()) << "no cancel question";
    Keys("Return"); // Yes
    ASSERT_FALSE(Focus("Delvorin Whoops!").empty()) << "no word of the cancel";
    Keys("Return");
    EXPECT_EQ(Wait(), 130);
    EXPECT_EQ(TreeDifferences(SnapshotTree(dir / "bigold"), before), "");
    EXPECT_EQ(Entries(dir / "tmp"), "");
}

// Asked to end while its window waits, it closes and removes its temporary files.
TEST_F(StubWindow, EndsCleanlyOnSigtermAndSighup)
{
    for (int signal : {SIGTERM, SIGHUP}) {
        Start(target);
        ASSERT_FALSE(Focus("Delvorin Apply").empty());
        EXPECT_NE(Entries(dir / "tmp"), ""); // the folder with the joined patch
        kill(pid, signal);
        EXPECT_EQ(Wait(), 130) << signal;
        EXPECT_EQ(Entries(dir / "tmp"), "") << signal;
    }
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "old")), "");
}
