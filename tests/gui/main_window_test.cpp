// The main dialog and Expert mode: texts, buttons and picture, the delayed appearance,
// About from both places, help, and the Expert mode window whose closing ends the
// program and saves the settings.
#include "support/GuiTestSupport.h"

#include "app/Profile.h"
#include "engine/common/CDirDiff.h"
#include "ui/CAboutDlg.h"
#include "ui/CApplyPatchPage.h"
#include "ui/CBuildPatchPage.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinDlg.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/CPictureCtrl.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/testing.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <fstream>

namespace {

wxButton* Button(wxWindow* w, int id)
{
    return dynamic_cast<wxButton*>(w->FindWindow(id));
}

std::vector<wxString> StaticTexts(wxWindow* w)
{
    std::vector<wxString> texts;
    for (wxWindow* child : w->GetChildren()) {
        if (auto* text = dynamic_cast<wxStaticText*>(child)) {
            wxString s = text->GetLabel();
            s.Replace("\n", " ");
            texts.push_back(s);
        }
    }
    return texts;
}

} // namespace

TEST(MainDialog, HasTheTemplateTextsButtonsAndPicture)
{
    CDelvorinDlg dlg;
    EXPECT_EQ(dlg.GetTitle(), "Delvorin 1.2");
    std::vector<wxString> texts = StaticTexts(&dlg);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Welcome to Delvorin!");
    // The first paragraph is one text, so it wraps as one.
    EXPECT_TRUE(texts[1].StartsWith("Delvorin(TM) can be used to build or apply a patch file."));
    EXPECT_TRUE(texts[1].Contains("During the compare process, Delvorin analyzes what files"));
    EXPECT_TRUE(texts[3].EndsWith("without the Delvorin Wizard's help."));

    struct { int id; const char* label; } buttons[] = {
        {CDelvorinDlg::kIdExpert, "&Expert"}, {CDelvorinDlg::kIdWizard, "&Wizard"},
        {CDelvorinDlg::kIdAboutButton, "&About..."}, {CDelvorinDlg::kIdHelpButton, "&Help"},
        {CDelvorinDlg::kIdExit, "E&xit"},
    };
    for (const auto& b : buttons) {
        ASSERT_NE(Button(&dlg, b.id), nullptr) << b.label;
        EXPECT_EQ(Button(&dlg, b.id)->GetLabel(), b.label);
        EXPECT_TRUE(Button(&dlg, b.id)->IsEnabled()) << b.label;
    }
    EXPECT_EQ(dlg.GetDefaultItem(), Button(&dlg, CDelvorinDlg::kIdExit));
    ASSERT_NE(dlg.Picture()->Dib(), nullptr);
    EXPECT_EQ(dlg.Picture()->Dib()->Width(), 538);
    EXPECT_EQ(dlg.Picture()->Dib()->Height(), 318);
    EXPECT_TRUE(dlg.GetIcons().GetIconCount() > 0);
}

TEST(MainDialog, NoTextIsCutOffAndNothingOverlaps)
{
    CDelvorinDlg dlg;
    ExpectChildrenInsideAndApart(&dlg);
    ExpectTextsFit(&dlg);
}

TEST(MainDialog, OpensWithTheFocusOnExitAndTabsInTheOrderOfTheForm)
{
    CDelvorinDlg dlg;
    std::vector<int> tabOrder;
    for (wxWindow* child : dlg.GetChildren()) {
        if (child->AcceptsFocusFromKeyboard())
            tabOrder.push_back(child->GetId());
    }
    EXPECT_EQ(tabOrder, (std::vector<int>{CDelvorinDlg::kIdExpert, CDelvorinDlg::kIdWizard,
                                          CDelvorinDlg::kIdAboutButton, CDelvorinDlg::kIdHelpButton,
                                          CDelvorinDlg::kIdExit}));
    EXPECT_FALSE(dlg.Picture()->AcceptsFocus());
    dlg.Appear();
    dlg.Show();
    Pump(200);
    EXPECT_EQ(wxWindow::FindFocus(), Button(&dlg, CDelvorinDlg::kIdExit));
    dlg.Hide();
}

