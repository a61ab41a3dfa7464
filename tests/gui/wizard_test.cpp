// The Wizard walked page by page in its real windows: a build through pages 1 to 4
// that makes the same patch file as delvorin-cli, an apply through pages 1, 5 and 6,
// and the page flow, checks, stores and reports around them. Messages are asserted
// through the scripted prompts, the result dialogs through wxWidgets' modal hooks.
#define wxTEST_DIALOG_HOOK_CLASS CWizardTestHook
#include "support/GuiTestSupport.h"

#include "app/ProjectFile.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "support/CliRun.h"
#include "support/ScopedEnv.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"
#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CDelvorinWizPage1.h"
#include "ui/CDelvorinWizPage2.h"
#include "ui/CDelvorinWizPage3.h"
#include "ui/CDelvorinWizPage4.h"
#include "ui/CDelvorinWizPage5.h"
#include "ui/CDelvorinWizPage6.h"
#include "ui/CErrorsDlg.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/CSplitDlg.h"
#include "ui/DesktopCalls.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/testing.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include "support/Gzip.h"

#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <unistd.h>

// Failures of the modal hooks become test failures, and a window nobody expected is
// answered with Cancel instead of waiting for a user.
class CWizardTestHook : public wxTestingModalHook {
public:
    using wxTestingModalHook::wxTestingModalHook;

protected:
    int Enter(wxDialog* dlg) override
    {
        int rc = wxTestingModalHook::Enter(dlg);
        return rc == wxID_NONE ? wxID_CANCEL : rc;
    }
    void ReportFailure(const wxString& msg) override { ADD_FAILURE() << msg; }
};

namespace {

// Expects a dialog of type T, hands it to check before it would be shown, and closes it with id.
template <class T>
class CExpect : public wxExpectModalBase<T, CExpect<T>> {
public:
    explicit CExpect(std::function<void(T*)> check = {}, int id = wxID_OK) : check_(std::move(check)), id_(id) {}

protected:
    int OnInvoked(T* dlg) const override
    {
        if (check_)
            check_(dlg);
        return id_;
    }

private:
    std::function<void(T*)> check_;
    int id_;
};

template <class T>
CExpect<T> ExpectMessage(const std::string& text)
{
    return CExpect<T>([text](T* dlg) { EXPECT_EQ(dlg->message, text); });
}

// Runs the Wizard; steps run inside its modal run. A Wizard the steps leave open is ended.
int RunWizard(CDelvorinWiz& wiz, const std::function<void()>& steps)
{
    wiz.CallAfter([&wiz, steps] {
        steps();
        if (wiz.IsModal())
            wiz.EndModal(wxID_ABORT);
    });
    return wiz.Run();
}

void Next(CDelvorinWiz& wiz) { Click(&wiz, wxID_FORWARD); }
void Back(CDelvorinWiz& wiz) { Click(&wiz, wxID_BACKWARD); }
void Cancel(CDelvorinWiz& wiz) { Click(&wiz, wxID_CANCEL); }
// Types the text into the edit and presses Next.
void TypeAndNext(CDelvorinWiz& wiz, wxTextCtrl* edit, const std::string& text) { Type(edit, text); Next(wiz); }

class Wizard : public testing::Test {
protected:
    CPromptScript script;
    CTestFolder dir;
    CScopedEnv home{"HOME", dir.MakeFolder("home").c_str()}; // where a name without a folder lands
    // Answers to the folder and file dialogs, in order; an empty answer is Cancel.
    std::deque<std::string> answers;
    std::vector<CPathRequest> requests;
    std::vector<std::vector<std::string>> started;
    std::string savedProgramFolder;

    void SetUp() override
    {
        CAppCore& core = TestApp().Core();
        core.settings = CSettings();
        core.userName = "Ada Lovelace";
        core.userOrganization = "Analytical Engines Ltd";
        TestApp().wizardChoice = 0;
        CDirDiff& engine = TestApp().GetDirDiff();
        engine.ClearRemoveList();
        engine.ClearExcludeList();
        engine.ClearDiffArray();
        savedProgramFolder = core.programFolder;
        core.programFolder = dir.MakeFolder("program"); // where the apply program is
        LastFolderUsed().clear();
        DesktopHooks().choosePath = [this](wxWindow*, const CPathRequest& request, std::string& path) {
            requests.push_back(request);
            if (answers.empty())
                return false;
            path = answers.front();
            answers.pop_front();
            return !path.empty();
        };
        DesktopHooks().startProgram = [this](const std::vector<std::string>& argv) { started.push_back(argv); };
    }

    void TearDown() override
    {
        DesktopHooks() = CDesktopHooks();
        TestApp().Core().programFolder = savedProgramFolder;
    }

    // Runs a new Wizard with the steps inside its modal run; returns how it ended.
    int Walk(const std::function<void(CDelvorinWiz&)>& steps)
    {
        CDelvorinWiz wiz(nullptr);
        return RunWizard(wiz, [&] { steps(wiz); });
    }

    CSettings& Settings() { return TestApp().Settings(); }
    const std::vector<CPromptRecord>& Shown() { return script.prompts.Shown(); }
    std::string LastText() { return Shown().empty() ? std::string() : Shown().back().text; }
    std::string LastTitle() { return Shown().empty() ? std::string() : Shown().back().title; }

    // Old and new trees with a changed, a new, a removed and an excluded file.
    void MakeTrees()
    {
        std::vector<unsigned char> data = RandomBytes(40000, 7);
        std::vector<unsigned char> changed = data;
        changed[20000] ^= 0x5A;
        changed.insert(changed.begin() + 30000, 300, 'x');
        dir.WriteBytes("old/lib/data.bin", data);
        dir.WriteBytes("new/lib/data.bin", changed);
        dir.Write("old/readme.txt", "version 1\n");
        dir.Write("new/readme.txt", "version 2, with more to say\n");
        dir.Write("old/same.txt", "unchanged");
        dir.Write("new/same.txt", "unchanged");
        dir.Write("new/added/notes.txt", "a new file");
        dir.Write("new/skip.txt", "left out of the patch");
        dir.Write("old/gone.txt", "removed by the patch");
        for (const char* tree : {"old", "new"})
            PinTreeTimes(dir / tree, 1577836800);
    }

