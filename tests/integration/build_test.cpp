// Whole builds from folder trees made by the test: the folder checks, the per-file loop
// with its status texts and cancel question, and the finished patch file read back
// header byte by header byte and record by record.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "jobs/BuildJob.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/ScriptedPrompt.h"
#include "support/PatchObjects.h"
#include "support/RecordingProgress.h"
#include "support/ShownPrompt.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint32_t U32(const std::vector<unsigned char>& b, size_t at) { return GetU32(b.data() + at); }
uint16_t U16(const std::vector<unsigned char>& b, size_t at) { return GetU16(b.data() + at); }

struct CReadRecord {
    uint32_t newFileFlag, oldLength, newLength, oldByteSum, newByteSum;
    std::vector<COldPatch> olds;
    std::vector<CNewPatch> news;
};

class BuildTest : public testing::Test {
protected:
    CTestFolder dir;
    std::string oldFolder = dir.MakeFolder("old");
    std::string newFolder = dir.MakeFolder("new");
    std::string patch = dir.MakeFolder("out") + "/update.dvp";
    CScriptedPrompt prompt;
    CAppCore core{&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp")};
    CDirDiff dirDiff{core};
    CRecordingBuildProgress progress;
    std::string message;

    // One build job, as every front end runs it: 1 when the build driver went through
    // (expectFinished: and a patch file was made), 0 when it failed (message says why),
    // -1 when it was cancelled.
    int Build(bool expectFinished = true)
    {
        CBuildJob job(core, dirDiff, {oldFolder, newFolder, patch, "", false});
        const CBuildOutcome outcome = job.Run(&progress);
        using Kind = CBuildOutcome::Kind;
        EXPECT_NE(outcome.kind, Kind::Refused) << outcome.refusal.text;
        EXPECT_EQ(outcome.message.rfind("Error creating Delvorin file!", 0), std::string::npos) << outcome.message;
        message = outcome.message;
        if (outcome.kind == Kind::Cancelled)
            return -1;
        if (outcome.kind == Kind::Failed && !outcome.reported)
            return 0;
        EXPECT_EQ(outcome.kind == Kind::Built, expectFinished);
        return 1;
    }

    // The records of the finished patch, by name; image receives the decompressed image.
    std::map<std::string, CReadRecord> ReadBack(std::vector<unsigned char>& image)
    {
        std::map<std::string, CReadRecord> out;
        CDirDiff reader(core);
        CPatchDoc doc(core, reader, patch);
        EXPECT_TRUE(doc.ReadPatchHeader());
        image = ReadFileBytes(doc.WorkFileName());
        for (unsigned i = 0; i < core.image.fileCount; ++i) {
            CFilePatch r(core);
            EXPECT_TRUE(r.ReadWrite(false));
            out[r.name] = {r.newFileFlag, r.oldLength, r.newLength, r.oldByteSum, r.newByteSum, r.oldPatches, r.newPatches};
        }
        // The strong checks of every record follow the last one, and nothing else.
        EXPECT_TRUE(reader.patchChecks.present);
        EXPECT_EQ(reader.patchChecks.records.size(), core.image.fileCount);
        EXPECT_EQ(core.image.file.Tell(), reader.patchChecks.start);
        doc.ClosePatchFile();
        return out;
    }

    // What the differencing makes of one pair on its own.
    CReadRecord Expected(const std::string& relative)
    {
        CAppCore quiet;
        CFilePatch r(quiet);
        EXPECT_EQ(r.CreatePatch(oldFolder + "/" + relative, newFolder + "/" + relative, newFolder, nullptr), 1);
        return {r.newFileFlag, r.oldLength, r.newLength, r.oldByteSum, r.newByteSum, r.oldPatches, r.newPatches};
    }
};

void ExpectSameRecord(const CReadRecord& got, const CReadRecord& want, const std::string& name)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(got.newFileFlag, want.newFileFlag);
    EXPECT_EQ(got.oldLength, want.oldLength);
    EXPECT_EQ(got.newLength, want.newLength);
    EXPECT_EQ(got.oldByteSum, want.oldByteSum);
    EXPECT_EQ(got.newByteSum, want.newByteSum);
    EXPECT_EQ(Of(got.olds), Of(want.olds));
    EXPECT_EQ(Of(got.news), Of(want.news));
}

