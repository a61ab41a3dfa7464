// The Build page of the real Expert mode window: its controls, the default-folder and
// extension rules, the browse commands, the checks before a build with their messages
// and focus, builds that give the same patch as the command-line program, failure and
// cancel, project files, the small dialogs it runs and the points where it stores its
// fields into the settings record.
#include "ExpertTestSupport.h"

#include "app/IniFile.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileTimes.h"
#include "support/CliRun.h"
#include "support/ScopedEnv.h"
#include "support/TestFolder.h"
#include "ui/CDialogTextDlg.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/CSplitDlg.h"
#include "ui/CTextViewerDlg.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <cstdlib>
#include <ctime>
#include <unistd.h>

using namespace expert;

namespace {

using Page = CBuildPatchPage;

// A step for the chooser: selects the given entries of the existing list, moves them
// down and presses OK, inside the dialog's modal run.
std::function<int(CFileChooserDlg&)> PickFiles(std::vector<std::string> picks)
{
    return [picks](CFileChooserDlg& dlg) {
        dlg.CallAfter([&dlg, picks] {
            for (const std::string& pick : picks) {
                int index = dlg.ExistingList()->FindString(wxString::FromUTF8(pick.c_str()), true);
                EXPECT_NE(index, wxNOT_FOUND) << pick;
                if (index != wxNOT_FOUND)
                    dlg.ExistingList()->SetSelection(index);
            }
            Click(&dlg, CFileChooserDlg::kIdMoveDown);
            Click(&dlg, wxID_OK);
        });
        return int(wxID_NONE);
    };
}

class BuildPage : public testing::Test {
protected:
    BuildPage() { ResetExpertSettings(); }
    ~BuildPage() override { ResetExpertSettings(); }
};

} // namespace

TEST_F(BuildPage, HasEveryControlInTheOrderOfTheFormAndRelabelsTheSheet)
{
    CExpertWindow window;
    Page* page = window.Build();
    ExpectForm(page, {
        {-1, "Old files folder"}, {Page::kIdOldFolder, ""}, {Page::kIdBrowseOld, "Browse ..."},
        {Page::kIdRemoveFiles, "&Remove Files From Current File System"}, {-1, "New files folder"},
        {Page::kIdNewFolder, ""}, {Page::kIdBrowseNew, "Browse ..."},
        {Page::kIdExcludeFiles, "&Exclude Files From The Patch Process"}, {-1, "Default apply folder:"},
        {Page::kIdDefaultFolder, ""}, {Page::kIdDefaultFollowsOld, "Make default folder name same as Old folder."},
        {-1, "Patch file name:"}, {Page::kIdPatchFile, ""}, {Page::kIdBrowsePatch, "Browse ..."},
        {Page::kIdSelfExtract, "Create self-extracting patch program"}, {Page::kIdSplit, "Split..."},
        {Page::kIdForLinux, "for &Linux"}, {Page::kIdForWindows, "for &Windows"},
        {Page::kIdLogFile, "Create log file"}, {Page::kIdViewLog, "&View Log File..."},
        {Page::kIdDialogText, "Dialog &Text..."},
        {Page::kIdThorough, "Thorough matching (smaller patch, slower build)"}, {-1, "Patch format:"},
        {Page::kIdClassicFormat, "Cl&assic (read by every reader of the format)"},
        {Page::kIdCompactFormat,
         "Co&mpact (smallest patches; applied by this program and its self-extracting programs)"},
        {Page::kIdOpenProject, "&Open Project..."},
        {Page::kIdClearProject, "&Clear Project..."}, {Page::kIdSaveProject, "&Save Project..."},
        {Page::kIdBuild, "&Build Patch"}, {Page::kIdHelp, "&Help"}, {Page::kIdExit, "E&xit"},
    });
    EXPECT_EQ(window.frame->Sheet()->Notebook()->GetPageText(0), "Build Patch File");
    EXPECT_FALSE(window.frame->Sheet()->OkButton()->IsShown());
    EXPECT_EQ(window.frame->Sheet()->CancelButton()->GetLabel(), "Exit");
}

