// The progress dialogs: template texts and ids, captions, the percentage labels, the
// cancel protocol with real button, key and close events, and the owner that is
// disabled while a dialog is up.
#include "support/GuiTestSupport.h"

#include "ui/CApplyProgressDlg.h"
#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/stopwatch.h>
#include <wx/uiaction.h>

namespace {

int BarValue(wxWindow* dlg, int id)
{
    auto* bar = dynamic_cast<wxGauge*>(dlg->FindWindow(id));
    return bar ? bar->GetValue() : -1;
}

struct OwnerFrame {
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "Owner");
    OwnerFrame() { frame->Show(); }
    ~OwnerFrame() { frame->Destroy(); Pump(10); }
};

} // namespace

TEST(BuildProgressDlg, OpensWithItsCaptionEmptyTextsAndZeroPercent)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    EXPECT_EQ(dlg.GetTitle(), "Building Patch File");
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdStatus), "");
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdFileName), "");
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdOverallPercent), " 0 %");
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdFilePercent), " 0 %");
    EXPECT_EQ(BarValue(&dlg, CBuildProgressDlg::kIdOverallBar), 0);
    EXPECT_EQ(BarValue(&dlg, CBuildProgressDlg::kIdFileBar), 0);
    auto* cancel = dynamic_cast<wxButton*>(dlg.FindWindow(wxID_CANCEL));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->GetLabel(), "Cancel");
    EXPECT_EQ(dlg.GetDefaultItem(), cancel);
}

TEST(BuildProgressDlg, StatusAndFileNameAreShownAsGiven)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    dlg.SetStatus("Creating patch for file 3 of 12.");
    dlg.SetFileName("R&D notes.txt");
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdStatus), "Creating patch for file 3 of 12.");
    EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdFileName), "R&D notes.txt");
}

TEST(BuildProgressDlg, PercentLabelsFollowTheBars)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    struct { int pos; const char* label; int bar; } cases[] = {
        {0, "0%", 0}, {37, "37%", 37}, {100, "100%", 100}, {150, "50%", 100}, {90, "90%", 90},
    };
    for (const auto& c : cases) {
        dlg.SetOverallPos(c.pos);
        dlg.SetFilePos(c.pos);
        EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdOverallPercent), c.label) << c.pos;
        EXPECT_EQ(Label(&dlg, CBuildProgressDlg::kIdFilePercent), c.label) << c.pos;
        EXPECT_EQ(BarValue(&dlg, CBuildProgressDlg::kIdOverallBar), c.bar) << c.pos;
        EXPECT_EQ(BarValue(&dlg, CBuildProgressDlg::kIdFileBar), c.bar) << c.pos;
    }
    // The widest label text fits its template width with the desktop font.
    dlg.SetOverallPos(100);
    auto* label = dynamic_cast<wxStaticText*>(dlg.FindWindow(CBuildProgressDlg::kIdOverallPercent));
    EXPECT_LE(label->GetTextExtent("100%").x, label->GetSize().x);
}

TEST(BuildProgressDlg, ACaptionIdGivenToTheConstructorReplacesTheDefault)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg(114);
    ASSERT_TRUE(dlg.Create(owner.frame));
    EXPECT_EQ(dlg.GetTitle(), "Applying Patch");
}

TEST(ApplyProgressDlg, OpensWithItsCaptionAndFollowsItsBar)
{
    OwnerFrame owner;
    CApplyProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    EXPECT_EQ(dlg.GetTitle(), "Applying Patch");
    EXPECT_EQ(Label(&dlg, CApplyProgressDlg::kIdStatus), "");
    EXPECT_EQ(Label(&dlg, CApplyProgressDlg::kIdPercent), " 0 %");
    dlg.SetStatus("Applying patch to file: a.txt, file 1 of 2.");
    EXPECT_EQ(Label(&dlg, CApplyProgressDlg::kIdStatus), "Applying patch to file: a.txt, file 1 of 2.");
    dlg.SetPos(50);
    EXPECT_EQ(Label(&dlg, CApplyProgressDlg::kIdPercent), "50%");
    EXPECT_EQ(BarValue(&dlg, CApplyProgressDlg::kIdBar), 50);
}

