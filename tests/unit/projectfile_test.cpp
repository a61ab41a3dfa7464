// Project files: saving, reading back with the reading rules, and what Open and Clear
// Project do to the settings record and the engine's two lists.
#include "app/AppCore.h"
#include "jobs/BuildProject.h"
#include "engine/common/CDirDiff.h"
#include "platform/ScriptedPrompt.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

CProjectData SampleProject()
{
    CProjectData p;
    p.patchFile = "/out/update.dvp";
    p.splitSize = 1440;
    p.selfExtract = false;
    p.defaultEqualsNew = true;
    p.dialogText = "Welcome to the update.";
    p.oldFolder = "/rel/1.0";
    p.newFolder = "/rel/1.1";
    p.defaultFolder = "/opt/app";
    p.removeList = {"/rel/1.0/old.dll", "/rel/1.0/sub/gone.txt"};
    p.excludeList = {"/rel/1.1/secret.key"};
    return p;
}

// Every test has a scratch folder and a project to read into.
class ProjectFile : public testing::Test {
protected:
    void ReadBack(const std::string& text) { EXPECT_TRUE(ReadProjectFile(dir.Write("p.dvj", text), p)); }
    CTestFolder dir;
    CProjectData p;
};

struct CEngine {
    CScriptedPrompt prompts;
    CAppCore core{&prompts, "/nonexistent-program-folder", "/tmp/"};
    CDirDiff dirDiff{core};
};

} // namespace

TEST_F(ProjectFile, SavedProjectHasTheSectionsAndKeysInOrder)
{
    std::string path = dir / "build1.dvj";
    dir.Write("build1.dvj", "[Old]\nleft=over\n"); // an existing file is replaced whole
    ASSERT_TRUE(WriteProjectFile(path, SampleProject()));
    EXPECT_EQ(SplitLines(ReadFileText(path)), (std::vector<std::string>{
                                             "[Delvorin]",
                                             "DefaultEqualsNew=true",
                                             "PatchFile=/out/update.dvp",
                                             "SelfExtract=false",
                                             "DialogText=Welcome to the update.",
                                             "OldFolder=/rel/1.0",
                                             "NewFolder=/rel/1.1",
                                             "DefaultFolder=/opt/app",
                                             "NumberOfNamesToExclude=1",
                                             "NumberOfNamesToDelete=2",
                                             "SplitSize=1440",
                                             "[DelvorinFilesToDelete]",
                                             "FileNameToDelete0=/rel/1.0/old.dll",
                                             "FileNameToDelete1=/rel/1.0/sub/gone.txt",
                                             "[DelvorinFilesToExclude]",
                                             "FileNameToExclude0=/rel/1.1/secret.key",
                                         }));

    // Read back and saved again, the project comes out the same.
    CProjectData back;
    ASSERT_TRUE(ReadProjectFile(path, back));
    EXPECT_TRUE(back.overlongKeys.empty());
    ASSERT_TRUE(WriteProjectFile(dir / "again.dvj", back));
    EXPECT_EQ(ReadFileText(dir / "again.dvj"), ReadFileText(path));
}

TEST_F(ProjectFile, EmptyListsGiveOnlyTheMainSection)
{
    p.selfExtract = true;
    p.defaultEqualsNew = false;
    std::string path = dir / "empty.dvj";
    ASSERT_TRUE(WriteProjectFile(path, p));
    EXPECT_EQ(SplitLines(ReadFileText(path)),
              (std::vector<std::string>{"[Delvorin]", "DefaultEqualsNew=false", "PatchFile=", "SelfExtract=true",
                                        "DialogText=", "OldFolder=", "NewFolder=", "DefaultFolder=",
                                        "NumberOfNamesToExclude=0", "NumberOfNamesToDelete=0", "SplitSize=0"}));
}

TEST_F(ProjectFile, PathGetsTheExtensionOnlyWhenItHoldsNoDot)
{
    EXPECT_EQ(ProjectPathWithExtension("/home/pub/proj/build1"), "/home/pub/proj/build1.dvj");
    EXPECT_EQ(ProjectPathWithExtension("/proj.old/build1"), "/proj.old/build1");
    EXPECT_EQ(ProjectPathWithExtension("/proj/build1.dvj"), "/proj/build1.dvj");
    EXPECT_EQ(ProjectPathWithExtension("/proj/build1.txt"), "/proj/build1.txt");
}