    // Walks from page 1 to page 4 with the given folders.
    void ToPage4(CDelvorinWiz& wiz, const std::string& oldFolder, const std::string& newFolder)
    {
        Next(wiz);
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), oldFolder);
        TypeAndNext(wiz, wiz.Page3()->NewFolderEdit(), newFolder);
    }

    void ToPage6(CDelvorinWiz& wiz, const std::string& folder)
    {
        wiz.Page1()->ApplyRadio()->SetValue(true);
        Next(wiz);
        TypeAndNext(wiz, wiz.Page5()->FolderEdit(), folder);
    }
};

} // namespace

TEST_F(Wizard, ABuildThroughPages1To4MakesTheSamePatchAsTheCommandLine)
{
    MakeTrees();
    const std::string oldFolder = dir / "old", newFolder = dir / "new";
    CDirDiff& engine = TestApp().GetDirDiff();
    engine.AddRemoveFile(oldFolder + "/gone.txt");
    engine.AddExcludeFile(newFolder + "/skip.txt");
    const std::string patch = dir / "home/update";

    CDelvorinWiz wiz(nullptr);
    EXPECT_EQ(wiz.Caption(), "Wizard");
    int rc = RunWizard(wiz, [&] {
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard");
        EXPECT_TRUE(wiz.Page1()->BuildRadio()->GetValue());
        EXPECT_FALSE(wiz.BackButton()->IsEnabled());
        EXPECT_EQ(wiz.NextButton()->GetLabel(), "&Next >");
        EXPECT_EQ(wiz.Page1()->Picture()->Dib()->Width(), 340); // picture 135
        Next(wiz);
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard: Build Patch 1 of 3");
        EXPECT_TRUE(wiz.BackButton()->IsEnabled());
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), oldFolder);
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard: Build Patch 2 of 3");
        // No default apply folder stored yet: the old folder is proposed.
        EXPECT_EQ(Value(wiz.Page3()->DefaultFolderEdit()), oldFolder);
        TypeAndNext(wiz, wiz.Page3()->NewFolderEdit(), newFolder);
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard: Build Patch 3 of 3");
        EXPECT_EQ(wiz.NextButton()->GetLabel(), "&Finish");
        EXPECT_TRUE(wiz.BackButton()->IsEnabled());
        Type(wiz.Page4()->PatchFileEdit(), "update"); // no folder: the home folder
        Type(wiz.Page4()->DialogTextEdit(), "Welcome to version 2.");
        wxTEST_DIALOG(Next(wiz),
                      ExpectMessage<CSuccessDlg>("The patch file:  " + patch + " was successfully created."));
    });
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_TRUE(Shown().empty()) << LastText();

    // The values of the build are kept once it succeeded.
    const CSettings& s = Settings();
    EXPECT_EQ(Row(s.patchFile, s.oldFolder, s.newFolder, s.defaultFolder, s.dialogText, s.selfExtract),
              Row(patch, oldFolder, newFolder, oldFolder, "Welcome to version 2.", 0));

    const std::string cliPatch = dir / "cli.dvp";
    ASSERT_TRUE(CliSucceeds("build " + Quoted(oldFolder) + " " + Quoted(newFolder) + " " + Quoted(cliPatch) +
                                " --remove gone.txt --exclude skip.txt --dialog-text " + Quoted("Welcome to version 2.") +
                                " --publisher " + Quoted("Ada Lovelace") + " --organization " +
                                Quoted("Analytical Engines Ltd"),
                            dir.Path()));
    std::string wizardImage = PlainPatchImage(patch), cliImage = PlainPatchImage(cliPatch);
    ASSERT_GT(wizardImage.size(), 1000u);
    ASSERT_EQ(wizardImage.size(), cliImage.size());
    wizardImage.replace(64, 4, 4, '\0'); // the date word
    cliImage.replace(64, 4, 4, '\0');
    EXPECT_TRUE(wizardImage == cliImage);

}

TEST_F(Wizard, AnApplyThroughPages15And6UpdatesACopyOfTheOldTree)
{
    MakeTrees();
    const std::string patch = dir / "update.dvp";
    ASSERT_TRUE(CliSucceeds("build old new update.dvp --remove gone.txt", dir.Path()));
    ASSERT_TRUE(CopyTree(dir / "old", dir / "target"));
    const std::string target = dir / "target";
    // The remove list kept for the next build survives the patch's own.
    TestApp().GetDirDiff().AddRemoveFile("/build/list/entry");
    Settings().backupExt = "bak";

    int rc = Walk([&](CDelvorinWiz& wiz) {
        wiz.Page1()->ApplyRadio()->SetValue(true);
        Next(wiz);
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard: Apply Patch 1 of 2");
        EXPECT_TRUE(wiz.BackButton()->IsEnabled());
        EXPECT_EQ(wiz.NextButton()->GetLabel(), "&Next >");
        EXPECT_FALSE(wiz.Page2()->IsOpened());
        TypeAndNext(wiz, wiz.Page5()->FolderEdit(), target);
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard: Apply Patch 2 of 2");
        EXPECT_EQ(wiz.NextButton()->GetLabel(), "&Finish");
        // Backup off: the extension edit shows the stored extension but takes no input.
        EXPECT_FALSE(wiz.Page6()->BackupCheck()->GetValue());
        EXPECT_FALSE(wiz.Page6()->BackupExtEdit()->IsEnabled());
        EXPECT_EQ(Value(wiz.Page6()->BackupExtEdit()), "bak");
        Type(wiz.Page6()->PatchFileEdit(), patch);
        wxTEST_DIALOG(Next(wiz), ExpectMessage<CSuccessDlg>("The patch file: " + patch + " was successfully applied."));
    });
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_TRUE(Shown().empty()) << LastText();

    std::map<std::string, std::string> expected = SnapshotTree(dir / "new");
    EXPECT_EQ(SnapshotTree(target), expected);
    EXPECT_EQ(TestApp().wizardChoice, 1);
    const CSettings& s = Settings();
    EXPECT_EQ(Row(s.applyFolder, s.applyPatchFile, s.backup, s.backupExt), Row(target, patch, 0, "bak"));
    EXPECT_EQ(TestApp().GetDirDiff().RemoveList(), std::vector<std::string>{"/build/list/entry"});
}

