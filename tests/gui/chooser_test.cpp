// The file chooser in remove and exclude mode: what it offers beside what is chosen
// (letter case ignored), the sorting of both lists, moving entries both ways, OK
// replacing the engine's list in the chosen list's order, and Cancel changing nothing.
#include "ExpertTestSupport.h"

#include "engine/common/CDirDiff.h"
#include "ui/CFileChooserDlg.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <cstdlib>

namespace {

using Texts = std::vector<std::string>;

Texts Shown(wxListBox* list)
{
    Texts texts;
    for (unsigned i = 0; i < list->GetCount(); ++i)
        texts.push_back(std::string(list->GetString(i).utf8_str()));
    return texts;
}

void Select(wxListBox* list, const std::string& text)
{
    int index = list->FindString(wxString::FromUTF8(text.c_str()), true);
    ASSERT_NE(index, wxNOT_FOUND) << text;
    list->SetSelection(index);
}

// A real mouse click, through the display server, on the entry at index of the list
// (which must be in view): the way a user selects, and the way GTK's own selection
// handling comes into play.
void ClickEntry(wxListBox* list, int index, bool twice = false)
{
    Pump(50); // a list filled anew is laid out first
    const wxSize size = list->GetClientSize();
    for (int y = 1; y < size.y; ++y) {
        if (list->HitTest(wxPoint(20, y)) != index)
            continue;
        const wxPoint at = list->ClientToScreen(wxPoint(20, y + 4));
        wxUIActionSimulator sim;
        sim.MouseMove(at);
        Pump(50);
        if (twice)
            sim.MouseDblClick();
        else
            sim.MouseClick();
        Pump(100);
        return;
    }
    ADD_FAILURE() << "entry " << index << " is not in view";
}

std::vector<int> Selected(wxListBox* list)
{
    wxArrayInt selected;
    list->GetSelections(selected);
    return std::vector<int>(selected.begin(), selected.end());
}

class Chooser : public testing::Test {
protected:
    Chooser() : engine(TestApp().Core())
    {
        for (const char* name : {"b.txt", "A.txt", "sub/c.txt", "Readme", "d.TXT"})
            engine.AddFoundFile("/w", name);
    }
    CDirDiff engine;
};

} // namespace

TEST_F(Chooser, RemoveModeOffersWhatIsNotChosenLetterCaseIgnoredAndSortsBothLists)
{
    engine.AddRemoveFile("/w/d.txt"); // the found /w/d.TXT differs only in case
    engine.AddRemoveFile("/w/gone.dat");
    engine.AddRemoveFile("/w/Alpha");
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kRemoveMode, &engine);
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.GetTitle(), "Choose files to remove from the user's file system");
        EXPECT_EQ(dlg.ExistingLabel()->GetLabel(), "Existing Files:");
        EXPECT_EQ(dlg.ChosenLabel()->GetLabel(), "Files to Remove:");
        EXPECT_EQ(dlg.MoveDownButton()->GetLabel(), "&Move selected files to Files To Remove list");
        EXPECT_EQ(dlg.MoveUpButton()->GetLabel(), "&Remove selected files from the Files To Remove list");
        EXPECT_EQ(Shown(dlg.ExistingList()), (Texts{"/w/A.txt", "/w/b.txt", "/w/Readme", "/w/sub/c.txt"}));
        EXPECT_EQ(Shown(dlg.ChosenList()), (Texts{"/w/Alpha", "/w/d.txt", "/w/gone.dat"}));
        // Several entries can be selected, each click toggling one (no Shift ranges).
        EXPECT_TRUE(dlg.ExistingList()->HasFlag(wxLB_MULTIPLE));
        EXPECT_FALSE(dlg.ExistingList()->HasFlag(wxLB_EXTENDED));
        EXPECT_TRUE(dlg.ChosenList()->HasFlag(wxLB_MULTIPLE));
        EXPECT_EQ(dlg.FindWindow(CFileChooserDlg::kIdExistingList), dlg.ExistingList());
        EXPECT_EQ(dlg.FindWindow(CFileChooserDlg::kIdChosenList), dlg.ChosenList());
    });
}

