// The walk of a folder tree into the diff array, the engine object's lists and its
// errors table.
#include "app/AppCore.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"
#include "support/RecordingProgress.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class DirDiffTest : public ::testing::Test {
protected:
    CTestFolder folder;
    CScriptedPrompt prompt;
    CAppCore core{&prompt, folder.Path(), folder.Path() + "/"};
    CDirDiff dirDiff{core};

    std::set<std::string> Collected() const
    {
        std::set<std::string> out;
        for (size_t i = 0; i < dirDiff.DiffCount(); ++i)
            out.insert(dirDiff.DiffItem(i));
        EXPECT_EQ(out.size(), dirDiff.DiffCount()) << "the diff array holds a path twice";
        return out;
    }
};

TEST_F(DirDiffTest, FilesAndFoldersWhoseNamesBeginWithADotAreCollectedLikeAnyOther)
{
    std::string root = folder.MakeFolder("new");
    folder.WriteAll({{"new/a.txt", "a"}, {"new/.hidden", "h"}, {"new/sub/b.txt", "b"}, {"new/sub/deeper/c.txt", "c"},
                     {"new/.git/config", "g"}, {"new/.git/.keep", "k"}});
    folder.MakeFolder("new/empty");

    CRecordingBuildProgress progress;
    dirDiff.seenFiles = 0;
    ASSERT_TRUE(dirDiff.CollectFiles(root, &progress));
    EXPECT_EQ(Collected(), (std::set<std::string>{root + "/a.txt", root + "/.hidden", root + "/sub/b.txt",
                                                   root + "/sub/deeper/c.txt", root + "/.git/config",
                                                   root + "/.git/.keep"}));
    EXPECT_EQ(dirDiff.seenFiles, 6u);
    EXPECT_EQ(progress.Statuses(),
              (std::vector<std::string>{"Counting file number 1.", "Counting file number 2.", "Counting file number 3.",
                                        "Counting file number 4.", "Counting file number 5.", "Counting file number 6."}));
    // No progress object: the walk works all the same, and the counter keeps counting.
    ASSERT_TRUE(dirDiff.CollectFiles(root + "/", nullptr));
    EXPECT_EQ(dirDiff.DiffCount(), 6u);
    EXPECT_EQ(dirDiff.seenFiles, 12u);
}

TEST_F(DirDiffTest, SubfoldersAreWalkedAtOnceWhenMet)
{
    std::string root = folder.MakeFolder("new");
    for (const char* sub : {"p", "q", "r"})
        for (const char* file : {"1", "2", "deep/3", "deep/4"})
            folder.Write(std::string("new/") + sub + "/" + file, "x");
    folder.WriteAll({{"new/top1", "x"}, {"new/top2", "x"}});
    ASSERT_TRUE(dirDiff.CollectFiles(root, nullptr));
    ASSERT_EQ(dirDiff.DiffCount(), 14u);
    // Depth-first: everything below one subfolder, its own subfolders included, is
    // collected in one run before anything else.
    for (const char* sub : {"p", "q", "r"}) {
        SCOPED_TRACE(sub);
        std::string prefix = root + "/" + sub + "/";
        std::vector<size_t> at;
        for (size_t i = 0; i < dirDiff.DiffCount(); ++i)
            if (dirDiff.DiffItem(i).rfind(prefix, 0) == 0)
                at.push_back(i);
        ASSERT_EQ(at.size(), 4u);
        EXPECT_EQ(at.back() - at.front(), 3u);
    }
}