TEST_F(Wizard, Page1RemembersTheChoiceOfItsLastNextOrCancelAndApplySkipsTheBuildPages)
{
    Walk([&](CDelvorinWiz& wiz) {
        EXPECT_TRUE(wiz.Page1()->BuildRadio()->GetValue()); // first run after start: Build
        wiz.Page1()->ApplyRadio()->SetValue(true);
        Next(wiz);
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page5());
        Back(wiz); // past the build pages, to page 1
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page1());
        EXPECT_EQ(wiz.GetTitle(), "Delvorin Wizard");
        EXPECT_FALSE(wiz.BackButton()->IsEnabled());
        Cancel(wiz);
        EXPECT_FALSE(wiz.Page2()->IsOpened());
    });
    EXPECT_EQ(TestApp().wizardChoice, 1);
    int rc = Walk([&](CDelvorinWiz& wiz) {
        EXPECT_TRUE(wiz.Page1()->ApplyRadio()->GetValue());
        // Changed without Next: not kept by Cancel.
        wiz.Page1()->BuildRadio()->SetValue(true);
        Cancel(wiz);
    });
    EXPECT_EQ(rc, wxID_CANCEL);
    EXPECT_EQ(TestApp().wizardChoice, 1);
    Walk([&](CDelvorinWiz& wiz) {
        EXPECT_TRUE(wiz.Page1()->ApplyRadio()->GetValue());
        wiz.Page1()->BuildRadio()->SetValue(true);
        Next(wiz);
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page2());
        Back(wiz);
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page1());
        Cancel(wiz);
    });
    EXPECT_EQ(TestApp().wizardChoice, 0);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(Wizard, NextOnPages2And3ChecksTheFoldersWithTheirMessages)
{
    const std::string folderChars = LoadString(129);
    Walk([&](CDelvorinWiz& wiz) {
        Next(wiz);
        CDelvorinWizPage2* page2 = wiz.Page2();
        // Types the value into the edit and presses Next, which the page refuses.
        auto refused = [&](wxTextCtrl* edit, const std::string& value, const std::string& text, wxTextCtrl* focus) {
            SCOPED_TRACE(value);
            CWizardPageBase* page = wiz.CurrentPage();
            TypeAndNext(wiz, edit, value);
            EXPECT_EQ(wiz.CurrentPage(), page);
            EXPECT_EQ(LastText(), text);
            EXPECT_EQ(LastTitle(), "Delvorin Error!");
            EXPECT_EQ(wxWindow::FindFocus(), focus);
        };
        refused(page2->OldFolderEdit(), "", LoadString(123), page2->OldFolderEdit());
        refused(page2->OldFolderEdit(), "/data/a*b", folderChars, page2->OldFolderEdit());
        EXPECT_EQ(Settings().oldFolder, "");
        TypeAndNext(wiz, page2->OldFolderEdit(), "/srv/Data");
        EXPECT_EQ(Settings().oldFolder, "/srv/Data");
        EXPECT_EQ(wiz.oldFolder, "/srv/Data");

        CDelvorinWizPage3* page3 = wiz.Page3();
        refused(page3->NewFolderEdit(), "", LoadString(124), page3->NewFolderEdit());
        refused(page3->NewFolderEdit(), "/srv/new?", folderChars, page3->NewFolderEdit());
        Type(page3->NewFolderEdit(), "/srv/new");
        refused(page3->DefaultFolderEdit(), "/opt/a|b", folderChars, page3->DefaultFolderEdit());
        Type(page3->DefaultFolderEdit(), "");
        refused(page3->NewFolderEdit(), "/srv/Data", LoadString(107), page3->NewFolderEdit());
        EXPECT_EQ(Settings().newFolder, "");
        // Compared exactly: another letter case is another folder. An empty default
        // apply folder is accepted.
        TypeAndNext(wiz, page3->NewFolderEdit(), "/srv/data");
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page4());
        EXPECT_EQ(Settings().newFolder, "/srv/data");
        EXPECT_EQ(Settings().defaultFolder, "");
    });
    EXPECT_EQ(Shown().size(), 6u);
}

TEST_F(Wizard, Page3ReloadsTheStoredFoldersEveryTimeAndPage2KeepsItsOwn)
{
    Settings().newFolder = "/stored/new";
    Settings().oldFolder = "/stored/old";
    Walk([&](CDelvorinWiz& wiz) {
        Next(wiz);
        EXPECT_EQ(Value(wiz.Page2()->OldFolderEdit()), "/stored/old");
        Type(wiz.Page2()->OldFolderEdit(), "/typed/old");
        Back(wiz);
        Next(wiz);
        EXPECT_EQ(Value(wiz.Page2()->OldFolderEdit()), "/typed/old");
        Next(wiz);
        CDelvorinWizPage3* page3 = wiz.Page3();
        EXPECT_EQ(Value(page3->NewFolderEdit()), "/stored/new");
        EXPECT_EQ(Value(page3->DefaultFolderEdit()), "/typed/old");
        Type(page3->NewFolderEdit(), "/typed/new");
        Type(page3->DefaultFolderEdit(), "/typed/default");
        Back(wiz);
        Next(wiz);
        EXPECT_EQ(Value(page3->NewFolderEdit()), "/stored/new");
        EXPECT_EQ(Value(page3->DefaultFolderEdit()), "/typed/old");
    });
}