TEST_F(Chooser, ExcludeModeRetitlesItselfAndEditsTheExcludeList)
{
    engine.AddRemoveFile("/w/A.txt"); // the remove list plays no part here
    engine.AddExcludeFile("/w/b.txt");
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kExcludeMode, &engine);
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.GetTitle(), "Choose Files To Exclude From Patching");
        EXPECT_EQ(dlg.ExistingLabel()->GetLabel(), "Files in New Files folder:");
        EXPECT_EQ(dlg.ChosenLabel()->GetLabel(), "Files to Exclude:");
        EXPECT_EQ(dlg.MoveDownButton()->GetLabel(), "&Move selected files to Files To Exclude list");
        EXPECT_EQ(dlg.MoveUpButton()->GetLabel(), "&Remove selected files from the Files To Exclude list");
        EXPECT_EQ(Shown(dlg.ChosenList()), (Texts{"/w/b.txt"}));
        EXPECT_EQ(Shown(dlg.ExistingList()), (Texts{"/w/A.txt", "/w/d.TXT", "/w/Readme", "/w/sub/c.txt"}));
        Select(dlg.ExistingList(), "/w/sub/c.txt");
        Select(dlg.ExistingList(), "/w/A.txt");
        Click(&dlg, CFileChooserDlg::kIdMoveDown);
        Click(&dlg, wxID_OK);
    });
    EXPECT_EQ(engine.ExcludeList(), (Texts{"/w/A.txt", "/w/b.txt", "/w/sub/c.txt"}));
    EXPECT_EQ(engine.RemoveList(), (Texts{"/w/A.txt"}));

    TestApp().SetHelpWindowsEnabled(false);
    CFileChooserDlg help(nullptr, CFileChooserDlg::kExcludeMode, &engine);
    Click(&help, CFileChooserDlg::kIdHelp);
    EXPECT_EQ(TestApp().LastHelpContext(), 106);
    CFileChooserDlg removeHelp(nullptr, CFileChooserDlg::kRemoveMode, &engine);
    Click(&removeHelp, CFileChooserDlg::kIdHelp);
    EXPECT_EQ(TestApp().LastHelpContext(), 100);
}

TEST_F(Chooser, MovesSelectedEntriesBothWaysAndOkStoresTheChosenOrder)
{
    engine.AddRemoveFile("/w/old/removed-long-ago"); // not found any more
    engine.AddRemoveFile("/w/Readme");
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kRemoveMode, &engine);
    int rc = RunModal(dlg, [&] {
        Select(dlg.ExistingList(), "/w/d.TXT");
        Select(dlg.ExistingList(), "/w/b.txt");
        Click(&dlg, CFileChooserDlg::kIdMoveDown);
        EXPECT_EQ(Shown(dlg.ExistingList()), (Texts{"/w/A.txt", "/w/sub/c.txt"}));
        EXPECT_EQ(Shown(dlg.ChosenList()), (Texts{"/w/b.txt", "/w/d.TXT", "/w/old/removed-long-ago", "/w/Readme"}));
        wxArrayInt selected;
        EXPECT_EQ(dlg.ExistingList()->GetSelections(selected), 0);

        // The entry whose file no longer exists goes back up like any other.
        Select(dlg.ChosenList(), "/w/old/removed-long-ago");
        Select(dlg.ChosenList(), "/w/Readme");
        Click(&dlg, CFileChooserDlg::kIdMoveUp);
        EXPECT_EQ(Shown(dlg.ChosenList()), (Texts{"/w/b.txt", "/w/d.TXT"}));
        EXPECT_EQ(Shown(dlg.ExistingList()),
                  (Texts{"/w/A.txt", "/w/old/removed-long-ago", "/w/Readme", "/w/sub/c.txt"}));
        // Nothing selected: the buttons move nothing.
        Click(&dlg, CFileChooserDlg::kIdMoveDown);
        Click(&dlg, CFileChooserDlg::kIdMoveUp);
        EXPECT_EQ(dlg.ExistingList()->GetCount(), 4u);
        EXPECT_EQ(dlg.ChosenList()->GetCount(), 2u);
        Click(&dlg, wxID_OK);
    });
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_EQ(engine.RemoveList(), (Texts{"/w/b.txt", "/w/d.TXT"}));
}