TEST_F(BuildTest, MixedTreeGivesOneRecordPerNewOrChangedFile)
{
    std::vector<unsigned char> base = RandomBytes(200000, 1);
    std::vector<unsigned char> changed = base;
    for (size_t i = 50000; i < 50100; ++i)
        changed[i] ^= 0x5a;
    changed.insert(changed.begin() + 150000, 777, 'x');
    dir.WriteBytesPair("changed.bin", base, changed);
    dir.WritePair("same.txt", "unchanged content\n", "unchanged content\n");
    PinTimes(oldFolder + "/same.txt", 1600000000);
    PinTimes(newFolder + "/same.txt", 1600000000);
    dir.WritePair("touched.txt", "same bytes, other times\n", "same bytes, other times\n");
    PinTimes(oldFolder + "/touched.txt", 1600000000);
    PinTimes(newFolder + "/touched.txt", 1700000000);
    dir.WriteAll({{"new/sub/deep/er/new.dat", "brand new"}, {"new/empty.txt", ""}, {"new/excluded.txt", "left out"},
                  {"new/.htaccess", "a file like any other"}, {"new/.hiddendir/inside.txt", "collected"},
                  {"new/.git/config", "left out with its folder"}, {"old/gone.txt", "to be removed"}});
    dirDiff.AddExcludeFile(newFolder + "/excluded.txt");
    dirDiff.AddExcludeFile(newFolder + "/.git");
    dirDiff.AddRemoveFile(oldFolder + "/gone.txt");
    core.settings.defaultFolder = oldFolder;
    core.userName = "Publisher";

    ASSERT_EQ(Build(), 1);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(dirDiff.DiffCount(), 0u);
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));
    EXPECT_EQ(core.image.fileCount, 6);

    // Every collected file but the excluded ones got its status line, numbered among 9.
    const std::vector<std::string> statuses = progress.Statuses("Creating patch for file ");
    ASSERT_EQ(statuses.size(), 7u);
    for (const auto& s : statuses)
        EXPECT_EQ(s.substr(s.size() - 6), " of 9.");
    std::vector<std::string> names = progress.Texts("file");
    EXPECT_EQ(std::count(names.begin(), names.end(), "excluded.txt"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "new.dat"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), ".htaccess"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "config"), 0);

    std::vector<unsigned char> image;
    std::map<std::string, CReadRecord> records = ReadBack(image);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records.count("same.txt"), 0u);
    EXPECT_EQ(records.count("excluded.txt"), 0u);
    for (const char* name :
         {"changed.bin", "touched.txt", "sub/deep/er/new.dat", "empty.txt", ".hiddendir/inside.txt", ".htaccess"}) {
        ASSERT_EQ(records.count(name), 1u) << name;
        ExpectSameRecord(records[name], Expected(name), name);
    }
    EXPECT_EQ(records["sub/deep/er/new.dat"].newFileFlag, 1u);
    EXPECT_EQ(records["empty.txt"].newFileFlag, 1u);
    EXPECT_EQ(records["empty.txt"].newLength, 0u);
    EXPECT_EQ(records["touched.txt"].newFileFlag, 0u);
    EXPECT_TRUE(records["touched.txt"].olds.empty() && records["touched.txt"].news.empty());
    EXPECT_FALSE(records["changed.bin"].olds.empty());

    // The header of the image: one remove entry stored relative to the default folder.
    ASSERT_GE(image.size(), 992u);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 24), std::string("Delvorin_Version1abc.13\0", 24));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()) + 68), "Publisher");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()) + 204), oldFolder);
    EXPECT_EQ(U16(image, 724), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()) + 726), "gone.txt");
    EXPECT_EQ(U16(image, 986), 6);
    EXPECT_EQ(U32(image, 988), 992u);
    EXPECT_EQ(std::string(image.begin() + 992, image.begin() + 997), std::string("file\0", 5));
}

TEST_F(BuildTest, StatusLinesSkipExcludedFilesAndBarsFollowTheIndex)
{
    dir.WriteAll({{"new/a.txt", "a"}, {"new/b.txt", "b"}, {"new/c.txt", "c"}});
    // The walk's order decides which is second: exclude whatever it puts there.
    ASSERT_TRUE(dirDiff.CollectFiles(newFolder, nullptr));
    ASSERT_EQ(dirDiff.DiffCount(), 3u);
    std::string second = dirDiff.DiffItem(1);
    dirDiff.AddExcludeFile(second);

    ASSERT_EQ(Build(), 1);
    EXPECT_EQ(progress.Statuses("Creating"),
              (std::vector<std::string>{"Creating patch for file 1 of 3.", "Creating patch for file 3 of 3."}));
    EXPECT_EQ(progress.Values("overall"), (std::vector<int>{0, 66}));
    EXPECT_EQ(core.image.fileCount, 2);
    std::vector<std::string> names = progress.Texts("file");
    EXPECT_EQ(std::count(names.begin(), names.end(), LastComponent(second)), 0);
}

