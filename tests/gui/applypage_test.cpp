// The Apply page of the real Expert mode window: its controls and fallbacks, the backup
// box, the browse commands, the three messages before an apply, the self-extracting
// program question, applies that update a copy of the old tree (with the success box,
// where the backups went, the errors list and the failure box), and the points where
// it stores its fields.
#include "ExpertTestSupport.h"

#include "app/StringHelpers.h"
#include "engine/common/CDirDiff.h"
#include "support/CliRun.h"
#include "support/SmallDisk.h"
#include "support/TestFolder.h"
#include "ui/CAppliedDlg.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CErrorsDlg.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include <cstdlib>

using namespace expert;

namespace {

using Page = CApplyPatchPage;

class ApplyPage : public testing::Test {
protected:
    ApplyPage() { ResetExpertSettings(); }
    ~ApplyPage() override { ResetExpertSettings(); }
};

// An old tree, a new tree and a patch between them built by the command-line program:
// a changed file, a new file in a new folder, an unchanged file and a removed file.
struct CPatchedTrees {
    CTestFolder folder;
    std::string oldFolder, newFolder, patch, target;
    CPatchedTrees()
    {
        oldFolder = folder.MakeFolder("old");
        newFolder = folder.MakeFolder("new");
        std::vector<unsigned char> data = RandomBytes(5000, 3);
        folder.WriteBytes("old/data.bin", data);
        data[10] ^= 1;
        data.insert(data.begin() + 2500, 30, 'z');
        folder.WriteBytes("new/data.bin", data);
        folder.Write("old/same.txt", "unchanged\n");
        folder.Write("new/same.txt", "unchanged\n");
        folder.Write("new/docs/added.txt", "a new file\n");
        folder.Write("old/gone.txt", "removed by the patch\n");
        patch = folder / "update.dvp";
        EXPECT_TRUE(CliSucceeds("build old new update.dvp --remove gone.txt", folder.Path()));
        target = folder / "target";
        EXPECT_TRUE(CopyTree(oldFolder, target));
    }
};

} // namespace

TEST_F(ApplyPage, HasItsControlsAndFallsBackOnTheBuildJustMade)
{
    CSettings& s = TestApp().Settings();
    s.oldFolder = "/src/v1";
    s.patchFile = "/out/update.dvp";
    s.backupExt = "orig";
    CExpertWindow window;
    Page* page = window.Apply();
    ExpectForm(page, {
        {-1, "&Folder:"}, {Page::kIdFolder, ""}, {Page::kIdBrowseFolder, "B&rowse ..."},
        {-1, "&Patch file name:"}, {Page::kIdPatchFile, ""}, {Page::kIdBrowsePatch, "Br&owse ..."},
        {Page::kIdBackup, "Create &backup of old files"}, {-1, "Backup file &extension:"},
        {Page::kIdBackupExt, ""}, {Page::kIdApply, "&Apply Patch"}, {Page::kIdHelp, "&Help"},
        {Page::kIdExit, "E&xit"},
    });
    EXPECT_EQ(window.frame->Sheet()->Notebook()->GetPageText(1), "Apply Patch File");

    EXPECT_EQ(Row(Value(page->FolderEdit()), Value(page->PatchFileEdit())), Row("/src/v1", "/out/update.dvp"));
    EXPECT_FALSE(page->BackupCheck()->GetValue());
    EXPECT_EQ(Value(page->BackupExtEdit()), "orig");
    EXPECT_FALSE(page->BackupExtEdit()->IsEnabled());
    ClickCheck(page->BackupCheck());
    EXPECT_TRUE(page->BackupExtEdit()->IsEnabled());
    ClickCheck(page->BackupCheck());
    EXPECT_FALSE(page->BackupExtEdit()->IsEnabled());
    EXPECT_EQ(Value(page->BackupExtEdit()), "orig");

    // The apply's own values come first once there are any.
    s.applyFolder = "/home/user/app";
    s.applyPatchFile = "/media/fix.dvp";
    s.backup = 1;
    CExpertWindow second;
    EXPECT_EQ(Row(Value(second.Apply()->FolderEdit()), Value(second.Apply()->PatchFileEdit())),
              Row("/home/user/app", "/media/fix.dvp"));
    EXPECT_TRUE(second.Apply()->BackupExtEdit()->IsEnabled());
}

