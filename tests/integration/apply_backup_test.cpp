// Backups of an apply: a backup never takes the place of a file that is already there,
// two files that map to one backup name both keep theirs, and only files that exist
// before the apply are backed up. Where each backup went is told in the log and in
// the apply's list of backups.
#include "support/ApplyRun.h"
#include "support/TextLines.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using ApplyBackup = CApplyRunTest;

using image::Changed;
using image::NewFile;

TEST_F(ApplyBackup, NeverOverwritesAnExistingFileAndKeepsEveryBackup)
{
    root.WriteAll({{"target/app.cfg", "old cfg"}, {"target/app.bak", "the user's own file"},
                   {"target/prog.exe", "old exe"}, {"target/prog.dll", "old dll"},
                   {"target/note.bak", "another file of the user"},
                   {"target/local.txt", "a local file in the way of a new one"}});
    run.Craft({Changed("app.cfg", "old cfg", "new cfg"), Changed("prog.exe", "old exe", "new exe!"),
               Changed("prog.dll", "old dll", "new dll!!"), NewFile("note.txt", "a new note"),
               NewFile("local.txt", "the new local")});
    run.logFile = root / "log.txt";

    ASSERT_EQ(run.Apply(1, "bak"), 1);
    EXPECT_TRUE(run.Texts().empty());
    auto tree = SnapshotTree(run.target);
    EXPECT_EQ(tree["app.bak"], "the user's own file");
    EXPECT_EQ(tree["note.bak"], "another file of the user");
    EXPECT_EQ(tree["note.txt"], "a new note");
    EXPECT_EQ(tree["local.txt"], "the new local");

    // Every file that existed has exactly one backup, under a name that was free, and
    // the apply says where each went. note.txt did not exist: it has none.
    Tree expected = {{"app.cfg", "old cfg"},
                     {"prog.exe", "old exe"},
                     {"prog.dll", "old dll"},
                     {"local.txt", "a local file in the way of a new one"}};
    ASSERT_EQ(run.backups.size(), expected.size());
    const std::string log = ReadFileText(run.logFile);
    for (const auto& [file, backup] : run.backups) {
        const std::string name = file.substr(run.target.size() + 1);
        ASSERT_EQ(expected.count(name), 1u) << file;
        EXPECT_EQ(ReadFileText(backup), expected[name]) << backup;
        EXPECT_EQ(fsys::FolderOf(backup), run.target);
        EXPECT_TRUE(Contains(log, "Backup of " + file + ": " + backup));
    }
    EXPECT_EQ(tree.size(), 7u + 4u); // the five targets, the user's two .bak files, four backups
    EXPECT_EQ(tree["app.1.bak"], "old cfg");
    EXPECT_EQ(tree["prog.bak"], "old exe");
    EXPECT_EQ(tree["prog.1.bak"], "old dll");
}

TEST_F(ApplyBackup, NewFilesThatDidNotExistGetNoBackup)
{
    root.Write("target/fresh.bak", "keep me");
    run.Craft({NewFile("fresh.txt", "fresh"), NewFile("sub\\deeper.txt", "deeper")});
    ASSERT_EQ(run.Apply(1, "bak"), 1);
    EXPECT_TRUE(run.backups.empty());
    auto tree = SnapshotTree(run.target);
    EXPECT_EQ(tree, (Tree{{"fresh.bak", "keep me"}, {"fresh.txt", "fresh"}, {"sub/deeper.txt", "deeper"}}));
}

TEST_F(ApplyBackup, AnExtensionThatWouldLeadIntoAnotherFolderIsRefusedFirst)
{
    // The Apply page and the Wizard take the extension as typed.
    root.WriteAll({{"target/a.txt", "old a"}, {"target/b.txt", "old b"}});
    run.Craft({Changed("a.txt", "old a", "new a"), Changed("b.txt", "old b", "new b")});
    EXPECT_EQ(run.Apply(1, "x/../../y"), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{"The backup file extension must not hold a \"/\":\nx/../../y\n\n"});
    EXPECT_EQ(SnapshotTree(root.Path() + "/target"), (Tree{{"a.txt", "old a"}, {"b.txt", "old b"}}));
}

TEST_F(ApplyBackup, BackupNamesTooLongForTheFileSystemAreFoundFirst)
{
    // A long file name whose plain backup name is taken gets the number: 256 bytes. A
    // long extension makes every backup name too long.
    const std::string stem(250, 'n');
    root.Write("target/a.txt", "old a");
    root.Write("target/" + stem + ".txt", "old long");
    root.Write("target/" + stem + ".bak", "the user's own file");
    run.Craft({Changed("a.txt", "old a", "new a"), Changed(stem + ".txt", "old long", "new long")});
    const auto before = SnapshotTree(run.target);
    const std::string tooLong = "The following name is longer than the file system holds:\n";
    EXPECT_EQ(run.Apply(1, "bak"), 0);
    EXPECT_EQ(run.errors, std::vector<std::string>{tooLong + run.target + "/" + stem + ".1.bak\n\n"});
    EXPECT_EQ(run.Apply(1, std::string(254, 'x')), 0);
    EXPECT_EQ(run.errors.size(), 2u);
    EXPECT_EQ(run.errors[0], tooLong + run.target + "/a." + std::string(254, 'x') + "\n\n");
    EXPECT_EQ(SnapshotTree(run.target), before);
}

TEST_F(ApplyBackup, RemovedFilesAreKeptAndFilesThatOnlyGetTimesAreNot)
{
    root.WriteAll({{"target/gone.txt", "removed by the patch"}, {"target/gone.bak", "the user's own file"},
                   {"target/same.txt", "same"}});
    image::Record timesOnly = Changed("same.txt", "same", "same");
    timesOnly.news.clear();
    timesOnly.lastWrite = 130000000000000000ULL;
    run.Craft({timesOnly}, {"gone.txt"});
    ASSERT_EQ(run.Apply(1, "bak"), 1);
    EXPECT_EQ(SnapshotTree(run.target),
              (Tree{{"gone.bak", "the user's own file"}, {"gone.1.bak", "removed by the patch"}, {"same.txt", "same"}}));
    EXPECT_EQ(run.backups, (std::vector<std::pair<std::string, std::string>>{
                               {run.target + "/gone.txt", run.target + "/gone.1.bak"}}));
}

} // namespace
