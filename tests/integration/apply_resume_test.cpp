// An apply that stops midway can always be finished: every file is at every moment
// entirely old or entirely new (a new file appears only complete, and nothing is
// emptied first), running the same patch again finishes the job and then makes the
// removals, and rebuild files an interrupted apply left are cleared away. What can be
// found before anything changes (a folder that cannot be written, a disk without
// room, something other than a file where a file goes) stops the apply in the
// verification.
#include "support/ApplyRun.h"
#include "support/CompactImage.h"
#include "support/RecordingProgress.h"
#include "support/SmallDisk.h"
#include "support/TextLines.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ApplyResume = CApplyRunTest;

using image::Changed;
using image::NewFile;

TEST_F(ApplyResume, InterruptedApplyIsFinishedByRunningItAgain)
{
    root.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}, {"target/gone.txt", "to be removed"}});
    run.Craft({Changed("a.txt", "old a", "new a!"), NewFile("sub\\n.txt", "new n"),
               Changed("b.txt", "old b", "new b!!")},
              {"gone.txt"});
    CRecordingApplyProgress progress;
    progress.CancelAtCheck(6); // before b.txt in the second pass
    run.prompt.Script(PromptAnswer::Yes);
    const auto before = SnapshotTree(run.target);
    ASSERT_EQ(run.Apply(0, "bak", &progress), -1);
    EXPECT_EQ(SnapshotTree(run.target), before); // stopped before the commit
    EXPECT_FALSE(fsys::PathExists(run.target + "/sub"));

    // An apply stopped in its commit after a.txt and sub/n.txt were put in place: they
    // hold their new files already and count as done.
    root.WriteAll({{"target/a.txt", "new a!"}, {"target/sub/n.txt", "new n"}});
    run.prompt.Clear();
    ASSERT_EQ(run.Apply(), 1) << (run.errors.empty() ? "" : run.errors[0]);
    EXPECT_TRUE(run.Texts().empty());
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "new a!"}, {"b.txt", "new b!!"}, {"sub/n.txt", "new n"}}));
}

TEST_F(ApplyResume, AFileAtANewFilesNameIsNotEmptiedWhenTheRebuildFails)
{
    root.Write("target/local.txt", "the user's file at a new file's name");
    image::Record over = NewFile("local.txt", "replacement");
    over.newSum += 1;
    run.Craft({NewFile("next.txt", "next one"), over});
    ASSERT_EQ(run.Apply(1), 0);
    EXPECT_TRUE(run.Texts().empty());
    EXPECT_EQ(run.errors.size(), 1u);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"local.txt", "the user's file at a new file's name"}}));
}

TEST_F(ApplyResume, LeftoverRebuildFilesOfAnInterruptedApplyAreRemoved)
{
    root.WriteAll({{"target/sub/a.txt", "old a"}, {"target/sub/.~dvp-rebuild-Ab12Cd", "left by a killed apply"},
                   {"target/.~dvp-rebuild-x9Y8z7", "left by a killed apply"}});
    // Not of the pattern, or in a folder the patch does not write to: kept.
    root.WriteAll({{"target/sub/.~dvp-rebuild-Ab12Cde", "keep"}, {"target/sub/.~dvp-rebuild-Ab.2Cd", "keep"},
                   {"target/sub/x.~dvp-rebuild-Ab12Cd", "keep"}, {"target/other/.~dvp-rebuild-Ab12Cd", "keep"}});
    run.Craft({Changed("sub\\a.txt", "old a", "new a"), NewFile("top.txt", "top")});
    ASSERT_EQ(run.Apply(), 1);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"sub/a.txt", "new a"},
                                              {"top.txt", "top"},
                                              {"sub/.~dvp-rebuild-Ab12Cde", "keep"},
                                              {"sub/.~dvp-rebuild-Ab.2Cd", "keep"},
                                              {"sub/x.~dvp-rebuild-Ab12Cd", "keep"},
                                              {"other/.~dvp-rebuild-Ab12Cd", "keep"}}));
}