TEST(MainDialog, AppearsWhenTimer49FiresAtItsCentredRectangle)
{
    CDelvorinDlg dlg;
    EXPECT_TRUE(dlg.AppearancePending());
    dlg.Show();
    EXPECT_FALSE(dlg.IsShown()); // still waiting for the timer
    Pump(1200);
    EXPECT_FALSE(dlg.AppearancePending());
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_EQ(dlg.GetRect(), dlg.RememberedRect());
    dlg.Hide();
}

TEST(MainDialog, AboutOpensFromTheButtonAndFromTheWindowMenuEntry)
{
    CDelvorinDlg dlg;
    wxTEST_DIALOG(Click(&dlg, CDelvorinDlg::kIdAboutButton), wxExpectDismissableModal<CAboutDlg>(wxID_CANCEL));
    wxTEST_DIALOG(dlg.OnSysCommand(16), wxExpectDismissableModal<CAboutDlg>(wxID_CANCEL));
    wxTEST_DIALOG(dlg.OnSysCommand(16 | 0x5), wxExpectDismissableModal<CAboutDlg>(wxID_CANCEL));
    dlg.OnSysCommand(32); // any other command: default handling, no About box
}

TEST(MainDialog, HelpOpensContext5)
{
    CDelvorinDlg dlg;
    Click(&dlg, CDelvorinDlg::kIdHelpButton);
    EXPECT_EQ(TestApp().LastHelpContext(), 5);
}

TEST(AboutDlg, EditsTheUserNameAndOrganisation)
{
    TestApp().Core().userName = "Ada Lovelace";
    TestApp().Core().userOrganization = "";
    CAboutDlg about(nullptr);
    EXPECT_EQ(about.UserNameEdit()->GetValue(), "Ada Lovelace");
    int rc = RunModal(about, [&] {
        about.OrganizationEdit()->SetValue("Analytical Engines Ltd");
        Click(&about, wxID_OK);
    });
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_EQ(TestApp().Core().userOrganization, "Analytical Engines Ltd");

    CAboutDlg cancelled(nullptr);
    RunModal(cancelled, [&] { cancelled.UserNameEdit()->SetValue("Someone Else"); });
    EXPECT_EQ(TestApp().Core().userName, "Ada Lovelace");
}

TEST(ExpertMode, ExpertHidesTheMainDialogAndOpensTheSheetOnItsBuildPage)
{
    CDelvorinDlg dlg;
    dlg.Appear();
    dlg.Show();
    Click(&dlg, CDelvorinDlg::kIdExpert);
    EXPECT_FALSE(dlg.IsShown());
    CExpertModePropFrame* frame = dlg.ExpertFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(frame->GetTitle(), "Delvorin 1.2");
    EXPECT_EQ(Row(frame->HasFlag(wxRESIZE_BORDER), frame->HasFlag(wxMAXIMIZE_BOX), frame->HasFlag(wxMINIMIZE_BOX)),
              Row(false, false, true)); // resize, maximise and minimise

    CExpertModePropSheet* sheet = frame->Sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Caption(), "Delvorin 1.2");
    EXPECT_EQ(frame->GetClientSize(), sheet->GetSize());
    EXPECT_EQ(sheet->GetPosition(), wxPoint(0, 0));
    wxNotebook* book = sheet->Notebook();
    ASSERT_EQ(book->GetPageCount(), 2u);
    EXPECT_EQ(book->GetPageText(0) + ", " + book->GetPageText(1), "Build Patch File, Apply Patch File");
    EXPECT_EQ(book->GetCurrentPage(), sheet->BuildPage());
    EXPECT_FALSE(sheet->OkButton()->IsShown());
    EXPECT_EQ(sheet->CancelButton()->GetLabel(), "Exit");

    // F1 asks for the help of the page on show.
    wxCommandEvent help(wxEVT_MENU, wxID_HELP);
    frame->GetEventHandler()->ProcessEvent(help);
    EXPECT_EQ(TestApp().LastHelpContext(), CBuildPatchPage::kHelpContext);
    book->SetSelection(1);
    frame->GetEventHandler()->ProcessEvent(help);
    EXPECT_EQ(TestApp().LastHelpContext(), CApplyPatchPage::kHelpContext);

    // A second Expert command shows the same window again.
    frame->Hide();
    Click(&dlg, CDelvorinDlg::kIdExpert);
    EXPECT_EQ(dlg.ExpertFrame(), frame);
    EXPECT_TRUE(frame->IsShown());
}