TEST_F(DirDiffTest, LinksToFilesAreCollectedLinksToFoldersAreNot)
{
    std::string root = folder.MakeFolder("new");
    std::string outside = folder.Write("outside/secret.txt", "s");
    folder.Write("new/sub/file.txt", "f");
    ASSERT_EQ(symlink(outside.c_str(), (root + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink((folder / "outside").c_str(), (root + "/linkdir").c_str()), 0);
    ASSERT_EQ(symlink("..", (root + "/sub/up").c_str()), 0);   // a cycle
    ASSERT_EQ(symlink(".", (root + "/sub/self").c_str()), 0);  // another
    ASSERT_EQ(symlink("missing", (root + "/broken").c_str()), 0);
    ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);      // would block if opened

    ASSERT_TRUE(dirDiff.CollectFiles(root, nullptr));
    EXPECT_EQ(Collected(), (std::set<std::string>{root + "/link.txt", root + "/sub/file.txt"}));
}

TEST_F(DirDiffTest, UnreadableSubfolderFailsTheWalk)
{
    std::string root = folder.MakeFolder("new");
    folder.Write("new/open/y.txt", "y");
    std::string readable = root + "/open";
    folder.Write("new/locked/x.txt", "x");
    ASSERT_EQ(chmod((root + "/locked").c_str(), 0), 0);
    auto walkFailsOnlyWhereLocked = [&] {
        return dirDiff.CollectFiles(readable, nullptr) && !dirDiff.CollectFiles(root, nullptr);
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(walkFailsOnlyWhereLocked());
    } else {
        // Root enters every folder: walk as an ordinary user in a child process.
        ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = setgid(65534) == 0 && setuid(65534) == 0 && walkFailsOnlyWhereLocked();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    chmod((root + "/locked").c_str(), 0700);
}

TEST_F(DirDiffTest, ScanFolderStartsAfreshAndFailsForAMissingFolder)
{
    std::string root = folder.MakeFolder("new");
    folder.Write("new/a", "a");
    std::string other = folder.MakeFolder("other");
    folder.Write("other/b", "b");

    ASSERT_TRUE(dirDiff.ScanFolder(root));
    ASSERT_TRUE(dirDiff.ScanFolder(other));
    EXPECT_EQ(Collected(), (std::set<std::string>{other + "/b"}));
    EXPECT_FALSE(dirDiff.ScanFolder(folder / "missing"));
    EXPECT_EQ(dirDiff.DiffCount(), 0u);
    EXPECT_FALSE(dirDiff.ScanFolder(folder.Write("plain", "not a folder")));
    EXPECT_TRUE(dirDiff.ScanFolder(folder.MakeFolder("empty")));
    EXPECT_EQ(dirDiff.DiffCount(), 0u);
    EXPECT_FALSE(dirDiff.CollectFiles(folder / "missing", nullptr));
}

TEST_F(DirDiffTest, EveryAddedFileIsLoggedWhenLoggingIsOn)
{
    std::string root = folder.MakeFolder("new");
    folder.WriteAll({{"new/a", "a"}, {"new/.h", "h"}});
    core.log.SetPath(folder / "log.txt");
    ASSERT_TRUE(dirDiff.CollectFiles(root, nullptr));
    EXPECT_FALSE(fsys::FileExists(folder / "log.txt")) << "logging is off";

    core.settings.logFile = 1;
    dirDiff.ClearDiffArray();
    ASSERT_TRUE(dirDiff.CollectFiles(root, nullptr));
    const std::string log = ReadFileText(folder / "log.txt");
    EXPECT_EQ(log.size(), 2 * std::string("Added new file to diff array: \n").size() + 2 * root.size() + 5) << log;
    for (const char* file : {"/a\n", "/.h\n"})
        EXPECT_TRUE(Contains(log, "Added new file to diff array: " + root + file));
}

TEST_F(DirDiffTest, ListsKeepUniqueEntriesAndExclusionIsExactOrOfAWholeFolder)
{
    dirDiff.AddExcludeFile("/n/App.dll");
    dirDiff.AddExcludeFile("/n/App.dll");
    dirDiff.AddExcludeFile("/n/readme");
    dirDiff.AddRemoveFile("/o/old.txt");
    dirDiff.AddRemoveFile("/o/old.txt");
    EXPECT_EQ(dirDiff.ExcludeCount(), 2u);
    EXPECT_EQ(dirDiff.ExcludeItem(1), "/n/readme");
    EXPECT_EQ(dirDiff.RemoveCount(), 1u);
    EXPECT_TRUE(dirDiff.IsExcluded("/n/App.dll"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/app.dll"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/App.dll/"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/App"));
    // An entry that names a folder (with or without a trailing '/') leaves out everything
    // below it, and nothing that merely begins with its name.
    dirDiff.AddExcludeFile("/n/.git");
    dirDiff.AddExcludeFile("/n/cache/");
    EXPECT_TRUE(dirDiff.IsExcluded("/n/.git/config"));
    EXPECT_TRUE(dirDiff.IsExcluded("/n/.git/objects/ab/cdef"));
    EXPECT_TRUE(dirDiff.IsExcluded("/n/cache/x.tmp"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/.gitignore"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/cache.txt"));
    EXPECT_FALSE(dirDiff.IsExcluded("/n/sub/.git/config"));

    EXPECT_EQ(dirDiff.ExcludeItem(4), "");
    EXPECT_EQ(dirDiff.RemoveItem(static_cast<size_t>(-1)), "");
    EXPECT_EQ(dirDiff.DiffItem(0), "");
    dirDiff.ClearExcludeList();
    EXPECT_FALSE(dirDiff.IsExcluded("/n/App.dll"));
    EXPECT_EQ(dirDiff.RemoveCount(), 1u);
}

TEST_F(DirDiffTest, ErrorEntriesStayWithinTheTable)
{
    dirDiff.ClearErrors();
    EXPECT_TRUE(dirDiff.ErrorEntries().empty());
    dirDiff.AddErrorEntry("first");
    dirDiff.AddErrorEntry(std::string(CDirDiff::kErrorTextSize - 1, 'x'));
    std::vector<std::string> entries = dirDiff.ErrorEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], "first");
    EXPECT_EQ(entries[1], std::string(CDirDiff::kErrorTextSize - 1, 'x'));

    // Entries past the 99th are dropped; the first ones stay.
    for (int i = 0; i < 1000; ++i)
        dirDiff.AddErrorEntry("more");
    EXPECT_EQ(dirDiff.ErrorEntries().size(), static_cast<size_t>(CDirDiff::kMaxErrors));
    EXPECT_TRUE(dirDiff.ErrorsFull());
    EXPECT_EQ(dirDiff.ErrorEntries()[0], "first");

    dirDiff.failure = 1;
    dirDiff.ClearErrors();
    EXPECT_EQ(dirDiff.ErrorCount(), 0u);
    EXPECT_EQ(dirDiff.failure, 0);
    EXPECT_FALSE(dirDiff.ErrorsFull());
}

} // namespace