TEST_F(BuildPage, LoadsItsFieldsOnceAndKeepsTheExtensionFollowingTheSelfExtractBox)
{
    CSettings& s = TestApp().Settings();
    s.oldFolder = "/src/v1";
    s.newFolder = "/src/v2";
    s.defaultFolder = "/opt/app";
    s.patchFile = "/out/patch.dvp";
    s.selfExtract = 1;
    s.logFile = 1;
    s.defaultEqualsNew = 0;
    CExpertWindow window;
    Page* page = window.Build();
    EXPECT_EQ(BuildFields(page), Row("/src/v1", "/src/v2", "/opt/app", "/out/patch.exe"));
    EXPECT_TRUE(page->LogFileCheck()->GetValue());
    EXPECT_TRUE(page->SelfExtractCheck()->GetValue());
    EXPECT_FALSE(page->DefaultFollowsOldCheck()->GetValue());

    // Each click of the box, after the name typed (none: the name as it is). A name
    // without an extension gets one; only the file's own name counts, so the '.' of a
    // folder name never moves the patch into another folder.
    struct { const char* typed; const char* after; } clicks[] = {
        {nullptr, "/out/patch.dvp"}, {nullptr, "/out/patch.exe"}, {"/out/update", "/out/update.dvp"},
        {"/home/me/.cache/v1.2/update", "/home/me/.cache/v1.2/update.exe"}, {"", ""}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.after);
        if (c.typed)
            Type(page->PatchFileEdit(), c.typed);
        ClickCheck(page->SelfExtractCheck());
        EXPECT_EQ(Value(page->PatchFileEdit()), c.after);
    }
    EXPECT_EQ(s.patchFile, "/out/patch.dvp"); // the settings record waits for a store point
}

TEST_F(BuildPage, DefaultApplyFolderFollowsTheOldFolderKeystrokeByKeystroke)
{
    CExpertWindow window;
    Page* page = window.Build();
    ASSERT_TRUE(page->DefaultFollowsOldCheck()->GetValue());
    page->OldFolderEdit()->AppendText("/h");
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/h");
    page->OldFolderEdit()->AppendText("o");
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/ho");

    ClickCheck(page->DefaultFollowsOldCheck());
    Type(page->DefaultFolderEdit(), "/opt/elsewhere");
    page->OldFolderEdit()->AppendText("me");
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/opt/elsewhere");
    ClickCheck(page->DefaultFollowsOldCheck()); // ticking copies at once
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/home");
}

TEST_F(BuildPage, BrowseCommandsAskWithTheirTitlesAndKeepFieldsOnCancel)
{
    CExpertWindow window;
    Page* page = window.Build();
    CDesktopScript desktop;
    desktop.Choose("");
    desktop.Browse(page, Page::kIdBrowseOld, "/data/old");
    EXPECT_EQ(Value(page->OldFolderEdit()), "");
    Click(page, Page::kIdBrowseOld);
    EXPECT_EQ(Value(page->OldFolderEdit()), "/data/old");
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/data/old");
    ASSERT_EQ(desktop.requests.size(), 2u);
    EXPECT_EQ(desktop.requests[0].title, "Browse for Old Files Folder");
    EXPECT_TRUE(desktop.requests[0].kind == CPathRequest::Kind::Folder);
    // The browser opens at the folder in the field, or at home when there is none.
    const std::string home = wxGetHomeDir().ToStdString();
    EXPECT_EQ(desktop.requests[0].startFolder, home);
    EXPECT_EQ(desktop.requests[1].startFolder, home); // "/data/old" does not exist

    // The new-folder browse applies the default-folder rule even when cancelled.
    Type(page->DefaultFolderEdit(), "/typed/by/hand");
    desktop.Browse(page, Page::kIdBrowseNew, "");
    EXPECT_EQ(Value(page->NewFolderEdit()), "");
    EXPECT_EQ(Value(page->DefaultFolderEdit()), "/data/old");
    CTestFolder scratch;
    Type(page->NewFolderEdit(), scratch.Path());
    desktop.Browse(page, Page::kIdBrowseNew, "/data/new");
    EXPECT_EQ(Value(page->NewFolderEdit()), "/data/new");
    EXPECT_EQ(desktop.requests[3].title, "Browse for New Files Folder");
    EXPECT_EQ(desktop.requests[3].startFolder, scratch.Path());

    // Save Patch File As: the pattern follows the self-extract box, the extension too.
    desktop.Browse(page, Page::kIdBrowsePatch, "/out/update");
    EXPECT_EQ(Value(page->PatchFileEdit()), "/out/update.dvp");
    const CPathRequest& save = desktop.requests[4];
    EXPECT_EQ(save.title, "Save Patch File As");
    EXPECT_TRUE(save.kind == CPathRequest::Kind::SaveFile);
    EXPECT_EQ(save.defaultFile, "new.dvp"); // the new files folder's name, not "*.dvp"
    EXPECT_EQ(save.wildcard, "*.dvp");
    EXPECT_EQ(save.startFolder, home); // "/data" does not exist
    EXPECT_TRUE(save.overwritePrompt);
    ClickCheck(page->SelfExtractCheck());
    Type(page->PatchFileEdit(), scratch / "fix.exe");
    desktop.Browse(page, Page::kIdBrowsePatch, "/out/update.dvp");
    // The save dialog opens in the folder of the patch file named, proposing its name.
    EXPECT_EQ(desktop.requests[5].wildcard, "*.exe");
    EXPECT_EQ(desktop.requests[5].defaultFile, "fix.exe");
    EXPECT_EQ(desktop.requests[5].startFolder, scratch.Path());

    // With a field empty, a dialog opens beside the last folder chosen: the new files
    // folder's browser beside the old one, the patch's save dialog beside the new one.
    const std::string v1 = scratch.MakeFolder("rel/app-1.0");
    const std::string v2 = scratch.MakeFolder("rel/app-2.0");
    desktop.Browse(page, Page::kIdBrowseOld, v1);
    Type(page->NewFolderEdit(), "");
    desktop.Browse(page, Page::kIdBrowseNew, v2);
    EXPECT_EQ(desktop.requests[7].startFolder, scratch / "rel");
    Type(page->PatchFileEdit(), "");
    desktop.Browse(page, Page::kIdBrowsePatch, "");
    EXPECT_EQ(desktop.requests[8].defaultFile, "app-2.0.exe");
    EXPECT_EQ(desktop.requests[8].startFolder, scratch / "rel");
    Type(page->PatchFileEdit(), "/out/update.exe");
    EXPECT_EQ(Value(page->PatchFileEdit()), "/out/update.exe");
    desktop.Browse(page, Page::kIdBrowsePatch, "");
    EXPECT_EQ(Value(page->PatchFileEdit()), "/out/update.exe");
}