TEST_F(ApplyPage, BrowseCommandsAskWithTheirTitles)
{
    CExpertWindow window;
    Page* page = window.Apply();
    CDesktopScript desktop;
    desktop.Browse(page, Page::kIdBrowseFolder, "/home/user/app");
    EXPECT_EQ(Value(page->FolderEdit()), "/home/user/app");
    EXPECT_EQ(desktop.requests[0].title, "Choose folder to Apply Patch to...");
    EXPECT_TRUE(desktop.requests[0].kind == CPathRequest::Kind::Folder);

    Type(page->FolderEdit(), "/typed/folder"); // kept by the patch file browse
    Type(page->PatchFileEdit(), "");
    desktop.Browse(page, Page::kIdBrowsePatch, "/media/update.dvp");
    EXPECT_EQ(Value(page->PatchFileEdit()), "/media/update.dvp");
    EXPECT_EQ(Value(page->FolderEdit()), "/typed/folder");
    const CPathRequest& open = desktop.requests[1];
    EXPECT_EQ(open.title, "Select Patch File");
    EXPECT_TRUE(open.kind == CPathRequest::Kind::OpenFile);
    EXPECT_EQ(open.defaultFile, ""); // no literal "*.dvp" as a name
    EXPECT_EQ(open.wildcard, "*.dvp");
    const std::string home = wxGetHomeDir().ToStdString();
    EXPECT_EQ(open.startFolder, home); // "/home/user" does not exist

    // The dialogs open where the fields point: the folder, the patch file's folder with
    // its name proposed.
    CTestFolder scratch;
    Type(page->FolderEdit(), scratch.Path());
    Type(page->PatchFileEdit(), scratch / "fix.dvp");
    desktop.Browse(page, Page::kIdBrowseFolder, "");
    desktop.Browse(page, Page::kIdBrowsePatch, "");
    EXPECT_EQ(desktop.requests[2].startFolder, scratch.Path());
    EXPECT_EQ(desktop.requests[3].startFolder, scratch.Path());
    EXPECT_EQ(desktop.requests[3].defaultFile, "fix.dvp");
    EXPECT_EQ(Row(Value(page->FolderEdit()), Value(page->PatchFileEdit())), Row(scratch.Path(), scratch / "fix.dvp"));

    // With the fields empty, the dialogs open beside the last path chosen.
    desktop.Browse(page, Page::kIdBrowsePatch, scratch.MakeFolder("media") + "/fix.dvp");
    Type(page->FolderEdit(), "");
    Type(page->PatchFileEdit(), "");
    desktop.Browse(page, Page::kIdBrowseFolder, "");
    desktop.Browse(page, Page::kIdBrowsePatch, "");
    EXPECT_EQ(desktop.requests[5].startFolder, scratch / "media");
    EXPECT_EQ(desktop.requests[6].startFolder, scratch / "media");

    Click(page, Page::kIdHelp);
    EXPECT_EQ(TestApp().LastHelpContext(), 13);
}