TEST(ExpertMode, ClosingTheWindowEndsTheProgramAndSavesTheSettings)
{
    std::string profilePath = TestScratchFolder() + "/run-profile.ini";
    TestApp().SetProfilePath(profilePath);
    {
        CProfile seed("delvorin", profilePath);
        for (auto [key, value] : {std::pair{"OldFolder", "/srv/old"}, {"NewFolder", "/srv/new"},
                                  {"Remove1", "/srv/old/gone.txt"}, {"Remove2", "/srv/old/obsolete.dll"},
                                  {"Exclude1", "/srv/new/secret.key"}})
            seed.WriteString("Settings", key, value);
        for (auto [key, value] : {std::pair{"SplitSize", 65536 + 720}, {"RemoveCount", 2}, {"ExcludeCount", 1}})
            seed.WriteInt("Settings", key, value);
        seed.Flush();
    }

    bool expertShown = false;
    bool frameStayedOpen = false;
    wxTheApp->CallAfter([&] {
        auto* dlg = dynamic_cast<CDelvorinDlg*>(wxTheApp->GetTopWindow());
        ASSERT_NE(dlg, nullptr);
        Click(dlg, CDelvorinDlg::kIdExpert);
        expertShown = dlg->ExpertFrame() && dlg->ExpertFrame()->IsShown() && !dlg->IsShown();
        // Loaded at start-up (the pages show them and store them back when they go)
        // and changed while the program runs.
        EXPECT_EQ(TestApp().Settings().oldFolder, "/srv/old");
        EXPECT_EQ(TestApp().Settings().splitSize, 720);
        TestApp().Settings().splitSize = 1440;
        // The lists come back with the folders, and their changes are kept.
        CDirDiff& engine = TestApp().GetDirDiff();
        EXPECT_EQ(engine.RemoveList(), (std::vector<std::string>{"/srv/old/gone.txt", "/srv/old/obsolete.dll"}));
        EXPECT_EQ(engine.ExcludeList(), std::vector<std::string>{"/srv/new/secret.key"});
        engine.AddExcludeFile("/srv/new/debug.log");
        TestApp().Core().userOrganization = "Quenmark";
        dlg->ExpertFrame()->Close(); // the close box
        frameStayedOpen = dlg->ExpertFrame() && !dlg->ExpertFrame()->IsBeingDeleted();
    });
    EXPECT_FALSE(TestApp().InitInstance()); // returns once the main dialog's run has ended
    EXPECT_TRUE(expertShown);
    EXPECT_TRUE(frameStayedOpen);
    EXPECT_EQ(wxTheApp->GetTopWindow(), nullptr);
    TestApp().GetDirDiff();
    EXPECT_EQ(TestApp().ExitInstance(), 0);
    EXPECT_FALSE(TestApp().HasDirDiff());

    CProfile saved("delvorin", profilePath);
    saved.Load();
    for (auto [key, value] : {std::pair{"NewFolder", "/srv/new"}, {"OldFolder", "/srv/old"},
                              {"Remove2", "/srv/old/obsolete.dll"}, {"Exclude2", "/srv/new/debug.log"},
                              {"DialogText", ""}, {"UserOrganization", "Quenmark"}})
        EXPECT_EQ(saved.GetString("Settings", key, "?"), value) << key;
    for (auto [key, value] : {std::pair{"SplitSize", 1440}, {"RemoveCount", 2}, {"ExcludeCount", 2}})
        EXPECT_EQ(saved.GetInt("Settings", key, -1), value) << key;
    EXPECT_NE(saved.GetString("Settings", "UserName", "?"), "?");
    TestApp().SetProfilePath(TestScratchFolder() + "/profile.ini");
}