TEST_F(BuildPage, ChecksComeInOrderWithTheirMessagesAndFocus)
{
    CTestFolder scratch;
    CScopedEnv home("HOME", scratch.Path().c_str()); // where a name without a folder lands
    TestApp().Core().programFolder = scratch.Path();  // where the apply program is
    CExpertWindow window;
    Page* page = window.Build();
    page->Raise();
    Pump(100);

    struct Case {
        const char* oldFolder;
        const char* newFolder;
        const char* patch;
        const char* defaultFolder;
        bool selfExtract;
        std::string message;
        wxTextCtrl* focus; // nullptr: no focus rule
    };
    const std::string m129 = LoadString(129), m130 = LoadString(130);
    // The new folder reached through a link, and an apply program a split of 40 KB
    // leaves no room in.
    const std::string realNew = scratch.MakeFolder("new"), throughLink = scratch / "link/p.dvp";
    ASSERT_EQ(symlink(realNew.c_str(), (scratch / "link").c_str()), 0);
    scratch.WriteBytes("DvApply.exe", RandomBytes(40000, 3));
    TestApp().Settings().splitSize = 40;
    const std::string tooSmall = "The split size of 40 KB is too small for a self-extracting patch program:\nits first "
                                 "file must hold the apply program DvApply.exe (40000 bytes) and the start of the "
                                 "patch.\nThe smallest split size that works is 41 KB.";
    const Case cases[] = {
        {"", "/n", "/p.dvp", "", false, "You must specify two folders to build a patch file.", page->OldFolderEdit()},
        {"/o|ld", "/n", "/p.dvp", "", false, m129, page->OldFolderEdit()},
        {"/o", "", "/p.dvp", "", false, "You must specify two folders to build a patch file.", page->NewFolderEdit()},
        {"/o", "/n*", "/p.dvp", "", false, m129, page->NewFolderEdit()},
        {"/o", "/o", "", "", false,
         "You must specify different folder names for the old files folder\nand the new files folder to build a "
         "patch file.", nullptr},
        {"/o", "/n", "", "", false, "Please specify a patch file name.", page->PatchFileEdit()},
        {"/o", "/n", "/out/p?.dvp", "", false, m130, page->PatchFileEdit()},
        {"/o", "/n", "/out/back\\slash.dvp", "", false, m130, page->PatchFileEdit()},
        {"/o", "/n", "/p.dvp", "/opt/a*b", false, m129, page->DefaultFolderEdit()},
        {"/o", "/n", "/out/p.dvp", "", true,
         "To create a self-extracting patch program,\nthe file name extension must be \".exe\"", page->PatchFileEdit()},
        {"/o", "/n", "/out/p.exe/x", "", true,
         "To create a self-extracting patch program,\nthe file name extension must be \".exe\"", page->PatchFileEdit()},
        {"/o", "/n", "/n/sub/p.dvp", "", false,
         "The patch file cannot be created inside the new files folder,\nsince the build would take it for one of "
         "the new files.", page->PatchFileEdit()},
        {"/o", realNew.c_str(), throughLink.c_str(), "", false,
         "The patch file cannot be created inside the new files folder,\nsince the build would take it for one of "
         "the new files.", page->PatchFileEdit()},
        {"/o", "/n", "/out/p.exe", "", true, tooSmall, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CFocusPrompt prompts;
        CDialogScript dialogs; // none may appear
        TestApp().Settings().logFile = 0;
        if (page->DefaultFollowsOldCheck()->GetValue())
            ClickCheck(page->DefaultFollowsOldCheck());
        FillBuild(page, c.oldFolder, c.newFolder, c.patch);
        Type(page->DefaultFolderEdit(), c.defaultFolder);
        if (page->SelfExtractCheck()->GetValue() != c.selfExtract)
            page->SelfExtractCheck()->SetValue(c.selfExtract);
        if (!page->LogFileCheck()->GetValue())
            ClickCheck(page->LogFileCheck());
        page->FindWindow(Page::kIdBuild)->SetFocus();
        Pump(10);

        Click(page, Page::kIdBuild);
        ASSERT_EQ(prompts.Shown().size(), 1u);
        EXPECT_EQ(prompts.Shown()[0].text, c.message);
        EXPECT_EQ(prompts.Shown()[0].title, "Delvorin Warning!");
        EXPECT_TRUE(prompts.Shown()[0].buttons == PromptButtons::OK);
        // The log option is taken before the first check.
        EXPECT_EQ(TestApp().Settings().logFile, 1);
        wxWindow* after = wxWindow::FindFocus();
        if (c.focus == page->PatchFileEdit()) {
            // The patch file name's edit gets the focus once the box is closed.
            EXPECT_NE(prompts.focusAtAsk[0], c.focus);
            EXPECT_EQ(after, c.focus);
        } else if (c.focus) {
            EXPECT_EQ(prompts.focusAtAsk[0], c.focus);
        } else {
            EXPECT_EQ(after, page->FindWindow(Page::kIdBuild));
        }
    }
    EXPECT_FALSE(fsys::PathExists(scratch / "p.dvp"));
    TestApp().Core().programFolder = fsys::ProgramFolder();
    TestApp().Settings().splitSize = 0;
}

TEST_F(BuildPage, ANameWithoutAFolderGoesToTheHomeFolderAndFoldersDifferingInCaseAreDifferent)
{
    CTestFolder scratch;
    CScopedEnv home("HOME", scratch.Path().c_str());
    CExpertWindow window;
    Page* page = window.Build();
    CFocusPrompt prompts;
    CDialogScript dialogs;
    std::string whoops;
    dialogs.ExpectMessage<CWhoopsDlg>(&whoops);
    FillBuild(page, scratch / "a", scratch / "A", "update");
    Click(page, Page::kIdBuild);
    EXPECT_TRUE(prompts.Shown().empty());
    // Both folders pass the checks; the build itself finds no old folder.
    EXPECT_EQ(whoops, "The folder for the old files does not exist.");
    EXPECT_EQ(Value(page->PatchFileEdit()), scratch / "update");
    EXPECT_FALSE(fsys::PathExists(scratch / "update.~dvp")); // the work file is gone
    EXPECT_FALSE(fsys::PathExists(scratch / "update"));
}

namespace {

// Two trees to build a patch between: changed, new, unchanged and nested files, one new
// file to leave out and one old file to remove.
struct CTrees {
    CTestFolder folder;
    std::string oldFolder, newFolder;
    CTrees()
    {
        oldFolder = folder.MakeFolder("old");
        newFolder = folder.MakeFolder("new");
        std::vector<unsigned char> big = RandomBytes(6000, 7);
        folder.WriteBytes("old/lib/data.bin", big);
        big[100] ^= 0x55;
        big.insert(big.begin() + 3000, 40, 'x');
        folder.WriteBytes("new/lib/data.bin", big);
        folder.WriteBytes("new/fresh.bin", RandomBytes(4000, 8));
        folder.Write("old/readme.txt", "same text\n");
        folder.Write("new/readme.txt", "same text\n");
        folder.Write("old/notes.txt", "first notes\n");
        folder.Write("new/notes.txt", "second notes, longer\n");
        folder.Write("new/skip.txt", "left out of the patch\n");
        folder.Write("old/obsolete.txt", "removed by the patch\n");
        PinTreeTimes(oldFolder, 1600000000);
        PinTreeTimes(newFolder, 1600000000);
    }
};

// Fills the page, picks the excluded and the removed file through the chooser, sets
// the dialog text through its dialog and builds. Returns the success message.
std::string BuildFromPage(const CTrees& trees, const std::string& patch, bool selfExtract, uint16_t splitSize,
                          bool thorough)
{
    CExpertWindow window;
    Page* page = window.Build();
    CDialogScript dialogs;
    FillBuild(page, trees.oldFolder, trees.newFolder, patch);
    if (page->SelfExtractCheck()->GetValue() != selfExtract)
        ClickCheck(page->SelfExtractCheck());
    if (page->ThoroughCheck()->GetValue() != thorough)
        ClickCheck(page->ThoroughCheck());

    dialogs.Expect<CFileChooserDlg>(PickFiles({trees.newFolder + "/skip.txt"}));
    Click(page, Page::kIdExcludeFiles);
    dialogs.Expect<CFileChooserDlg>(PickFiles({trees.oldFolder + "/obsolete.txt"}));
    Click(page, Page::kIdRemoveFiles);
    EXPECT_EQ(TestApp().GetDirDiff().ExcludeList(), std::vector<std::string>{trees.newFolder + "/skip.txt"});
    EXPECT_EQ(TestApp().GetDirDiff().RemoveList(), std::vector<std::string>{trees.oldFolder + "/obsolete.txt"});

    dialogs.Expect<CDialogTextDlg>([](CDialogTextDlg& dlg) {
        dlg.CallAfter([&dlg] {
            dlg.TextEdit()->SetValue("Close the program before you update it.");
            Click(&dlg, wxID_OK);
        });
        return int(wxID_NONE);
    });
    Click(page, Page::kIdDialogText);
    dialogs.Expect<CSplitDlg>([splitSize](CSplitDlg& dlg) {
        dlg.CallAfter([&dlg, splitSize] {
            dlg.SizeCombo()->SetValue(splitSize ? std::to_string(splitSize) : CSplitDlg::kNoSplit);
            Click(&dlg, wxID_OK);
        });
        return int(wxID_NONE);
    });
    Click(page, Page::kIdSplit);
    EXPECT_EQ(TestApp().Settings().splitSize, splitSize);

    std::string success;
    dialogs.ExpectMessage<CSuccessDlg>(&success);
    Click(page, Page::kIdBuild);
    EXPECT_TRUE(window.frame->IsEnabled()); // enabled again once the progress dialog went
    return success;
}

void BuildWithCommandLine(const CTrees& trees, const std::string& patch, bool selfExtract, uint16_t splitSize,
                          bool thorough)
{
    ASSERT_TRUE(CliSucceeds("build " + Quoted(trees.oldFolder) + " " + Quoted(trees.newFolder) + " " + Quoted(patch) +
                                " --exclude skip.txt --remove obsolete.txt --publisher 'Ada Lovelace' --organization "
                                "'Analytical Engines Ltd' --dialog-text 'Close the program before you update it.'"
                                " --split " + std::to_string(splitSize) + (selfExtract ? " --self-extract" : "") +
                                (thorough ? " --thorough" : ""),
                            trees.folder.Path()));
}

} // namespace

TEST_F(BuildPage, BuildsTheSamePatchAsTheCommandLineProgram)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    ASSERT_NE(bin, nullptr);
    const std::string stub = std::string(bin) + "/DvApply.exe";
    struct Variant { const char* name; bool selfExtract; uint16_t split; bool thorough; };
    for (const Variant& v : {Variant{"plain", false, 0, false}, Variant{"split", false, 2, false},
                             Variant{"program", true, 0, false}, Variant{"thorough", false, 2, true}}) {
        SCOPED_TRACE(v.name);
        if (v.selfExtract && !fsys::FileExists(stub)) {
            ADD_FAILURE() << "no apply program at " << stub;
            continue;
        }
        ResetExpertSettings();
        CTrees trees;
        CPromptScript prompts;
        TestApp().Core().programFolder = bin; // where the apply program is
        const std::string ext = v.selfExtract ? ".exe" : ".dvp";
        const std::string pagePatch = trees.folder.MakeFolder("page") + "/update" + ext;
        const std::string cliPatch = trees.folder.MakeFolder("cli") + "/update" + ext;
        EXPECT_EQ(BuildFromPage(trees, pagePatch, v.selfExtract, v.split, v.thorough),
                  "The Patch File: " + pagePatch + " was successfully created.");
        EXPECT_TRUE(prompts.prompts.Shown().empty());
        BuildWithCommandLine(trees, cliPatch, v.selfExtract, v.split, v.thorough);

        uint64_t stubLength = 0;
        if (v.selfExtract)
            fsys::FileLength(stub, stubLength);
        int pageParts = 0, cliParts = 0;
        std::vector<unsigned char> pageImage = PatchImage(pagePatch, stubLength, pageParts);
        std::vector<unsigned char> cliImage = PatchImage(cliPatch, stubLength, cliParts);
        ASSERT_GT(pageImage.size(), 732u);
        EXPECT_EQ(pageParts, cliParts);
        EXPECT_EQ(pageParts > 1, v.split != 0);
        EXPECT_EQ(FirstDifference(WithoutDate(pageImage), WithoutDate(cliImage)), "");
        EXPECT_FALSE(fsys::PathExists(trees.folder / "page/update.~dvp"));
        // The settings record got the log option and the default apply folder.
        EXPECT_EQ(TestApp().Settings().defaultFolder, trees.oldFolder);
    }
    TestApp().Core().programFolder = fsys::ProgramFolder();
}