TEST_F(ProjectFile, FlagsAreOnUnlessExactlyFalseAndSplitSizeKeeps16Bits)
{
    ReadBack("[Delvorin]\nSelfExtract=False\nDefaultEqualsNew=false\nSplitSize=66256\n");
    EXPECT_TRUE(p.selfExtract); // only the exact word "false" turns a flag off
    EXPECT_FALSE(p.defaultEqualsNew);
    EXPECT_EQ(p.splitSize, 720); // 65536 + 720
    ReadBack("[Delvorin]\nSplitSize=0x5A0\n");
    EXPECT_TRUE(p.selfExtract); // a missing key turns a flag on
    EXPECT_TRUE(p.defaultEqualsNew);
    EXPECT_EQ(p.splitSize, 1440);
}

TEST_F(ProjectFile, ThoroughAndCompactAreWrittenOnlyWhenOnAndOnlyTheirExactValuesTurnThemOn)
{
    p = SampleProject();
    p.thorough = true;
    p.compact = true;
    p.forWindows = true;
    std::string path = dir / "thorough.dvj";
    ASSERT_TRUE(WriteProjectFile(path, p));
    std::vector<std::string> lines = SplitLines(ReadFileText(path));
    ASSERT_GT(lines.size(), 13u);
    EXPECT_EQ(lines[11], "Thorough=true"); // after SplitSize, in section "Delvorin"
    EXPECT_EQ(lines[12], "PatchFormat=compact");
    EXPECT_EQ(lines[13], "SelfExtractFor=windows");

    CEngine e;
    CProjectData page;
    ASSERT_TRUE(OpenProject(path, e.core.settings, e.dirDiff, page));
    EXPECT_EQ(e.core.settings.thorough, 1);
    EXPECT_EQ(e.core.settings.compact, 1);
    EXPECT_EQ(e.core.settings.forWindows, 1);
    CProjectData save = ProjectFromSettings(e.core.settings, e.dirDiff);
    save.oldFolder = page.oldFolder;
    ASSERT_TRUE(WriteProjectFile(dir / "again.dvj", save));
    EXPECT_EQ(ReadFileText(dir / "again.dvj"), ReadFileText(path));

    // A project without the key, or with any other value, builds as before.
    ASSERT_TRUE(WriteProjectFile(path, SampleProject()));
    ASSERT_TRUE(OpenProject(path, e.core.settings, e.dirDiff, page));
    EXPECT_EQ(e.core.settings.thorough, 0);
    EXPECT_EQ(e.core.settings.compact, 0);
    EXPECT_EQ(e.core.settings.forWindows, 0);
    for (const char* value : {"True", "1", "yes", "", "Windows"}) {
        ReadBack(std::string("[Delvorin]\nThorough=") + value + "\nPatchFormat=" + value + "\nSelfExtractFor=" + value +
                 "\n");
        EXPECT_FALSE(p.thorough) << value;
        EXPECT_FALSE(p.compact) << value;
        EXPECT_FALSE(p.forWindows) << value;
    }
    e.core.settings.thorough = 1;
    ClearBuildPageProject(e.core.settings, e.dirDiff);
    EXPECT_EQ(e.core.settings.thorough, 0);
}

TEST_F(ProjectFile, CountsDecideHowManyEntriesAreRead)
{
    // More entries counted than present: one empty name, however many are missing.
    ReadBack("[Delvorin]\nNumberOfNamesToDelete=5\nNumberOfNamesToExclude=1\n"
             "[DelvorinFilesToDelete]\nFileNameToDelete0=/o/a\nFileNameToDelete2=/o/c\n"
             "[DelvorinFilesToExclude]\nFileNameToExclude0=/n/x\nFileNameToExclude1=/n/not-counted\n");
    EXPECT_EQ(p.removeList, (std::vector<std::string>{"/o/a", "", "/o/c"}));
    EXPECT_EQ(p.excludeList, (std::vector<std::string>{"/n/x"}));

    // The same path twice in one list is kept once; key names ignore letter case, and an
    // index written with a leading zero names no entry.
    ReadBack("[Delvorin]\nNumberOfNamesToExclude=3\n"
             "[DelvorinFilesToExclude]\nFileNameToExclude0=/n/x\nfilenametoexclude1=/n/x\nFileNameToExclude02=/n/z\n");
    EXPECT_EQ(p.excludeList, (std::vector<std::string>{"/n/x", ""}));

    // A huge count in a damaged file does not make the reading crawl through it.
    auto start = std::chrono::steady_clock::now();
    ReadBack("[Delvorin]\nNumberOfNamesToDelete=4294967295\n[DelvorinFilesToDelete]\nFileNameToDelete1=/o/b\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(p.removeList, (std::vector<std::string>{"", "/o/b"}));
}

TEST_F(ProjectFile, DialogTextWithALineBreakIsCutAtTheBreak)
{
    p = SampleProject();
    p.dialogText = "Line one\nLine two";
    std::string path = dir / "text.dvj";
    ASSERT_TRUE(WriteProjectFile(path, p));
    std::vector<std::string> lines = SplitLines(ReadFileText(path));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[4], "DialogText=Line one");
    EXPECT_EQ(lines[5], "Line two");
    EXPECT_EQ(lines[6], "OldFolder=/rel/1.0");
    CProjectData back;
    ASSERT_TRUE(ReadProjectFile(path, back));
    EXPECT_EQ(back.dialogText, "Line one");
    EXPECT_EQ(back.oldFolder, "/rel/1.0");
    EXPECT_EQ(back.removeList, p.removeList);
}