TEST_F(Wizard, CancelStoresTheFieldsOfTheOpenedPagesOnly)
{
    Settings().patchFile = "/keep/patch.dvp";
    Settings().applyFolder = "/keep/apply";
    Settings().dialogText = "kept";
    int rc = Walk([&](CDelvorinWiz& wiz) {
        Next(wiz);
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), "/typed/old");
        Type(wiz.Page3()->NewFolderEdit(), "/typed/new");
        Type(wiz.Page3()->DefaultFolderEdit(), "/typed/default");
        Back(wiz);
        Type(wiz.Page2()->OldFolderEdit(), "/typed/again");
        Cancel(wiz);
    });
    EXPECT_EQ(rc, wxID_CANCEL);
    const CSettings& s = Settings();
    EXPECT_EQ(Row(s.oldFolder, s.newFolder, s.defaultFolder), Row("/typed/again", "/typed/new", "/typed/default"));
    EXPECT_EQ(s.patchFile, "/keep/patch.dvp"); // page 4 never opened
    EXPECT_EQ(s.applyFolder, "/keep/apply");   // nor page 5
    Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, "/a", "/b");
        Type(wiz.Page4()->PatchFileEdit(), "/out/typed.dvp");
        Tick(wiz.Page4()->SelfExtractCheck(), false);
        Tick(wiz.Page4()->ThoroughCheck(), true);
        Type(wiz.Page4()->DialogTextEdit(), "not kept by Cancel");
        Cancel(wiz);
    });
    EXPECT_EQ(Row(s.patchFile, s.selfExtract, s.thorough, s.dialogText), Row("/out/typed.dvp", 0, 1, "kept"));
    Walk([&](CDelvorinWiz& wiz) {
        ToPage6(wiz, "/apply/here");
        Type(wiz.Page6()->PatchFileEdit(), "/dl/fix.dvp");
        Tick(wiz.Page6()->BackupCheck(), true);
        Type(wiz.Page6()->BackupExtEdit(), "old");
        wiz.Close(); // the close box cancels too
    });
    EXPECT_EQ(Row(s.applyFolder, s.applyPatchFile, s.backup, s.backupExt), Row("/apply/here", "/dl/fix.dvp", 1, "old"));
}

TEST_F(Wizard, Page4GivesThePatchFileTheExtensionOfTheSelfExtractOption)
{
    Settings().patchFile = "/out/patch.exe";
    Settings().selfExtract = 0;
    Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, "/a", "/b");
        CDelvorinWizPage4* page4 = wiz.Page4();
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/out/patch.dvp");
        Tick(page4->SelfExtractCheck(), true);
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/out/patch.exe");
        Tick(page4->SelfExtractCheck(), false);
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/out/patch.dvp");

        // Only the file's own name counts: the "." of a folder name is not an extension.
        Type(page4->PatchFileEdit(), "/my.files/patch");
        Tick(page4->SelfExtractCheck(), false);
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/my.files/patch.dvp");

        // Browsing: ".dvp" for a name without a ".", then the rule.
        answers = {"/out/update", "/home/me/.cache/update"};
        Click(page4, CDelvorinWizPage4::kIdBrowse);
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/out/update.dvp");
        Tick(page4->SelfExtractCheck(), true);
        Click(page4, CDelvorinWizPage4::kIdBrowse);
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/home/me/.cache/update.exe");
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].title, "Save Patch File As");
        // The dialog opens at the patch file named so far: its folder when it exists,
        // else home, and its name.
        EXPECT_EQ(requests[0].defaultFile, "patch.dvp");
        EXPECT_EQ(requests[0].startFolder, wxGetHomeDir().ToStdString());
        EXPECT_EQ(requests[1].defaultFile, "update.exe");
        EXPECT_TRUE(requests[0].overwritePrompt);
        EXPECT_EQ(requests[1].wildcard, "*.exe");
        Click(page4, CDelvorinWizPage4::kIdBrowse); // cancelled: nothing changes
        EXPECT_EQ(Value(page4->PatchFileEdit()), "/home/me/.cache/update.exe");
    });
}

// The patch format and the self-extracting program's system on page 4, each set with a
// real click: Cancel keeps both, the next visit shows them, and Finish builds a compact
// patch that the command-line program names so.
TEST_F(Wizard, Page4FormatAndSystemChoicesTakeRealClicksAndAreKept)
{
    MakeTrees();
    Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, dir / "old", dir / "new");
        CDelvorinWizPage4* page = wiz.Page4();
        EXPECT_TRUE(page->FormatChoice().First()->GetValue());
        Tick(page->SelfExtractCheck(), true);
        RealClick(page->SystemChoice().Second());
        EXPECT_TRUE(page->SystemChoice().Second()->GetValue());
        Tick(page->SelfExtractCheck(), false);
        EXPECT_FALSE(page->SystemChoice().Second()->IsEnabled());
        RealClick(page->FormatChoice().Second());
        EXPECT_TRUE(page->FormatChoice().Second()->GetValue());
        Cancel(wiz);
    });
    EXPECT_EQ(Settings().compact, 1);
    EXPECT_EQ(Settings().forWindows, 1);

    const std::string patch = dir / "compact.dvp";
    int rc = Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, dir / "old", dir / "new");
        EXPECT_TRUE(wiz.Page4()->FormatChoice().Second()->GetValue());
        EXPECT_TRUE(wiz.Page4()->SystemChoice().Second()->GetValue());
        Type(wiz.Page4()->PatchFileEdit(), patch);
        wxTEST_DIALOG(Next(wiz),
                      ExpectMessage<CSuccessDlg>("The patch file:  " + patch + " was successfully created."));
    });
    EXPECT_EQ(rc, wxID_OK);
    const CRun info = RunCliIn("info " + Quoted(patch), dir.Path());
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Format:            compact"), std::string::npos) << info.out;
}