// The patch format and the self-extracting program's system, each set with a real click:
// the build writes a compact patch, and both choices are kept in the settings record (and
// so in the profile) and shown again by the next Expert mode window.
TEST_F(BuildPage, FormatAndSystemChoicesTakeRealClicksAndAreKept)
{
    CTrees trees;
    const std::string patch = trees.folder.MakeFolder("out") + "/update.dvp";
    {
        CExpertWindow window;
        Page* page = window.Build();
        window.frame->Raise();
        EXPECT_TRUE(page->FormatChoice().First()->GetValue());
        EXPECT_FALSE(page->SystemChoice().First()->IsEnabled()); // no self-extracting program yet
        RealClick(page->FormatChoice().Second());
        EXPECT_TRUE(page->FormatChoice().Second()->GetValue());
        ClickCheck(page->SelfExtractCheck());
        ASSERT_TRUE(page->SystemChoice().Second()->IsEnabled());
        RealClick(page->SystemChoice().Second());
        EXPECT_TRUE(page->SystemChoice().Second()->GetValue());
        ClickCheck(page->SelfExtractCheck()); // a plain patch file is built below

        CDialogScript dialogs;
        std::string success;
        dialogs.ExpectMessage<CSuccessDlg>(&success);
        FillBuild(page, trees.oldFolder, trees.newFolder, patch);
        Click(page, Page::kIdBuild);
        EXPECT_EQ(success, "The Patch File: " + patch + " was successfully created.");
        EXPECT_EQ(TestApp().Settings().compact, 1);
    }
    const CRun info = RunCliIn("info " + Quoted(patch), trees.folder.Path());
    EXPECT_NE(info.out.find("Format:            compact"), std::string::npos) << info.out << info.err;
    EXPECT_EQ(TestApp().Settings().forWindows, 1);

    CExpertWindow again;
    EXPECT_TRUE(again.Build()->FormatChoice().Second()->GetValue());
    EXPECT_TRUE(again.Build()->SystemChoice().Second()->GetValue());
}