TEST_F(ProjectFile, LongValues)
{
    std::string text(300, 't');
    text[253] = 'E';
    std::string longPath = "/" + std::string(299, 'p');
    ReadBack("[Delvorin]\nDialogText=" + text + "\nOldFolder=" + longPath + "\nNewFolder=/n\nNumberOfNamesToDelete=2\n" +
                 "[DelvorinFilesToDelete]\nFileNameToDelete0=" + longPath + "/x\nFileNameToDelete1=/o/b\n");
    EXPECT_EQ(p.dialogText, text.substr(0, 254)); // display text: cut to the buffer
    EXPECT_EQ(p.dialogText.back(), 'E');
    // A path cut short would name another file or folder: it reads as empty instead.
    EXPECT_EQ(p.oldFolder, "");
    EXPECT_EQ(p.newFolder, "/n");
    EXPECT_EQ(p.removeList, (std::vector<std::string>{"", "/o/b"}));
    EXPECT_EQ(p.overlongKeys, (std::vector<std::string>{"OldFolder", "FileNameToDelete0"}));
}

TEST_F(ProjectFile, OpenProjectFillsTheSettingsAndReplacesBothLists)
{
    std::string path = dir / "open.dvj";
    ASSERT_TRUE(WriteProjectFile(path, SampleProject()));

    CEngine e;
    CSettings& s = e.core.settings;
    s.oldFolder = "/kept/old";
    s.logFile = 1;
    s.applyFolder = "/apply";
    s.defaultEqualsNew = 0;
    e.dirDiff.AddRemoveFile("/stale/remove");
    e.dirDiff.AddExcludeFile("/stale/exclude");

    CProjectData page;
    ASSERT_TRUE(OpenProject(path, s, e.dirDiff, page));
    EXPECT_EQ(s.patchFile, "/out/update.dvp");
    EXPECT_EQ(s.splitSize, 1440);
    EXPECT_EQ(s.selfExtract, 0);
    EXPECT_EQ(s.defaultEqualsNew, 1);
    EXPECT_EQ(s.dialogText, "Welcome to the update.");
    EXPECT_EQ(s.newFolder, "/rel/1.1");
    EXPECT_EQ(s.defaultFolder, "/opt/app");
    // The old folder goes to the window's field only; other settings are not touched.
    EXPECT_EQ(s.oldFolder, "/kept/old");
    EXPECT_EQ(page.oldFolder, "/rel/1.0");
    EXPECT_EQ(s.logFile, 1);
    EXPECT_EQ(s.applyFolder, "/apply");
    EXPECT_EQ(e.dirDiff.RemoveList(), (std::vector<std::string>{"/rel/1.0/old.dll", "/rel/1.0/sub/gone.txt"}));
    EXPECT_EQ(e.dirDiff.ExcludeList(), (std::vector<std::string>{"/rel/1.1/secret.key"}));

    // Saving what was opened writes the same file again.
    std::string again = dir / "again.dvj";
    CProjectData save = ProjectFromSettings(s, e.dirDiff);
    save.oldFolder = page.oldFolder;
    ASSERT_TRUE(WriteProjectFile(again, save));
    EXPECT_EQ(ReadFileText(again), ReadFileText(path));

    // A file that cannot be read empties both lists and turns both flags on.
    EXPECT_FALSE(OpenProject(dir / "absent.dvj", s, e.dirDiff, page));
    EXPECT_EQ(e.dirDiff.RemoveCount(), 0u);
    EXPECT_EQ(e.dirDiff.ExcludeCount(), 0u);
    EXPECT_EQ(s.selfExtract, 1);
    EXPECT_EQ(s.defaultEqualsNew, 1);
    EXPECT_EQ(s.patchFile + s.newFolder + s.dialogText, "");
    EXPECT_EQ(s.splitSize, 0);
    EXPECT_FALSE(WriteProjectFile(dir / "no/such/folder/p.dvj", SampleProject()));
}