TEST_F(Wizard, FinishOnPage4RefusesBadNamesAndStaysOpen)
{
    Settings().dialogText = "before";
    Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, dir / "old", dir / "new");
        CDelvorinWizPage4* page4 = wiz.Page4();
        // In the dialog text Ctrl+Enter starts a line and Enter presses Finish.
        Type(page4->DialogTextEdit(), "typed text");
        page4->DialogTextEdit()->SetInsertionPointEnd();
        wxKeyEvent key(wxEVT_KEY_DOWN);
        key.m_keyCode = WXK_RETURN;
        key.m_controlDown = true;
        page4->DialogTextEdit()->GetEventHandler()->ProcessEvent(key);
        Type(page4->PatchFileEdit(), "");
        key.m_controlDown = false;
        page4->DialogTextEdit()->GetEventHandler()->ProcessEvent(key);
        EXPECT_EQ(LastText(), "Please specify a patch file name.");
        EXPECT_EQ(LastTitle(), "Delvorin Error!");
        EXPECT_EQ(Settings().dialogText, "typed text\n"); // stored before the checks
        EXPECT_EQ(wxWindow::FindFocus(), page4->PatchFileEdit());

        TypeAndNext(wiz, page4->PatchFileEdit(), "/out/a|b.dvp");
        EXPECT_EQ(LastText(), LoadString(130));
        EXPECT_EQ(LastTitle(), "Delvorin Error!");

        Tick(page4->SelfExtractCheck(), true);
        TypeAndNext(wiz, page4->PatchFileEdit(), "/out/patch.exe.old");
        EXPECT_EQ(LastText(), "To create a self-extracting patch program,\nthe file name extension must be \".exe\"");
        EXPECT_EQ(LastTitle(), "Delvorin Warning!");

        // Inside the new files folder the build would take its own work file for a new file.
        Tick(page4->SelfExtractCheck(), false);
        TypeAndNext(wiz, page4->PatchFileEdit(), dir / "new/update.dvp");
        EXPECT_EQ(LastTitle(), "Delvorin Warning!");
        // The same folder reached through a link to it.
        dir.MakeFolder("new");
        ASSERT_EQ(symlink((dir / "new").c_str(), (dir / "link").c_str()), 0);
        TypeAndNext(wiz, page4->PatchFileEdit(), dir / "link/update.dvp");
        EXPECT_EQ(LastTitle(), "Delvorin Warning!");

        // A split the apply program leaves no room in, named with the size that works.
        dir.WriteBytes("program/DvApply.exe", RandomBytes(40000, 3));
        Settings().splitSize = 40;
        Tick(page4->SelfExtractCheck(), true);
        TypeAndNext(wiz, page4->PatchFileEdit(), dir / "out.exe");
        EXPECT_NE(LastText().find("The smallest split size that works is 41 KB."), std::string::npos) << LastText();
        EXPECT_EQ(LastTitle(), "Delvorin Warning!");
        EXPECT_EQ(wiz.CurrentPage(), page4);
        EXPECT_TRUE(wiz.IsModal());
    });
    EXPECT_EQ(Shown().size(), 6u);
    EXPECT_EQ(Settings().patchFile, "");
    EXPECT_FALSE(fsys::PathExists(dir / "out.exe"));
}

TEST_F(Wizard, AFailedBuildKeepsTheWizardOpenWithItsFieldsAndTheStoredPatchFile)
{
    Settings().patchFile = "/earlier/patch.dvp";
    int rc = Walk([&](CDelvorinWiz& wiz) {
        ToPage4(wiz, dir / "missing-old", dir / "missing-new");
        CDelvorinWizPage4* page4 = wiz.Page4();
        // Any letter case of "exe" passes the test at Finish.
        Tick(page4->SelfExtractCheck(), true);
        Type(page4->PatchFileEdit(), dir / "out.EXE");
        wxTEST_DIALOG(Next(wiz), CExpect<CWhoopsDlg>([](CWhoopsDlg* whoops) {
                          EXPECT_EQ(whoops->message, LoadString(108));
                      }));
        EXPECT_TRUE(wiz.IsModal());
        EXPECT_EQ(wiz.CurrentPage(), page4);
        EXPECT_EQ(Value(page4->PatchFileEdit()), dir / "out.EXE");
        EXPECT_TRUE(page4->SelfExtractCheck()->GetValue());
    });
    EXPECT_EQ(rc, wxID_CANCEL); // ended by the test, not by Finish
    EXPECT_EQ(Settings().patchFile, "/earlier/patch.dvp");
    EXPECT_FALSE(fsys::PathExists(dir / "out.EXE"));
    EXPECT_FALSE(fsys::PathExists(dir / "out.~dvp"));
}