TEST_F(ApplyPage, MessagesBeforeAnApplyAndTheSelfExtractingProgramQuestion)
{
    CExpertWindow window;
    Page* page = window.Apply();
    page->Raise();
    CDesktopScript desktop;
    CDialogScript dialogs; // none may appear
    auto apply = [&](const std::string& folder, const std::string& patch, CFocusPrompt& prompts) {
        Type(page->FolderEdit(), folder);
        Type(page->PatchFileEdit(), patch);
        page->FindWindow(Page::kIdApply)->SetFocus();
        Pump(10);
        Click(page, Page::kIdApply);
        EXPECT_FALSE(prompts.Shown().empty());
    };
    struct { const char* folder; const char* patch; const char* text; wxTextCtrl* focus; } missing[] = {
        {"", "/p.dvp", "Please specify a folder name to apply the patch file to.", page->FolderEdit()},
        {"/app", "", "Please specify the name of the patch file. ", page->PatchFileEdit()}};
    for (const auto& m : missing) {
        SCOPED_TRACE(m.text);
        CFocusPrompt prompts;
        apply(m.folder, m.patch, prompts);
        EXPECT_EQ(prompts.Shown()[0].text, m.text);
        EXPECT_EQ(prompts.Shown()[0].title, "Delvorin Error!");
        EXPECT_EQ(prompts.focusAtAsk[0], m.focus);
    }
    {
        CFocusPrompt prompts;
        prompts.script.Script(PromptAnswer::No);
        prompts.script.Script(PromptAnswer::Yes);
        apply("/app", "/dist/fix.EXE", prompts);
        apply("/my app", "/dist/fix.EXE", prompts);
        ASSERT_EQ(prompts.Shown().size(), 2u);
        EXPECT_EQ(prompts.Shown()[0].text,
                  "The Delvorin file you are applying is a self-extracting\nexecutable, do you want to execute it?");
        EXPECT_EQ(prompts.Shown()[0].title, "Delvorin Question");
        EXPECT_TRUE(prompts.Shown()[0].buttons == PromptButtons::YesNo);
        EXPECT_TRUE(prompts.Shown()[0].icon == PromptIcon::Question);
        ASSERT_EQ(desktop.started.size(), 1u); // only after Yes, with the folder as its argument
        EXPECT_EQ(desktop.started[0], (std::vector<std::string>{"/dist/fix.EXE", "/my app"}));
    }
    // A patch file that cannot be opened: one box, with the cause. A file that is no patch
    // at all, whose first bytes would read as a part count: no part is asked for, the one
    // message comes at once. The Build page's remove list stays as it is.
    struct { const char* name; const char* content; const char* cause; } unopened[] = {
        {"missing.dvp", nullptr, "No such file or directory"},
        {"notes.txt", "\x03 shopping list: bread, milk, a new folder tree\n", "This is not a Delvorin patch file."}};
    TestApp().GetDirDiff().AddRemoveFile("/build/page/list");
    for (const auto& u : unopened) {
        SCOPED_TRACE(u.name);
        CFocusPrompt prompts;
        CTestFolder scratch;
        if (u.content)
            scratch.Write(u.name, u.content);
        apply(scratch.Path(), scratch / u.name, prompts);
        ASSERT_EQ(prompts.Shown().size(), 1u) << (prompts.Shown().empty() ? "" : prompts.Shown().back().text);
        EXPECT_EQ(prompts.Shown()[0].text, "Error opening patch file\n" + (scratch / u.name) + "\n" + u.cause);
        EXPECT_EQ(prompts.Shown()[0].title, "Delvorin Error!");
        EXPECT_EQ(TestApp().GetDirDiff().RemoveList(), std::vector<std::string>{"/build/page/list"});
    }
}

TEST_F(ApplyPage, AppliesAPatchToACopyOfTheOldFilesAndReportsSuccess)
{
    CPatchedTrees trees;
    CExpertWindow window;
    Page* page = window.Apply();
    CDialogScript dialogs; // none may appear
    // The Build page's remove list is not the patch's and survives the apply.
    TestApp().GetDirDiff().AddRemoveFile(trees.oldFolder + "/keep-for-next-build");
    const CPromptRecord shown = OnlyPrompt([&] { ApplyWith(page, trees.target, trees.patch); });
    EXPECT_EQ(Row(shown.text, shown.title), Row("The Delvorin file has been applied successfully.", "Delvorin Apply"));
    EXPECT_EQ(SnapshotTree(trees.target), SnapshotTree(trees.newFolder));
    EXPECT_EQ(TestApp().GetDirDiff().RemoveList(),
              std::vector<std::string>{trees.oldFolder + "/keep-for-next-build"});
    EXPECT_TRUE(window.frame->IsEnabled());
    EXPECT_FALSE(fsys::PathExists(TestApp().Core().tempFolder + "AssyTempfile.tmp")); // closed and tidied
}