TEST_F(ApplyResume, SomethingOtherThanAFileWhereAFileGoesIsRefused)
{
    root.Write("target/a.txt", "old a");
    ASSERT_EQ(mkfifo((run.target + "/pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((run.target + "/changed-pipe.txt").c_str(), 0644), 0);
    root.MakeFolder("target/folder.txt");
    run.Craft({Changed("a.txt", "old a", "new a"), NewFile("pipe.txt", "x"), NewFile("folder.txt", "y"),
               Changed("changed-pipe.txt", "old", "new")});
    alarm(60); // an apply that waits on the pipe ends the test
    EXPECT_EQ(run.Apply(), 0);
    alarm(0);
    const std::string text = "The following file cannot be updated, because it is not a regular file:\n";
    EXPECT_EQ(run.errors, (std::vector<std::string>{text + run.target + "/pipe.txt\n\n",
                                                    text + run.target + "/folder.txt\n\n",
                                                    text + run.target + "/changed-pipe.txt\n\n"}));
    EXPECT_EQ(ReadFileText(run.target + "/a.txt"), "old a");
}

TEST_F(ApplyResume, AnApplyRunningOnTheFolderKeepsASecondOneOut)
{
    // Two applies at once would each take the other's half-updated files for old ones,
    // and the second would clear away the first one's rebuild files as leftovers.
    root.Write("target/a.txt", "old a");
    run.Craft({Changed("a.txt", "old a", "new a"), NewFile("b.txt", "b")});
    int other = open(run.target.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0); // as a running apply holds it
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{"Another apply is changing the folder:\n" + run.target +
                                                   "\nRun this one again when it has finished.\n\n"});
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}}));
    close(other);
    ASSERT_EQ(run.Apply(), 1);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "new a"}, {"b.txt", "b"}}));
}

TEST_F(ApplyResume, FullDiskAndReadOnlyFolderAreFoundBeforeAnythingChanges)
{
    CSmallDisk disk(run.target);
    SKIP_WITHOUT_SMALL_DISK(disk);
    root.Write("target/a.txt", "old a");
    run.Craft({Changed("a.txt", "old a", "new a"), NewFile("big.bin", std::string(400 << 10, 'z'))});
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{
                              "There is not enough room on the disk for the files to be written in:\n" +
                              run.target + "\n\n"});
    EXPECT_FALSE(run.mismatchOnly);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}}));

    // An apply stopped on a nearly full disk after putting the large new file in place
    // is finished all the same: what is there already needs no room.
    const std::string large(150 << 10, 'y');
    run.Craft({Changed("a.txt", "old a", "new a"), NewFile("large.bin", large)});
    root.Write("target/large.bin", large);
    EXPECT_EQ(run.Apply(), 1) << (run.errors.empty() ? "" : run.errors[0]);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "new a"}, {"large.bin", large}}));

    root.Write("target/a.txt", "old a");
    fsys::DeleteFile(run.target + "/large.bin");
    run.Craft({Changed("a.txt", "old a", "new a"), NewFile("small.txt", "small")});
    ASSERT_TRUE(disk.MakeReadOnly()) << strerror(errno);
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{"The following folder cannot be written to:\n" + run.target +
                                                   "\n\n"});
    EXPECT_FALSE(run.mismatchOnly);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}}));
}

TEST_F(ApplyResume, ADiskFilledWhileNewFilesAreStagedChangesNothing)
{
    // Another program takes the last room on the disk after the verification: the new
    // files of a compact patch, written beside the rebuild, fail to be written, and the
    // apply says so and takes away everything it staged.
    CSmallDisk disk(run.target, "size=512k");
    SKIP_WITHOUT_SMALL_DISK(disk);
    root.Write("target/a.txt", "old a");
    std::vector<compact::Record> records = {compact::Changed("a.txt", "old a", "new a")};
    for (int i = 0; i < 40; ++i)
        records.push_back(compact::NewFile("sub\\f" + std::to_string(i), std::string(3000, char('a' + i % 26))));
    root.Write("update.dvp", compact::PatchFile(compact::Image(records)));
    run.patchFile = root / "update.dvp";
    const std::string filler = run.target + "/filler";
    CRecordingApplyProgress progress;
    progress.hookAt = 41 + 10; // the tenth new file of the changing pass
    progress.hook = [&filler] {
        const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string block(4096, 'x');
        while (fd >= 0 && write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size())) {
        }
        close(fd);
    };
    EXPECT_EQ(run.Apply(0, "bak", &progress), 0);
    ASSERT_EQ(run.Texts().size(), 1u);
    const std::string text = run.Texts()[0];
    EXPECT_EQ(text.rfind("Unable to write file:\n" + run.target + "/sub/.~dvp-rebuild-", 0), 0u) << text;
    EXPECT_TRUE(Contains(text, ".~dvp-rebuild-"));
    EXPECT_EQ(text.substr(text.find("\n\n")), "\n\nNothing was changed.") << text;
    fsys::DeleteFile(filler);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}}));
}