namespace {

// The modal dialog of type T that is up now, or nullptr.
template <class T>
T* ShownDialog()
{
    for (wxWindow* top : wxTopLevelWindows)
        if (auto* dlg = dynamic_cast<T*>(top); dlg && dlg->IsModal())
            return dlg;
    return nullptr;
}

// With DELVORIN_WIZARD_SCREENSHOTS set (see wizard_screenshots.sh), writes the part of
// the screen the window covers into that folder as name.png.
// With another window given, the part of the screen both cover is taken.
void ShootWhenAsked(wxWindow* window, const std::string& name, wxWindow* over = nullptr)
{
    const char* folder = std::getenv("DELVORIN_WIZARD_SCREENSHOTS");
    if (!folder)
        return;
    window->Raise();
    if (over)
        over->Raise();
    Pump(400);
    const wxRect rect = over ? window->GetScreenRect().Union(over->GetScreenRect()) : window->GetScreenRect();
    const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                                std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                                std::to_string(rect.y) + " +repage '" + folder + "/" + name + ".png'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// Presses the OK button of the real Whoops box with the mouse once it is up: a timer
// fires inside the box's own modal loop.
// With a window and a name, the box over that window goes into the screenshots when they
// are asked for.
class COkOnWhoops : public wxTimer {
public:
    explicit COkOnWhoops(wxWindow* under = nullptr, std::string name = "") : under_(under), name_(std::move(name))
    {
        Start(200);
    }
    std::string message;
    void Notify() override
    {
        CWhoopsDlg* whoops = ShownDialog<CWhoopsDlg>();
        if (!whoops || !whoops->IsShownOnScreen())
            return;
        Stop();
        message = whoops->message;
        if (under_)
            ShootWhenAsked(under_, name_, whoops);
        RealClick(whoops->FindWindow(wxID_OK));
    }

private:
    wxWindow* under_;
    std::string name_;
};

} // namespace

// The Whoops box of a failed Finish, answered with a real click, hands the Wizard back
// to the user: Back and Cancel take real clicks again. The Wizard runs over a modal main
// dialog, as in the program (an old files folder that does not exist, and a patch file
// in a folder that does not exist).
TEST_F(Wizard, AfterAFailedFinishTheWizardTakesClicksAgain)
{
    MakeTrees();
    for (bool missingOld : {true, false}) {
        SCOPED_TRACE(missingOld ? "old folder missing" : "patch folder missing");
        wxDialog main(nullptr, wxID_ANY, "main", wxPoint(0, 0), wxSize(300, 200));
        TestApp().SetTopWindow(&main);
        bool cancelled = false;
        RunModal(main, [&] {
            int rc = Walk([&](CDelvorinWiz& wiz) {
                const std::string patch = missingOld ? dir / "out.dvp" : dir / "no/such/folder/out.dvp";
                ToPage4(wiz, missingOld ? dir / "missing-old" : dir / "old", dir / "new");
                Type(wiz.Page4()->PatchFileEdit(), patch);
                COkOnWhoops ok(missingOld ? nullptr : &wiz, "wizard_failed_finish");
                RealClick(wiz.NextButton());
                // The system's text, with the cause it reported below.
                EXPECT_EQ(ok.message, missingOld ? LoadString(108)
                                                 : "Error creating Delvorin file!\n" + patch + "\nNo such file or directory");
                if (!missingOld)
                    ShootWhenAsked(&wiz, "wizard_after_failed_finish");
                RealClick(wiz.BackButton());
                EXPECT_EQ(wiz.CurrentPage(), wiz.Page3());
                RealClick(wiz.CancelButton());
                cancelled = !wiz.IsModal();
            });
            EXPECT_EQ(rc, wxID_CANCEL);
        });
        TestApp().SetTopWindow(nullptr);
        EXPECT_TRUE(cancelled);
    }
}

namespace {

// Cancels the build once its progress dialog shows the compression, by a real click on
// Cancel or a real Escape key; what the status line showed then is kept.
class CCancelWhileCompressing : public wxTimer {
public:
    explicit CCancelWhileCompressing(bool escape) : escape_(escape) { Start(20); }
    std::string status;
    void Notify() override
    {
        wxWindow* progress = TestApp().ActiveProgressDialog();
        auto* label = progress ? dynamic_cast<wxStaticText*>(progress->FindWindow(CBuildProgressDlg::kIdStatus))
                               : nullptr;
        // Once some bytes are done: the compression is under way.
        if (!label || !label->GetLabelText().StartsWith("Compressing") || label->GetLabelText().Contains(" 0 bytes"))
            return;
        Stop();
        status = std::string(label->GetLabelText().utf8_str());
        if (escape_) {
            progress->FindWindow(wxID_CANCEL)->SetFocus();
            wxUIActionSimulator().Char(WXK_ESCAPE);
        } else {
            RealClick(progress->FindWindow(wxID_CANCEL), false);
        }
    }

private:
    bool escape_;
};

} // namespace

// The compression after the last file shows the bytes done and takes Cancel (a click, or
// Escape on the progress window) with the question of the file phase: Yes leaves no patch
// file and no Success box, and the Wizard stays on its last page.
TEST_F(Wizard, CancelWhileCompressingAsksAndLeavesNoPatchFile)
{
    for (int i = 0; i < 6; ++i)
        dir.WriteBytes("new/data/" + std::to_string(i) + ".bin", RandomBytes(8 << 20, 30 + i));
    dir.MakeFolder("old");
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        script.prompts.Clear();
        script.prompts.Script(PromptAnswer::Yes);
        const std::string patch = dir / "big.dvp";
        Walk([&](CDelvorinWiz& wiz) {
            ToPage4(wiz, dir / "old", dir / "new");
            Type(wiz.Page4()->PatchFileEdit(), patch);
            CCancelWhileCompressing cancel(escape);
            CWizardTestHook noSuccessBox; // any box would be a failure
            Next(wiz);
            EXPECT_NE(cancel.status.find(" of 50.3 MB"), std::string::npos) << cancel.status;
            EXPECT_EQ(wiz.CurrentPage(), wiz.Page4());
        });
        ASSERT_EQ(Shown().size(), 1u) << LastText();
        EXPECT_EQ(LastText(), "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\n"
                              "Do you really want to cancel this process?");
        EXPECT_FALSE(fsys::PathExists(patch));
        EXPECT_FALSE(fsys::PathExists(dir / "big.~dvp"));
    }
}

TEST_F(Wizard, FinishOnPage6ChecksThePatchFileAndRunsSelfExtractingPrograms)
{
    Settings().applyPatchFile = "/earlier/fix.dvp";
    Settings().applyFolder = "/earlier";
    Walk([&](CDelvorinWiz& wiz) {
        wiz.Page1()->ApplyRadio()->SetValue(true);
        Next(wiz);
        TypeAndNext(wiz, wiz.Page5()->FolderEdit(), "");
        EXPECT_EQ(LastText(), "Please specify a folder name to apply the patch file to.");
        EXPECT_EQ(LastTitle(), "Delvorin Error!");
        EXPECT_EQ(wiz.CurrentPage(), wiz.Page5());
        EXPECT_EQ(wxWindow::FindFocus(), wiz.Page5()->FolderEdit());
        EXPECT_EQ(Settings().applyFolder, ""); // stored before the check
        TypeAndNext(wiz, wiz.Page5()->FolderEdit(), "/apply/to");
        CDelvorinWizPage6* page6 = wiz.Page6();

        TypeAndNext(wiz, page6->PatchFileEdit(), "");
        EXPECT_EQ(LastText(), "Please specify a patch file name.");

        // Only the last three letters count: "fixexe" is a program too.
        script.prompts.Script(PromptAnswer::No);
        TypeAndNext(wiz, page6->PatchFileEdit(), "/dl/fixexe");
        EXPECT_EQ(LastText(), LoadString(126));
        EXPECT_EQ(LastTitle(), "Delvorin Question");
        EXPECT_EQ(Shown().back().buttons, PromptButtons::YesNo);
        EXPECT_EQ(Shown().back().icon, PromptIcon::Question);
        EXPECT_EQ(wiz.CurrentPage(), page6);
        EXPECT_EQ(Settings().applyPatchFile, "/earlier/fix.dvp");

        const size_t before = Shown().size();
        TypeAndNext(wiz, page6->PatchFileEdit(), dir / "no-such.dvp");
        EXPECT_EQ(Shown().size(), before + 1); // one box, with the cause
        EXPECT_EQ(LastText(), "Error opening patch file\n" + (dir / "no-such.dvp") + "\nNo such file or directory");
        EXPECT_EQ(LastTitle(), "Delvorin Error!");
        EXPECT_EQ(wiz.CurrentPage(), page6);
        EXPECT_EQ(Settings().applyPatchFile, "/earlier/fix.dvp");
        EXPECT_TRUE(started.empty());

        script.prompts.Script(PromptAnswer::Yes);
        TypeAndNext(wiz, page6->PatchFileEdit(), "/dl/Fix.Exe");
        EXPECT_FALSE(wiz.IsModal());
    });
    EXPECT_EQ(Settings().applyFolder, "/apply/to");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"/dl/Fix.Exe", "/apply/to"}));
    EXPECT_EQ(Settings().applyPatchFile, "/dl/Fix.Exe");
}