TEST_F(ApplyPage, KeepsBackupsUnderTheChosenExtension)
{
    CPatchedTrees trees;
    trees.folder.Write("target/data.old", "the user's own file of the backup's name");
    CExpertWindow window;
    Page* page = window.Apply();
    CDialogScript dialogs;
    CPromptScript prompts;
    // The success message, then where the backup went: the name was taken, so the
    // user is told the one it got.
    std::string message, backups;
    dialogs.Expect<CAppliedDlg>([&](CAppliedDlg& dlg) {
        message = FromWx(dlg.MessageLabel()->GetLabel());
        backups = FromWx(dlg.BackupText()->GetValue());
        return int(wxID_OK);
    });
    ClickCheck(page->BackupCheck());
    Type(page->BackupExtEdit(), "old");
    ApplyWith(page, trees.target, trees.patch);
    EXPECT_TRUE(prompts.prompts.Shown().empty());
    EXPECT_EQ(message, "The Delvorin file has been applied successfully.");
    // same.txt only gets its times: no backup; gone.txt, which the patch removes, has one.
    EXPECT_EQ(backups, "data.bin: " + trees.target + "/data.1.old\ngone.txt: " + trees.target + "/gone.old");
    EXPECT_EQ(ReadFileBytes(trees.target + "/data.1.old"), ReadFileBytes(trees.oldFolder + "/data.bin"));
    EXPECT_EQ(ReadFileText(trees.target + "/data.old"), "the user's own file of the backup's name");
    EXPECT_EQ(ReadFileBytes(trees.target + "/data.bin"), ReadFileBytes(trees.newFolder + "/data.bin"));
}

TEST_F(ApplyPage, VerificationErrorsAreListedWithTheContactLineAndNothingChanges)
{
    CPatchedTrees trees;
    trees.folder.Write("target/data.bin", "not the file the patch was built from");
    const auto before = SnapshotTree(trees.target);
    CExpertWindow window;
    Page* page = window.Apply();
    CPromptScript prompts;
    CDialogScript dialogs;
    std::string contact;
    std::vector<std::string> lines;
    dialogs.Expect<CErrorsDlg>([&](CErrorsDlg& dlg) {
        contact = dlg.contact;
        lines = TestApp().GetDirDiff().ErrorEntries();
        return int(wxID_OK);
    });
    ApplyWith(page, trees.target, trees.patch);
    EXPECT_EQ(contact, "Ada Lovelace, Analytical Engines Ltd");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("data.bin"), std::string::npos) << lines[0];
    EXPECT_TRUE(prompts.prompts.Shown().empty());
    EXPECT_EQ(SnapshotTree(trees.target), before);
}

TEST_F(ApplyPage, ACancelledApplySaysSoAndHowManyFilesWereUpdated)
{
    CPatchedTrees trees;
    CExpertWindow window;
    Page* page = window.Apply();
    CDialogScript dialogs;
    CPromptScript prompts;
    prompts.prompts.Script(PromptAnswer::Yes);
    wxTheApp->CallAfter([] {
        if (wxWindow* progress = TestApp().ActiveProgressDialog())
            Click(progress, wxID_CANCEL);
    });
    ApplyWith(page, trees.target, trees.patch);
    ASSERT_EQ(prompts.prompts.Shown().size(), 2u);
    EXPECT_EQ(prompts.prompts.Shown()[0].title, "Delvorin Warning");
    EXPECT_EQ(prompts.prompts.Shown()[1].text, "The apply was cancelled.\nNo file was updated: nothing was changed.");
    EXPECT_EQ(prompts.prompts.Shown()[1].title, "Delvorin Apply");
    EXPECT_TRUE(prompts.prompts.Shown()[1].icon == PromptIcon::Stop);
    EXPECT_TRUE(window.frame->IsEnabled());
}

namespace {

// Presses Cancel on the apply's progress window once the second pass (after the given
// number of questions) shows the given file number or a later one.
class CCancelAtFile : public wxTimer {
public:
    CCancelAtFile(const CScriptedPrompt& prompts, size_t afterQuestions, int file)
        : prompts_(prompts), afterQuestions_(afterQuestions), file_(file)
    {
        Start(5);
    }
    void Notify() override
    {
        if (prompts_.Shown().size() < afterQuestions_)
            return;
        wxWindow* progress = TestApp().ActiveProgressDialog();
        auto* label = progress ? dynamic_cast<wxStaticText*>(progress->FindWindow(CApplyProgressDlg::kIdStatus))
                               : nullptr;
        long file = 0;
        const wxString text = label ? label->GetLabelText() : wxString();
        if (!text.StartsWith("Applying patch to file: ") ||
            !text.AfterLast(',').Trim(false).AfterFirst(' ').BeforeFirst(' ').ToLong(&file) || file < file_)
            return;
        Stop();
        Click(progress, wxID_CANCEL);
    }

private:
    const CScriptedPrompt& prompts_;
    size_t afterQuestions_;
    int file_;
};

} // namespace