TEST_F(BuildPage, IdenticalFoldersCancelAndAMissingApplyProgramLeaveNoPatchFile)
{
    CTrees trees;
    ASSERT_TRUE(CopyTree(trees.oldFolder, trees.folder / "same"));
    PinTreeTimes(trees.folder / "same", 1600000000);
    CExpertWindow window;
    Page* page = window.Build();
    CDialogScript dialogs; // no picture dialog may appear
    const std::string patch = trees.folder.MakeFolder("out") + "/update.dvp";
    FillBuild(page, trees.oldFolder, trees.folder / "same", patch);
    EXPECT_EQ(OnlyPrompt([&] { Click(page, Page::kIdBuild); }).text,
              "The old file folder and the new file folder are identical.\nNo Delvorin file was created.");
    EXPECT_FALSE(fsys::PathExists(patch));

    // Cancel in the progress dialog, confirmed: no message and no file.
    Type(page->NewFolderEdit(), trees.newFolder);
    wxTheApp->CallAfter([] {
        if (wxWindow* progress = TestApp().ActiveProgressDialog())
            Click(progress, wxID_CANCEL);
    });
    EXPECT_EQ(OnlyPrompt([&] { Click(page, Page::kIdBuild); }, {PromptAnswer::Yes}).title, "Delvorin Warning");
    EXPECT_FALSE(fsys::PathExists(patch));
    EXPECT_FALSE(fsys::PathExists(trees.folder / "out/update.~dvp"));

    // A self-extracting program needs the apply program in the program folder.
    TestApp().Core().programFolder = trees.folder.MakeFolder("empty");
    ClickCheck(page->SelfExtractCheck());
    EXPECT_EQ(OnlyPrompt([&] { Click(page, Page::kIdBuild); }).text, LoadString(127));
    TestApp().Core().programFolder = fsys::ProgramFolder();
    EXPECT_TRUE(window.frame->IsEnabled());
}