// Selected with the mouse, each click toggles one entry, and a move takes exactly the
// selected entries: every other entry stays where it was (16 files chosen, one clicked
// and moved back, 15 stay chosen).
TEST_F(Chooser, MouseClicksToggleEntriesAndMovesKeepEveryOtherEntry)
{
    Texts sixteen;
    for (int i = 0; i < 16; ++i) {
        sixteen.push_back("/w/chosen-" + std::string(1, static_cast<char>('a' + i)));
        engine.AddRemoveFile(sixteen.back());
    }
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kRemoveMode, &engine);
    int rc = RunModal(dlg, [&] {
        dlg.Raise();
        Pump(200);
        ClickEntry(dlg.ChosenList(), 0);
        EXPECT_EQ(Selected(dlg.ChosenList()), std::vector<int>{0});
        Click(&dlg, CFileChooserDlg::kIdMoveUp);
        EXPECT_EQ(Shown(dlg.ChosenList()), Texts(sixteen.begin() + 1, sixteen.end()));
        EXPECT_EQ(Shown(dlg.ExistingList()),
                  (Texts{"/w/A.txt", "/w/b.txt", "/w/chosen-a", "/w/d.TXT", "/w/Readme", "/w/sub/c.txt"}));
        EXPECT_EQ(Selected(dlg.ChosenList()), std::vector<int>{});
        EXPECT_EQ(Selected(dlg.ExistingList()), std::vector<int>{});

        // Clicks without Ctrl: the second adds to the first, a third on the first takes
        // it away again.
        ClickEntry(dlg.ExistingList(), 1);
        ClickEntry(dlg.ExistingList(), 3);
        EXPECT_EQ(Selected(dlg.ExistingList()), (std::vector<int>{1, 3}));
        ClickEntry(dlg.ExistingList(), 0);
        ClickEntry(dlg.ExistingList(), 1);
        EXPECT_EQ(Selected(dlg.ExistingList()), (std::vector<int>{0, 3}));
        ClickEntry(dlg.ExistingList(), 2, true); // a double click: two toggles
        EXPECT_EQ(Selected(dlg.ExistingList()), (std::vector<int>{0, 3}));
        Click(&dlg, CFileChooserDlg::kIdMoveDown);
        EXPECT_EQ(Shown(dlg.ExistingList()), (Texts{"/w/b.txt", "/w/chosen-a", "/w/Readme", "/w/sub/c.txt"}));
        EXPECT_EQ(dlg.ChosenList()->GetCount(), 17u);
        Click(&dlg, wxID_OK);
    });
    EXPECT_EQ(rc, wxID_OK);
    Texts expected(sixteen.begin() + 1, sixteen.end());
    expected.insert(expected.begin(), "/w/A.txt");
    expected.push_back("/w/d.TXT");
    EXPECT_EQ(engine.RemoveList(), expected);
}

TEST_F(Chooser, CancelKeepsTheEngineListWhateverWasMoved)
{
    engine.AddExcludeFile("/w/sub/c.txt");
    engine.AddExcludeFile("/w/A.txt");
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kExcludeMode, &engine);
    int rc = RunModal(dlg, [&] {
        Select(dlg.ChosenList(), "/w/A.txt");
        Click(&dlg, CFileChooserDlg::kIdMoveUp);
        Select(dlg.ExistingList(), "/w/Readme");
        Click(&dlg, CFileChooserDlg::kIdMoveDown);
        Click(&dlg, wxID_CANCEL);
    });
    EXPECT_EQ(rc, wxID_CANCEL);
    EXPECT_EQ(engine.ExcludeList(), (Texts{"/w/sub/c.txt", "/w/A.txt"}));
}

TEST_F(Chooser, AllFilesChosenLeaveNothingToOfferAndAnEmptyChoiceEmptiesTheList)
{
    for (size_t i = 0; i < engine.DiffCount(); ++i)
        engine.AddRemoveFile(engine.DiffItem(i));
    CFileChooserDlg dlg(nullptr, CFileChooserDlg::kRemoveMode, &engine);
    RunModal(dlg, [&] {
        EXPECT_EQ(dlg.ExistingList()->GetCount(), 0u);
        EXPECT_EQ(dlg.ChosenList()->GetCount(), 5u);
        for (unsigned i = 0; i < dlg.ChosenList()->GetCount(); ++i)
            dlg.ChosenList()->SetSelection(static_cast<int>(i));
        Click(&dlg, CFileChooserDlg::kIdMoveUp);
        EXPECT_EQ(dlg.ChosenList()->GetCount(), 0u);
        Click(&dlg, wxID_OK);
    });
    EXPECT_EQ(engine.RemoveCount(), 0u);
}

namespace {

// Only when asked for by expert_screenshots.sh, which runs each in a process of its own
// (a second window shown by one process under the bare virtual display is not drawn).
void ChooserScreenshot(int mode, const char* name)
{
    const char* folder = std::getenv("DELVORIN_EXPERT_SCREENSHOTS");
    if (!folder)
        GTEST_SKIP() << "screenshots not asked for";
    CDirDiff engine(TestApp().Core());
    for (const char* file : {"bin/tool", "bin/helper", "lib/libexample-runtime.so.1.2.3", "README.txt",
                             "share/doc/CHANGES", "share/data.bin"})
        engine.AddFoundFile("/opt/app", file);
    engine.AddRemoveFile("/opt/app/share/obsolete.dat");
    engine.AddExcludeFile("/opt/app/README.txt");
    CFileChooserDlg dlg(nullptr, mode, &engine);
    dlg.InitDialog();
    dlg.ExistingList()->SetSelection(1);
    expert::SaveScreenshot(&dlg, std::string(folder) + "/" + name);
}

} // namespace

TEST(ChooserScreenshots, RemoveMode)
{
    ChooserScreenshot(CFileChooserDlg::kRemoveMode, "chooser_remove.png");
}

TEST(ChooserScreenshots, ExcludeMode)
{
    ChooserScreenshot(CFileChooserDlg::kExcludeMode, "chooser_exclude.png");
}