TEST_F(ApplyResume, FoldersAndInodesAreCountedInTheRoom)
{
    // A file system with few inodes: the files and folders an apply makes need them as
    // much as blocks.
    const std::string kNoRoom = "There is not enough room on the disk for the files to be written in:\n";
    CSmallDisk disk(run.target, "size=1m,nr_inodes=64");
    SKIP_WITHOUT_SMALL_DISK(disk);
    root.Write("target/a.txt", "old a");
    std::vector<image::Record> folders = {Changed("a.txt", "old a", "new a")};
    for (int i = 0; i < 40; ++i)
        folders.push_back(NewFile("d" + std::to_string(i) + "\\f.txt", "f"));
    run.Craft(folders);
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{kNoRoom + run.target + "\n\n"});
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}}));

    // Room for the files replaced one by one, not for all of them staged at once: the
    // user is asked; No changes nothing, Yes replaces them one by one.
    std::vector<image::Record> changed;
    Tree after;
    for (int i = 0; i < 50; ++i) {
        const std::string name = "f" + std::to_string(i);
        root.Write("target/" + name, "old " + name);
        changed.push_back(Changed(name, "old " + name, "new " + name));
        after[name] = "new " + name;
    }
    after["a.txt"] = "old a";
    run.Craft(changed);
    const auto before = SnapshotTree(run.target);
    run.prompt.Script(PromptAnswer::No);
    EXPECT_EQ(run.Apply(), 0);
    ASSERT_EQ(run.Texts().size(), 1u);
    EXPECT_TRUE(Contains(run.Texts()[0], "some files are new and some old until the patch is run again"));
    EXPECT_EQ(run.errors, std::vector<std::string>{"There is not enough room on the disk to prepare every file "
                                                   "before the files are replaced:\n" +
                                                   run.target + "\n\n"});
    EXPECT_EQ(SnapshotTree(run.target), before);
    run.prompt.Clear();
    run.prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(run.Apply(), 1) << (run.errors.empty() ? "" : run.errors[0]);
    EXPECT_EQ(SnapshotTree(run.target), after);

    // A compact patch replaced one by one checks the digest of its new tree by a rebuild
    // that writes nothing first: a target with two bytes swapped (same length and byte
    // sum) is refused before any file is replaced.
    std::vector<compact::Record> compactChanged;
    for (int i = 0; i < 50; ++i) {
        const std::string name = "f" + std::to_string(i);
        compactChanged.push_back(compact::Changed(name, "old " + name, "new " + name));
    }
    root.Write("update.dvp", compact::PatchFile(compact::Image(compactChanged)));
    run.patchFile = root / "update.dvp";
    for (int i = 0; i < 50; ++i)
        root.Write("target/f" + std::to_string(i), "old f" + std::to_string(i));
    root.Write("target/f49", "odl f49");
    const auto wrong = SnapshotTree(run.target);
    run.prompt.Clear();
    run.prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{"The files of the following folder do not come out as the patch "
                                                   "file says: a file differs from the one the patch was built "
                                                   "from, or the patch file is damaged:\n" +
                                                   run.target + "\n\n"});
    EXPECT_EQ(SnapshotTree(run.target), wrong);

    root.Write("target/f49", "old f49");
    run.prompt.Clear();
    run.prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(run.Apply(), 1) << (run.errors.empty() ? "" : run.errors[0]);
    EXPECT_EQ(SnapshotTree(run.target), after);
}

TEST_F(ApplyResume, AFileAnotherProgramWritesIsNotReplaced)
{
    root.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}});
    run.Craft({Changed("a.txt", "old a", "new a"), Changed("b.txt", "old b", "new b")});
    int writer = open((run.target + "/b.txt").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(run.Apply(), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{"The following file is open for writing in another program "
                                                   "(close the programs that use them and run the patch again):\n" +
                                                   run.target + "/b.txt\n\n"});
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "old a"}, {"b.txt", "old b"}}));
    close(writer);
    EXPECT_EQ(run.Apply(), 1);
    EXPECT_EQ(SnapshotTree(run.target), (Tree{{"a.txt", "new a"}, {"b.txt", "new b"}}));
}

} // namespace