TEST_F(BuildPage, ProjectFilesAreSavedOpenedAndCleared)
{
    CTestFolder scratch;
    CExpertWindow window;
    Page* page = window.Build();
    CDesktopScript desktop;
    CDialogScript dialogs; // none may appear
    CDirDiff& engine = TestApp().GetDirDiff();
    TestApp().Settings().dialogText = "Hello";
    TestApp().Settings().splitSize = 1440;
    engine.AddRemoveFile("/src/v1/old.txt");
    engine.AddExcludeFile("/src/v2/a.log");
    engine.AddExcludeFile("/src/v2/b.log");
    FillBuild(page, "/src/v1", "/src/v2", "/out/fix.dvp");
    ClickCheck(page->DefaultFollowsOldCheck());
    Type(page->DefaultFolderEdit(), "/opt/app");
    ClickCheck(page->LogFileCheck());
    ClickCheck(page->ThoroughCheck());

    desktop.Browse(page, Page::kIdSaveProject, scratch / "release");
    EXPECT_EQ(desktop.requests[0].title, "Save Delvorin Project File");
    EXPECT_EQ(desktop.requests[0].defaultFile, "v2.dvj"); // the new files folder's name
    EXPECT_TRUE(desktop.requests[0].overwritePrompt);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(scratch / "release.dvj"));
    const char* stored[][3] = {
        {"Delvorin", "OldFolder", "/src/v1"}, {"Delvorin", "DefaultEqualsNew", "false"},
        {"Delvorin", "SelfExtract", "false"}, {"Delvorin", "PatchFile", "/out/fix.dvp"},
        {"Delvorin", "DefaultFolder", "/opt/app"}, {"Delvorin", "DialogText", "Hello"},
        {"Delvorin", "SplitSize", "1440"}, {"Delvorin", "Thorough", "true"},
        {"DelvorinFilesToExclude", "FileNameToExclude1", "/src/v2/b.log"},
        {"DelvorinFilesToDelete", "FileNameToDelete0", "/src/v1/old.txt"}};
    for (const auto& [section, key, value] : stored)
        EXPECT_EQ(ini.GetString(section, key), value) << key;

    Click(page, Page::kIdClearProject);
    EXPECT_EQ(BuildFields(page), Row("", "", "", ""));
    EXPECT_TRUE(page->SelfExtractCheck()->GetValue());
    EXPECT_TRUE(page->DefaultFollowsOldCheck()->GetValue());
    EXPECT_FALSE(page->LogFileCheck()->GetValue());
    EXPECT_FALSE(page->ThoroughCheck()->GetValue());
    EXPECT_EQ(engine.RemoveCount() + engine.ExcludeCount(), 0u);
    EXPECT_EQ(TestApp().Settings().dialogText, "Hello");
    EXPECT_EQ(TestApp().Settings().splitSize, 1440);

    TestApp().Settings().splitSize = 0;
    desktop.Browse(page, Page::kIdOpenProject, ""); // cancelled: nothing changes
    EXPECT_EQ(Value(page->OldFolderEdit()), "");
    desktop.Browse(page, Page::kIdOpenProject, scratch / "release.dvj");
    EXPECT_EQ(desktop.requests[2].title, "Open Delvorin Project File");
    EXPECT_EQ(BuildFields(page), Row("/src/v1", "/src/v2", "/opt/app", "/out/fix.dvp"));
    EXPECT_FALSE(page->SelfExtractCheck()->GetValue());
    EXPECT_FALSE(page->DefaultFollowsOldCheck()->GetValue());
    EXPECT_TRUE(page->ThoroughCheck()->GetValue());
    EXPECT_EQ(TestApp().Settings().splitSize, 1440);
    EXPECT_EQ(engine.ExcludeList(), (std::vector<std::string>{"/src/v2/a.log", "/src/v2/b.log"}));
    EXPECT_EQ(engine.RemoveList(), std::vector<std::string>{"/src/v1/old.txt"});

    // A path longer than a value read can hold comes back empty, and the user is told.
    CIniFile longer;
    longer.WriteString("Delvorin", "OldFolder", "/" + std::string(300, 'o'));
    longer.WriteString("Delvorin", "NewFolder", "/src/v3");
    ASSERT_TRUE(longer.Save(scratch / "long.dvj"));
    desktop.Choose(scratch / "long.dvj");
    EXPECT_EQ(OnlyPrompt([&] { Click(page, Page::kIdOpenProject); }).text,
              "These values of the project file are longer than 254 characters and were left empty:\nOldFolder");
    EXPECT_EQ(Row(Value(page->OldFolderEdit()), Value(page->NewFolderEdit())), Row("", "/src/v3"));

    // A project that cannot be written is reported.
    desktop.Choose(scratch / "no/such/folder/p.dvj");
    EXPECT_EQ(OnlyPrompt([&] { Click(page, Page::kIdSaveProject); }).text,
              "Unable to save the project file:\n" + scratch / "no/such/folder/p.dvj");
}