TEST_F(Wizard, AnApplyThatFailsVerificationListsTheErrorsAndACancelledOneSaysNothingWasChanged)
{
    MakeTrees();
    ASSERT_TRUE(CliSucceeds("build old new update.dvp", dir.Path()));
    const std::string patch = dir / "update.dvp";
    {
        // The target lacks the files: the verification lists them, nothing changes.
        const std::string empty = dir.MakeFolder("empty");
        int rc = Walk([&](CDelvorinWiz& wiz) {
            ToPage6(wiz, empty);
            Type(wiz.Page6()->PatchFileEdit(), patch);
            wxTEST_DIALOG(Next(wiz), CExpect<CErrorsDlg>([&](CErrorsDlg* errors) {
                              EXPECT_EQ(errors->GetParent(), wiz.Page6());
                              EXPECT_EQ(errors->contact, "Ada Lovelace, Analytical Engines Ltd");
                          }));
        });
        EXPECT_EQ(rc, wxID_OK);
        EXPECT_TRUE(SnapshotTree(empty).empty());
        EXPECT_EQ(Settings().applyPatchFile, patch);
    }
    {
        // Cancel pressed in the progress dialog and confirmed: the Whoops box says that
        // nothing was changed, and the fields are stored all the same.
        ASSERT_TRUE(CopyTree(dir / "old", dir / "target"));
        Settings().applyPatchFile.clear();
        int rc = Walk([&](CDelvorinWiz& wiz) {
            ToPage6(wiz, dir / "target");
            Type(wiz.Page6()->PatchFileEdit(), patch);
            wiz.CallAfter([] {
                if (wxWindow* progress = TestApp().ActiveProgressDialog())
                    Click(progress, wxID_CANCEL);
            });
            script.prompts.Script(PromptAnswer::Yes);
            wxTEST_DIALOG(Next(wiz), ExpectMessage<CWhoopsDlg>("The apply was cancelled.\n"
                                                               "No file was updated: nothing was changed."));
        });
        EXPECT_EQ(rc, wxID_OK);
        ASSERT_EQ(Shown().size(), 1u);
        EXPECT_TRUE(Contains(Shown()[0].text, "Do you really want to cancel this process?"));
        EXPECT_EQ(Shown()[0].owner, PromptOwner::ProgressDialog);
        EXPECT_EQ(Settings().applyPatchFile, patch);
    }
}

TEST_F(Wizard, ProjectsOpenIntoTheWizardsPlacesAndClearProjectEmptiesThem)
{
    const std::string project = dir / "release.dvj";
    dir.Write("release.dvj", "[Delvorin]\nPatchFile=/out/release.dvp\nDefaultEqualsNew=false\n"
                             "DialogText=Hello\nOldFolder=/proj/old\nNewFolder=/proj/new\nDefaultFolder=/opt/app\n"
                             "NumberOfNamesToExclude=1\nNumberOfNamesToDelete=1\nSplitSize=720\n"
                             "[DelvorinFilesToDelete]\nFileNameToDelete0=/proj/old/gone.txt\n"
                             "[DelvorinFilesToExclude]\nFileNameToExclude0=/proj/new/skip.txt\n");
    Settings().oldFolder = "/settings/old";
    Settings().logFile = 1;
    Walk([&](CDelvorinWiz& wiz) {
        Next(wiz);
        answers = {project};
        Click(wiz.Page2(), CDelvorinWizPage2::kIdOpen);
        EXPECT_EQ(requests.back().title, "Open Delvorin Project File");
        EXPECT_EQ(requests.back().defaultFile, "");
        EXPECT_EQ(requests.back().wildcard, "*.dvj");
        EXPECT_EQ(Value(wiz.Page2()->OldFolderEdit()), "/proj/old");
        EXPECT_EQ(Settings().oldFolder, "/settings/old"); // Next stores it
        EXPECT_EQ(Settings().splitSize, 720);
        EXPECT_EQ(wiz.defaultEqualsNew, 0);
        EXPECT_EQ(TestApp().GetDirDiff().RemoveList(), std::vector<std::string>{"/proj/old/gone.txt"});
        Next(wiz);
        EXPECT_EQ(Value(wiz.Page3()->NewFolderEdit()), "/proj/new");
        EXPECT_EQ(Value(wiz.Page3()->DefaultFolderEdit()), "/opt/app");
        Next(wiz);
        // The project has no "SelfExtract": the option is on.
        EXPECT_TRUE(wiz.Page4()->SelfExtractCheck()->GetValue());
        EXPECT_EQ(Value(wiz.Page4()->PatchFileEdit()), "/out/release.exe");
        EXPECT_EQ(Value(wiz.Page4()->DialogTextEdit()), "Hello");

        answers = {dir / "saved"};
        Click(wiz.Page4(), CDelvorinWizPage4::kIdSave);
        EXPECT_EQ(requests.back().title, "Save Delvorin Project File");

        Back(wiz);
        Back(wiz);
        Click(wiz.Page2(), CDelvorinWizPage2::kIdClearProject);
        EXPECT_EQ(Value(wiz.Page2()->OldFolderEdit()), "");
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), "/x/old");
        EXPECT_EQ(Value(wiz.Page3()->DefaultFolderEdit()), "/x/old");
        TypeAndNext(wiz, wiz.Page3()->NewFolderEdit(), "/x/new");
        EXPECT_EQ(Value(wiz.Page4()->PatchFileEdit()), "");
        EXPECT_TRUE(wiz.Page4()->SelfExtractCheck()->GetValue());
        EXPECT_EQ(Value(wiz.Page4()->DialogTextEdit()), "");
    });
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Row(Settings().splitSize, Settings().logFile, Settings().defaultEqualsNew), Row(0, 1, 1));
    EXPECT_EQ(TestApp().GetDirDiff().RemoveCount(), 0u);

    CProjectData saved;
    ASSERT_TRUE(ReadProjectFile(dir / "saved.dvj", saved));
    EXPECT_EQ(Row(saved.patchFile, saved.selfExtract, saved.defaultEqualsNew, saved.dialogText, saved.oldFolder,
                       saved.newFolder, saved.defaultFolder, saved.splitSize),
              Row("/out/release.exe", true, false, "Hello", "/proj/old", "/proj/new", "/opt/app", 720));
    EXPECT_EQ(saved.removeList, std::vector<std::string>{"/proj/old/gone.txt"});
    EXPECT_EQ(saved.excludeList, std::vector<std::string>{"/proj/new/skip.txt"});
}