TEST_F(BuildTest, FolderChecks)
{
    auto check = [&](const std::string& o, const std::string& n) {
        message.clear();
        EXPECT_EQ(dirDiff.BuildPatch(o, n, message, &progress), 0);
        return message;
    };
    EXPECT_EQ(check("", newFolder), "You must specify two folders to build a patch file.");
    EXPECT_EQ(check(oldFolder, ""), "You must specify two folders to build a patch file.");
    EXPECT_EQ(check(oldFolder, oldFolder + "/"),
              "You must specify different folder names for the old files folder\nand the new files folder to build a "
              "patch file.");
    EXPECT_EQ(check(dir / "nothing", newFolder), "The folder for the old files does not exist.");
    EXPECT_EQ(check(oldFolder, dir / "nothing"), "The folder for the new files does not exist.");
    // Letter case makes a difference: these are two folders.
    dir.MakeFolder("OLD");
    EXPECT_EQ(check(dir / "OLD", dir / "nothing"), "The folder for the new files does not exist.");
    EXPECT_TRUE(prompt.Shown().empty());

    // A file to remove that the new folder has (and the build does not leave out) would
    // be taken from every updated folder that needs it.
    dir.WritePair("sub/keep.txt", "same", "same");
    dir.WriteAll({{"old/gone.txt", "old"}, {"new/added.txt", "new"}, {"new/skipped.txt", "left out of the build"}});
    dirDiff.AddExcludeFile(newFolder + "/skipped.txt");
    core.settings.oldFolder = oldFolder;
    dirDiff.AddRemoveFile(oldFolder + "/gone.txt");
    dirDiff.AddRemoveFile("skipped.txt");
    EXPECT_EQ(Build(), 1) << message;
    dirDiff.AddRemoveFile(oldFolder + "/sub/keep.txt");
    EXPECT_EQ(Build(), 0);
    EXPECT_EQ(message, "The following file to remove is also in the new files folder:\n" +
                                               oldFolder + "/sub/keep.txt\nThe apply would take it from the "
                                               "updated folder. Take it off the list of files to remove.");
}

TEST_F(BuildTest, BuildForWindowsWarnsAboutUnfitNamesAndRefusesCaseTwins)
{
    dir.WritePair("a.txt", "old", "new");
    dir.WriteAll({{"new/aux.log", "device name"}, {"new/Readme", "one"}, {"new/README", "two"}});
    core.settings.selfExtract = 1;
    // For Linux nothing is said.
    EXPECT_EQ(Build(), 1) << message;
    EXPECT_TRUE(prompt.Shown().empty());

    core.settings.forWindows = 1;
    fsys::DeleteFile(patch);
    EXPECT_EQ(Build(), 0);
    EXPECT_TRUE(message.find("Readme  and  README") != std::string::npos ||
                message.find("README  and  Readme") != std::string::npos) // in the order of the walk
        << message;
    EXPECT_TRUE(Contains(message, "No Delvorin file was created."));
    EXPECT_FALSE(fsys::FileExists(patch));

    // With one of the twins left out the build goes on after the warning.
    dirDiff.AddExcludeFile(newFolder + "/README");
    EXPECT_EQ(Build(), 1) << message;
    EXPECT_TRUE(ShowedOnly(prompt, {"These names in the new files folder cannot be created on Windows:\n"
                                    "    aux.log  (a name Windows keeps for a device)\n"
                                    "The Windows apply program will refuse this patch until they are renamed or "
                                    "excluded.",
                                    "Delvorin Warning"}));
}

TEST_F(BuildTest, TrailingSeparatorsAndRepeatedBuilds)
{
    dir.WritePair("a.txt", "version one", "version two");
    oldFolder += "/";
    newFolder += "//";
    ASSERT_EQ(Build(), 1);
    EXPECT_EQ(dirDiff.oldFolder, dir / "old");
    EXPECT_EQ(dirDiff.newFolder, dir / "new");
    std::vector<unsigned char> image;
    auto first = ReadBack(image);
    ASSERT_EQ(first.count("a.txt"), 1u);
    EXPECT_EQ(first["a.txt"].newFileFlag, 0u); // paired with old/a.txt

    // A second build walks afresh and holds only its own files.
    newFolder = dir.MakeFolder("new2");
    dir.Write("new2/b.txt", "other");
    progress = CRecordingBuildProgress();
    ASSERT_EQ(Build(), 1);
    auto second = ReadBack(image);
    EXPECT_EQ(second.size(), 1u);
    EXPECT_EQ(second.count("b.txt"), 1u);
}