TEST_F(BuildPage, SmallDialogsLogViewerHelpAndStorePoints)
{
    CExpertWindow window;
    Page* page = window.Build();
    CDialogScript dialogs;
    TestApp().Settings().dialogText = "before";
    dialogs.Expect<CDialogTextDlg>([](CDialogTextDlg& dlg) {
        EXPECT_EQ(dlg.text, "before");
        return int(wxID_CANCEL);
    });
    Click(page, Page::kIdDialogText);
    EXPECT_EQ(TestApp().Settings().dialogText, "before");

    CDesktopScript desktop;
    Click(page, Page::kIdViewLog);
    EXPECT_EQ(desktop.shownFiles, std::vector<std::string>{TestApp().Core().log.Path()});
    auto viewers = [] {
        std::vector<CTextViewerDlg*> found;
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* viewer = dynamic_cast<CTextViewerDlg*>(w); viewer && !viewer->IsBeingDeleted())
                found.push_back(viewer);
        return found;
    };
    EXPECT_TRUE(viewers().empty());
    // Without a viewer of the desktop the program shows the log itself, read-only.
    {
        CTestFolder scratch;
        const std::string savedLog = TestApp().Core().log.Path();
        TestApp().Core().log.SetPath(scratch.Write("log.txt", "Delvorin Log File created on...\r\nline two\r\n"));
        desktop.viewerStarts = false;
        Click(page, Page::kIdViewLog);
        TestApp().Core().log.SetPath(savedLog);
        ASSERT_EQ(viewers().size(), 1u);
        CTextViewerDlg* viewer = viewers()[0];
        EXPECT_TRUE(viewer->IsShown());
        EXPECT_EQ(viewer->GetTitle(), "log.txt");
        EXPECT_EQ(viewer->TextControl()->GetValue(), "Delvorin Log File created on...\nline two\n");
        EXPECT_FALSE(viewer->TextControl()->IsEditable());
        Click(viewer, wxID_CLOSE);
        Pump(50);
        EXPECT_TRUE(viewers().empty());
    }
    Click(page, Page::kIdHelp);
    EXPECT_EQ(TestApp().LastHelpContext(), 12);

    // Leaving for the Apply page stores the seven fields.
    FillBuild(page, "/v1", "/v2", "/p.exe");
    ClickCheck(page->SelfExtractCheck());
    ClickCheck(page->LogFileCheck());
    ClickCheck(page->DefaultFollowsOldCheck());
    Type(page->DefaultFolderEdit(), "/opt/d");
    window.ShowPage(1);
    const CSettings& s = TestApp().Settings();
    EXPECT_EQ(Row(s.oldFolder, s.newFolder, s.patchFile, s.defaultFolder, s.selfExtract, s.logFile, s.defaultEqualsNew),
              Row("/v1", "/v2", "/p.exe", "/opt/d", 1, 1, 0));
    window.ShowPage(0);

    // The Exit button, a close request and the page's end store them too.
    Type(page->OldFolderEdit(), "/exit");
    Click(page, Page::kIdExit);
    EXPECT_EQ(s.oldFolder, "/exit");
    Type(page->OldFolderEdit(), "/closed");
    window.frame->Close();
    EXPECT_EQ(s.oldFolder, "/closed");
    CExpertWindow second;
    Type(second.Build()->OldFolderEdit(), "/destroyed");
    second.Delete();
    EXPECT_EQ(s.oldFolder, "/destroyed");
}

TEST(BuildPageScreenshots, FilledIn)
{
    const char* folder = std::getenv("DELVORIN_EXPERT_SCREENSHOTS");
    if (!folder)
        GTEST_SKIP() << "screenshots not asked for";
    CSettings& s = TestApp().Settings();
    s.oldFolder = "/home/ada/releases/app-1.1";
    s.newFolder = "/home/ada/releases/app-1.2";
    s.defaultFolder = s.oldFolder;
    s.patchFile = "/home/ada/out/app-1.2.exe";
    s.logFile = 1;
    s.selfExtract = 1; // with the program's system and the patch format chosen
    s.forWindows = 1;
    s.compact = 1;
    CExpertWindow window;
    SaveScreenshot(window.frame, std::string(folder) + "/expert_build_page.png");
    ResetExpertSettings();
}