TEST_F(Wizard, TheChoosersAndTheSplitDialogOpenWithoutParentAndWithoutMessages)
{
    Walk([&](CDelvorinWiz& wiz) {
        Next(wiz);
        Type(wiz.Page2()->OldFolderEdit(), dir / "does-not-exist");
        wxTEST_DIALOG(Click(wiz.Page2(), CDelvorinWizPage2::kIdRemoveFiles),
                      CExpect<CFileChooserDlg>([](CFileChooserDlg* chooser) {
                          EXPECT_EQ(chooser->GetMode(), CFileChooserDlg::kRemoveMode);
                          EXPECT_EQ(chooser->GetParent(), nullptr);
                          EXPECT_EQ(TestApp().GetDirDiff().DiffCount(), 0u);
                      }));
        dir.Write("new/one.txt", "1");
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), "/old");
        Type(wiz.Page3()->NewFolderEdit(), dir / "new");
        wxTEST_DIALOG(Click(wiz.Page3(), CDelvorinWizPage3::kIdExclude),
                      CExpect<CFileChooserDlg>([](CFileChooserDlg* chooser) {
                          EXPECT_EQ(chooser->GetMode(), CFileChooserDlg::kExcludeMode);
                          EXPECT_EQ(TestApp().GetDirDiff().DiffCount(), 1u);
                      }));
        wxTEST_DIALOG(Click(wiz.Page3(), CDelvorinWizPage3::kIdSplit), CExpect<CSplitDlg>());
        answers = {"/chosen/new"};
        Click(wiz.Page3(), CDelvorinWizPage3::kIdBrowse);
        EXPECT_EQ(requests.back().title, "Browse for New Files Folder");
        EXPECT_EQ(Value(wiz.Page3()->NewFolderEdit()), "/chosen/new");
    });
    EXPECT_TRUE(Shown().empty());
}

TEST_F(Wizard, EveryPageHasItsPictureItsHelpContextAndNoClippedOrOverlappingControls)
{
    struct Expected {
        int picture, width, context;
    };
    const Expected expected[] = {{135, 340, 6}, {142, 340, 7}, {141, 340, 8},
                                 {137, 340, 9}, {141, 340, 10}, {137, 340, 11}};
    CDelvorinWiz wiz(nullptr);
    auto check = [&](size_t index) {
        CWizardPageBase* page = wiz.Page(index);
        SCOPED_TRACE(page->Title().ToStdString());
        EXPECT_EQ(wiz.CurrentPage(), page);
        EXPECT_EQ(wiz.GetTitle(), page->Title());
        ASSERT_NE(page->Picture()->Dib(), nullptr);
        EXPECT_EQ(page->Picture()->Dib()->Width(), expected[index].width);
        // The page opens with the focus in its first field; the picture takes none.
        wxWindow* fields[] = {wiz.Page1()->BuildRadio(), wiz.Page2()->OldFolderEdit(), wiz.Page3()->NewFolderEdit(),
                              wiz.Page4()->PatchFileEdit(), wiz.Page5()->FolderEdit(), wiz.Page6()->PatchFileEdit()};
        Pump(20);
        EXPECT_EQ(wxWindow::FindFocus(), fields[index]);
        EXPECT_FALSE(page->Picture()->AcceptsFocus());
        Click(&wiz, wxID_HELP);
        EXPECT_EQ(TestApp().LastHelpContext(), expected[index].context);
        wxCommandEvent f1(wxEVT_MENU, wxID_HELP);
        TestApp().ShowHelp(0);
        wiz.GetEventHandler()->ProcessEvent(f1);
        EXPECT_EQ(TestApp().LastHelpContext(), expected[index].context);

        ExpectChildrenInsideAndApart(page);
        ExpectTextsFit(page, false);
        // Texts of one line in the template do not wrap.
        for (wxWindow* child : page->GetChildren())
            for (const char* oneLine : {"To type in a carriage return", "What is the name of the patch file you",
                                        "You are almost ready", "Choose Finish"})
                if (dynamic_cast<wxStaticText*>(child) && child->GetLabel().StartsWith(oneLine)) {
                    EXPECT_FALSE(child->GetLabel().Contains("\n")) << child->GetLabel();
                }
    };
    RunWizard(wiz, [&] {
        check(0);
        Next(wiz);
        check(1);
        Next(wiz); // refused: no old folder
        TypeAndNext(wiz, wiz.Page2()->OldFolderEdit(), "/a");
        check(2);
        TypeAndNext(wiz, wiz.Page3()->NewFolderEdit(), "/b");
        check(3);
        Back(wiz);
        Back(wiz);
        Back(wiz);
        wiz.Page1()->ApplyRadio()->SetValue(true);
        Next(wiz);
        check(4);
        TypeAndNext(wiz, wiz.Page5()->FolderEdit(), "/c");
        check(5);

        // Screenshots of the six pages when asked for (see wizard_screenshots.sh).
        if (std::getenv("DELVORIN_WIZARD_SCREENSHOTS")) {
            Back(wiz);
            Back(wiz);
            wiz.Page1()->BuildRadio()->SetValue(true);
            const char* names[] = {"wizard_page1", "wizard_page2", "wizard_page3", "wizard_page4"};
            auto shoot = [&](const char* name) { ShootWhenAsked(&wiz, name); };
            for (int i = 0; i < 4; ++i) {
                shoot(names[i]);
                if (i < 3)
                    Next(wiz);
            }
            Back(wiz);
            Back(wiz);
            Back(wiz);
            wiz.Page1()->ApplyRadio()->SetValue(true);
            Next(wiz);
            shoot("wizard_page5");
            Next(wiz);
            shoot("wizard_page6");
        }
    });
}