TEST_F(BuildTest, CancelAnsweredYesStopsAndNoGoesOn)
{
    dir.WriteAll({{"new/a.txt", "a"}, {"new/b.txt", "b"}});
    progress.CancelAtCheck(1);
    prompt.Script(PromptAnswer::Yes);
    EXPECT_EQ(Build(), -1);
    ASSERT_TRUE(ShowedOnly(prompt, {kBuildCancelText, "Delvorin Warning", PromptButtons::YesNo,
                                    PromptOwner::ProgressDialog}));
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));
    EXPECT_FALSE(fsys::PathExists(patch));

    prompt.Clear();
    progress = CRecordingBuildProgress();
    progress.CancelAtCheck(1);
    prompt.Script(PromptAnswer::No);
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(core.image.fileCount, 2);
    EXPECT_TRUE(fsys::PathExists(patch));
}

TEST_F(BuildTest, NothingToRecordLeavesNoPatchFile)
{
    dir.Write("new/only.txt", "excluded");
    dirDiff.AddExcludeFile(newFolder + "/only.txt");
    ASSERT_EQ(Build(false), 1);
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].text,
              "The old file folder and the new file folder are identical.\nNo Delvorin file was created.");
    EXPECT_FALSE(fsys::PathExists(patch));
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));
    EXPECT_TRUE(progress.Statuses().empty() ||
                progress.Statuses().back().rfind("Creating", 0) != 0); // no status for the excluded file
}

TEST_F(BuildTest, MoreRecordsThanTheCountCanHoldAreRefused)
{
    dir.Write("new/a.txt", "new file");
    CPatchDoc doc(core, dirDiff, patch);
    ASSERT_TRUE(doc.WritePatchHeader());
    core.image.fileCount = 65535; // as if 65535 records had been written already
    EXPECT_EQ(dirDiff.BuildPatch(oldFolder, newFolder, message, &progress), 0);
    EXPECT_TRUE(Contains(message, "65535"));
    EXPECT_EQ(core.image.fileCount, 65535);
    doc.AbandonPatchFile();
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));
}

TEST_F(BuildTest, UnreadableFilesAndFolders)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: every file can be read";
    dir.Write("new/locked.txt", "secret");
    chmod((newFolder + "/locked.txt").c_str(), 0);
    EXPECT_EQ(Build(), 0);
    EXPECT_EQ(message, "An error occurred while building the patch file.\n\nFor more information refer to the online "
                       "help file or contact Quenmark Technical support.");
    ASSERT_FALSE(prompt.Shown().empty());
    EXPECT_EQ(prompt.Shown()[0].text, "Unable to open file:\n" + newFolder + "/locked.txt");
    EXPECT_FALSE(fsys::PathExists(dir / "out/update.~dvp"));

    fsys::DeleteFile(newFolder + "/locked.txt");
    dir.MakeFolder("new/closed");
    chmod((newFolder + "/closed").c_str(), 0);
    EXPECT_EQ(Build(), 0);
    EXPECT_EQ(message, "An error occurred while building the list of files to patch.\n\nFor more information check the "
                       "online help file or contact Quenmark Technical Support.");
}


TEST_F(BuildTest, NamedPipeInTheOldFolderMakesTheFileANewOne)
{
    // The old tree holds a named pipe where the new tree has a file: nothing waits for a
    // writer on the pipe, and the file is recorded as a new one, whether the build reads
    // it ahead among many files or on its own.
    for (int files : {1, 40}) {
        SCOPED_TRACE(files);
        for (int i = 0; i < files; ++i)
            dir.Write("new/f" + std::to_string(i), "content " + std::to_string(i));
        ASSERT_EQ(mkfifo((oldFolder + "/f0").c_str(), 0600), 0);
        ASSERT_EQ(Build(), 1);
        std::vector<unsigned char> image;
        std::map<std::string, CReadRecord> records = ReadBack(image);
        ASSERT_EQ(records.size(), static_cast<size_t>(files));
        EXPECT_EQ(records["f0"].newFileFlag, 1u);
        EXPECT_EQ(records["f0"].newLength, 9u);
        fsys::DeleteFile(oldFolder + "/f0");
    }
}


TEST_F(BuildTest, ExcludedFilesAfterTheLastRecordLeaveTheListToTheEnd)
{
    // All files but one are excluded: the read-ahead passes over the excluded ones after
    // the build has taken its last file, and must be done with the list of files before
    // the build clears it. Repeated, since that is a matter of timing.
    for (int i = 0; i < 300; ++i)
        dir.Write("new/f" + std::to_string(i), "content " + std::to_string(i));
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        dirDiff.ClearExcludeList();
        for (int i = 0; i < 300; ++i)
            if (i != 150)
                dirDiff.AddExcludeFile(newFolder + "/f" + std::to_string(i));
        ASSERT_EQ(Build(), 1);
        EXPECT_EQ(dirDiff.DiffCount(), 0u);
        EXPECT_EQ(core.image.fileCount, 1);
    }
}

} // namespace