// Files replaced one by one (a disk without room to prepare them all first) and a cancel
// midway: the message counts the files already updated and says that applying again
// finishes the job.
TEST_F(ApplyPage, ACancelMidwayOfAnApplyOneByOneCountsTheFilesUpdated)
{
    CTestFolder folder;
    const int kFiles = 30;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".bin";
        folder.WriteBytes("old" + name, RandomBytes(4 << 20, 100 + i));
        folder.WriteBytes("new" + name, RandomBytes(4 << 20, 200 + i));
    }
    const std::string patch = folder / "update.dvp";
    ASSERT_TRUE(CliSucceeds("build old new update.dvp", folder.Path()));
    // Room for the old files and one more, not for all the new ones beside them.
    const std::string target = folder / "target";
    // The files are large enough that the replacing takes several of the progress
    // window's rounds of events, in which the test's timer presses Cancel.
    CSmallDisk disk(target, "size=256m,nr_inodes=" + std::to_string(kFiles + 8));
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a small file system needs root (or the right to mount)";
    ASSERT_TRUE(CopyTree(folder / "old", target));

    CExpertWindow window;
    Page* page = window.Apply();
    CDialogScript dialogs; // none may appear
    CPromptScript prompts;
    prompts.prompts.Script(PromptAnswer::Yes); // replace the files one by one
    prompts.prompts.Script(PromptAnswer::Yes); // cancel
    CCancelAtFile cancel(prompts.prompts, 1, 4);
    ApplyWith(page, target, patch);
    ASSERT_EQ(prompts.prompts.Shown().size(), 3u) << prompts.prompts.Shown().back().text;
    EXPECT_EQ(prompts.prompts.Shown()[0].title, "Delvorin Question");
    EXPECT_EQ(prompts.prompts.Shown()[1].title, "Delvorin Warning");
    int updated = 0;
    const auto wanted = SnapshotTree(folder / "new");
    for (const auto& [name, content] : SnapshotTree(target))
        updated += content == wanted.at(name);
    ASSERT_GT(updated, 1);
    ASSERT_LT(updated, kFiles);
    EXPECT_EQ(prompts.prompts.Shown()[2].text, "The apply was cancelled.\n" + std::to_string(updated) +
                                                   " files were updated; every other file is as it was.\n"
                                                   "Applying the patch again finishes the job.");
}

TEST_F(ApplyPage, StoresItsFieldsWhenLeftClosedAndDestroyed)
{
    const CSettings& s = TestApp().Settings();
    CExpertWindow window;
    window.ShowPage(1);
    Page* page = window.Apply();
    Type(page->FolderEdit(), "/apply/here");
    Type(page->PatchFileEdit(), "/p/fix.dvp");
    ClickCheck(page->BackupCheck());
    Type(page->BackupExtEdit(), "sav");
    ClickCheck(page->BackupCheck()); // the extension is stored all the same
    window.ShowPage(0);
    EXPECT_EQ(Row(s.applyFolder, s.applyPatchFile, s.backup, s.backupExt), Row("/apply/here", "/p/fix.dvp", 0, "sav"));

    Type(page->FolderEdit(), "/exit/button");
    Click(page, Page::kIdExit);
    EXPECT_EQ(s.applyFolder, "/exit/button");

    CExpertWindow second;
    Type(second.Apply()->FolderEdit(), "/sheet/exit");
    Click(second.frame->Sheet(), wxID_CANCEL); // the sheet's own "Exit"
    EXPECT_EQ(s.applyFolder, "/sheet/exit");

    CExpertWindow third;
    Type(third.Apply()->FolderEdit(), "/destroyed");
    third.Delete();
    EXPECT_EQ(s.applyFolder, "/destroyed");
}

TEST(ApplyPageScreenshots, FilledIn)
{
    const char* folder = std::getenv("DELVORIN_EXPERT_SCREENSHOTS");
    if (!folder)
        GTEST_SKIP() << "screenshots not asked for";
    CSettings& s = TestApp().Settings();
    s.applyFolder = "/home/ada/app";
    s.applyPatchFile = "/media/ada/update-1.2.dvp";
    s.backup = 1;
    CExpertWindow window;
    window.ShowPage(1);
    SaveScreenshot(window.frame, std::string(folder) + "/expert_apply_page.png");
    ResetExpertSettings();
}