TEST(ProgressDlg, SeveralCancelClicksBeforeOneCheckAreOneRequest)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    EXPECT_FALSE(dlg.CheckCancelButton());
    PostClick(&dlg, wxID_CANCEL);
    PostClick(&dlg, wxID_CANCEL);
    PostClick(&dlg, wxID_CANCEL);
    // The clicks are still queued: the check drains them first.
    EXPECT_TRUE(dlg.CheckCancelButton());
    EXPECT_FALSE(dlg.CheckCancelButton());
    EXPECT_TRUE(dlg.IsShown());
    // Answering No and clicking again gives a second request at the next check.
    PostClick(&dlg, wxID_CANCEL);
    EXPECT_TRUE(dlg.CheckCancelButton());
}

TEST(ProgressDlg, PositionUpdatesDrainTheQueueButKeepTheRequest)
{
    OwnerFrame owner;
    CApplyProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    PostClick(&dlg, wxID_CANCEL);
    dlg.SetPos(10); // the click is handled here ...
    EXPECT_TRUE(dlg.CheckCancelButton()); // ... and answered at the check
    EXPECT_FALSE(dlg.CheckCancelButton());
}

TEST(ProgressDlg, EscapeEnterAndTheCloseBoxRaiseTheSameRequestAndTheDialogStays)
{
    OwnerFrame owner;
    CApplyProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));

    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    escape.SetEventObject(&dlg);
    dlg.GetEventHandler()->ProcessEvent(escape);
    EXPECT_TRUE(dlg.CheckCancelButton());
    EXPECT_TRUE(dlg.IsShown());

    // Enter presses the default button, which is Cancel.
    auto* button = dynamic_cast<wxButton*>(dlg.GetDefaultItem());
    ASSERT_NE(button, nullptr);
    Click(&dlg, button->GetId());
    EXPECT_TRUE(dlg.CheckCancelButton());

    EXPECT_FALSE(dlg.Close());
    EXPECT_TRUE(dlg.CheckCancelButton());
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_FALSE(dlg.CheckCancelButton());
}

TEST(ProgressDlg, AnOkCommandDoesNothing)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    Click(&dlg, wxID_OK);
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_FALSE(dlg.CheckCancelButton());
}

TEST(ProgressDlg, DisablesItsOwnerWhileItExists)
{
    OwnerFrame owner;
    auto* child = new wxPanel(owner.frame);
    {
        CBuildProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(child)); // the owner is the child's top-level window
        EXPECT_EQ(dlg.Owner(), owner.frame);
        EXPECT_FALSE(owner.frame->IsEnabled());
        EXPECT_TRUE(dlg.IsEnabled());
        EXPECT_EQ(TestApp().ActiveProgressDialog(), &dlg);
    }
    EXPECT_TRUE(owner.frame->IsEnabled());
    EXPECT_EQ(TestApp().ActiveProgressDialog(), nullptr);
}

TEST(ProgressDlg, AnOwnerThatWasDisabledBeforeStaysDisabled)
{
    OwnerFrame owner;
    owner.frame->Disable();
    {
        CApplyProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(owner.frame));
        EXPECT_FALSE(dlg.OwnerDisabled());
    }
    EXPECT_FALSE(owner.frame->IsEnabled());
}

TEST(ProgressDlg, ADialogWithoutAWindowIgnoresEveryCall)
{
    CBuildProgressDlg dlg; // never created
    dlg.SetStatus("x");
    dlg.SetOverallPos(50);
    dlg.SetFilePos(50);
    EXPECT_FALSE(dlg.CheckCancelButton());
}

TEST(ProgressDlg, DrainingNeverWaits)
{
    OwnerFrame owner;
    CBuildProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(owner.frame));
    Pump(20);
    wxStopWatch watch;
    for (int i = 0; i < 200; ++i)
        dlg.CheckCancelButton();
    EXPECT_LT(watch.Time(), 2000);
}

TEST(ProgressDlg, ARealClickOnCancelGetsThroughOverAModalWindow)
{
    // The Wizard runs modally and starts its build from inside its modal run: the
    // progress dialog beside it must still take a real click.
    wxDialog wizard(nullptr, wxID_ANY, "Wizard", wxPoint(0, 0), wxSize(200, 100));
    bool requested = false;
    RunModal(wizard, [&] {
        CBuildProgressDlg progress;
        ASSERT_TRUE(progress.Create(&wizard));
        Pump(300);
        RealClick(progress.FindWindow(wxID_CANCEL));
        for (int i = 0; i < 40 && !requested; ++i) {
            wxMilliSleep(10);
            requested = progress.CheckCancelButton();
        }
    });
    EXPECT_TRUE(requested);
}