TEST(ExpertMode, TheWindowTakesRealInputWhileTheMainDialogsRunGoesOn)
{
    // A real mouse click (through the display server) must reach the Expert mode window
    // although the hidden main dialog still runs modally.
    int selectedAfterClick = -1;
    wxTheApp->CallAfter([&] {
        auto* dlg = dynamic_cast<CDelvorinDlg*>(wxTheApp->GetTopWindow());
        ASSERT_NE(dlg, nullptr);
        dlg->Appear();
        Pump(200);
        Click(dlg, CDelvorinDlg::kIdExpert);
        CExpertModePropFrame* frame = dlg->ExpertFrame();
        Pump(300);
        wxNotebook* book = frame->Sheet()->Notebook();
        wxRect tabs = book->GetScreenRect();
        wxUIActionSimulator sim;
        // The second tab sits right of the first, on the top row of the notebook.
        int first = book->GetTextExtent(book->GetPageText(0)).x;
        int second = book->GetTextExtent(book->GetPageText(1)).x;
        sim.MouseMove(tabs.x + first + 24 + second / 2, tabs.y + 14);
        Pump(100);
        sim.MouseClick();
        Pump(300);
        selectedAfterClick = book->GetSelection();
        frame->Close();
    });
    TestApp().InitInstance();
    TestApp().ExitInstance();
    EXPECT_EQ(selectedAfterClick, 1);
}

namespace {

// Presses Ctrl and a letter with the real keyboard of the display, on window.
void PressCtrl(wxWindow* window, char letter)
{
    window->Raise();
    Pump(200);
    const wxRect rect = window->GetScreenRect();
    wxUIActionSimulator sim;
    sim.MouseMove(rect.x + rect.width / 2, rect.y + rect.height / 2);
    Pump(100);
    sim.Char(letter, wxMOD_CONTROL);
    Pump(300);
}

CDelvorinWiz* OpenWizard()
{
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* wizard = dynamic_cast<CDelvorinWiz*>(w))
            return wizard;
    return nullptr;
}

} // namespace

// Ctrl+W closes the window it is pressed in and Ctrl+Q quits the program: the main dialog
// and the Expert mode window end the program with either (as their close does), the
// Wizard closes alone on Ctrl+W and takes the program with it on Ctrl+Q.
TEST(MainDialog, CtrlWClosesTheWindowAndCtrlQQuitsTheProgram)
{
    enum class Where { Main, Expert, Wizard };
    for (Where where : {Where::Main, Where::Expert, Where::Wizard}) {
        for (char letter : {'w', 'q'}) {
            SCOPED_TRACE(std::string(1, letter) + " in window " + std::to_string(static_cast<int>(where)));
            bool wizardStayed = false;
            bool programStayed = false;
            wxTheApp->CallAfter([&] {
                auto* dlg = dynamic_cast<CDelvorinDlg*>(wxTheApp->GetTopWindow());
                ASSERT_NE(dlg, nullptr);
                dlg->Appear();
                Pump(200);
                if (where == Where::Main) {
                    PressCtrl(dlg, letter);
                } else if (where == Where::Expert) {
                    Click(dlg, CDelvorinDlg::kIdExpert);
                    Pump(200);
                    PressCtrl(dlg->ExpertFrame(), letter);
                } else {
                    wxTheApp->CallAfter([&] {
                        Pump(300);
                        CDelvorinWiz* wizard = OpenWizard();
                        ASSERT_NE(wizard, nullptr);
                        PressCtrl(wizard, letter);
                        wizardStayed = wizard->IsModal();
                        if (wizardStayed)
                            wizard->EndModal(wxID_CANCEL);
                    });
                    Click(dlg, CDelvorinDlg::kIdWizard); // returns when the Wizard has ended
                    Pump(300);
                }
                programStayed = dlg->IsModal();
                if (programStayed)
                    dlg->Close();
            });
            TestApp().InitInstance(); // returns once the main dialog's run has ended
            TestApp().ExitInstance();
            EXPECT_EQ(wxTheApp->GetTopWindow(), nullptr);
            EXPECT_FALSE(wizardStayed);
            EXPECT_EQ(programStayed, where == Where::Wizard && letter == 'w');
        }
    }
}
