// The small dialogs: the split size with its parsing and message 128, the dialog text
// with Enter and Ctrl+Enter, the errors list with its line rule and contact line, and
// the picture dialogs.
#include "support/GuiTestSupport.h"

#include "engine/common/CDirDiff.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDialogTextDlg.h"
#include "ui/CErrorsDlg.h"
#include "ui/CPictureCtrl.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/CSplitDlg.h"

#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstring>

namespace {

// Types text into the split dialog and presses OK; true when the dialog closed.
bool TypeSplitSize(uint16_t before, const std::string& typed, uint16_t& after)
{
    TestApp().Settings().splitSize = before;
    CSplitDlg dlg(nullptr);
    bool closedByOk = false;
    int rc = RunModal(dlg, [&] {
        dlg.SizeCombo()->SetValue(typed);
        Click(&dlg, wxID_OK);
        closedByOk = !dlg.IsModal();
    });
    after = TestApp().Settings().splitSize;
    return closedByOk && rc == wxID_OK;
}

} // namespace

TEST(SplitDlg, OpensWithTheStoredSizeSelected)
{
    struct { uint16_t size; int selection; const char* text; unsigned count; } cases[] = {
        {0, 0, "Don't Split Patch File", 3}, {720, 1, "720", 3}, {1440, 2, "1440", 3}, {1000, 3, "1000", 4},
    };
    for (const auto& c : cases) {
        TestApp().Settings().splitSize = c.size;
        CSplitDlg dlg(nullptr);
        EXPECT_EQ(dlg.GetTitle(), "Split Patch File");
        dlg.InitDialog();
        EXPECT_EQ(dlg.SizeCombo()->GetCount(), c.count) << c.size;
        EXPECT_EQ(dlg.SizeCombo()->GetSelection(), c.selection) << c.size;
        EXPECT_EQ(dlg.SizeCombo()->GetValue(), c.text) << c.size;
        EXPECT_EQ(dlg.SizeCombo()->GetId(), CSplitDlg::kIdSize);
    }
}

TEST(SplitDlg, StoresTheTypedSizeInSixteenBits)
{
    CPromptScript script;
    struct { const char* typed; uint16_t stored; } cases[] = {
        {"Don't Split Patch File", 0}, {"0", 0}, {"720", 720}, {"1440", 1440},
        {"70000", 4464}, {"65536", 0}, {"000123", 123}, {"99999999999999999999", 65535},
    };
    for (const auto& c : cases) {
        uint16_t after = 77;
        EXPECT_TRUE(TypeSplitSize(1, c.typed, after)) << c.typed;
        EXPECT_EQ(after, c.stored) << c.typed;
    }
    EXPECT_TRUE(script.prompts.Shown().empty());
}

TEST(SplitDlg, RefusesAnythingButDigitsWithMessage128AndStaysOpen)
{
    for (const char* typed : {"1,440", " 720", "", "don't split patch file", "720KB", "-1"}) {
        SCOPED_TRACE(typed);
        uint16_t after = 0;
        const CPromptRecord shown = OnlyPrompt([&] { EXPECT_FALSE(TypeSplitSize(720, typed, after)); });
        EXPECT_EQ(after, 720);
        EXPECT_EQ(shown.text, "The value you typed in must be numeric.  Please correct before choosing OK.");
        EXPECT_EQ(shown.title, "Delvorin Error");
        EXPECT_EQ(shown.buttons, PromptButtons::OK);
        EXPECT_EQ(shown.icon, PromptIcon::None);
    }
}

TEST(SplitDlg, CancelKeepsTheStoredSize)
{
    TestApp().Settings().splitSize = 1440;
    CSplitDlg dlg(nullptr);
    int rc = RunModal(dlg, [&] {
        dlg.SizeCombo()->SetValue("720");
        Click(&dlg, wxID_CANCEL);
    });
    EXPECT_EQ(rc, wxID_CANCEL);
    EXPECT_EQ(TestApp().Settings().splitSize, 1440);
}

TEST(DialogTextDlg, EnterPressesOkAndCtrlEnterStartsANewLine)
{
    CDialogTextDlg dlg(nullptr);
    EXPECT_EQ(dlg.GetTitle(), "Dialog Text");
    EXPECT_EQ(dlg.TextEdit()->GetId(), CDialogTextDlg::kIdText);
    dlg.text = "Welcome\r\nto the update";
    int rc = RunModal(dlg, [&] {
        EXPECT_EQ(dlg.TextEdit()->GetValue(), "Welcome\nto the update");
        dlg.TextEdit()->SetInsertionPointEnd();
        wxKeyEvent ctrlEnter(wxEVT_KEY_DOWN);
        ctrlEnter.m_keyCode = WXK_RETURN;
        ctrlEnter.SetControlDown(true);
        dlg.OnEditKey(ctrlEnter);
        dlg.TextEdit()->WriteText("Thanks");
        EXPECT_TRUE(dlg.IsModal());
        wxKeyEvent enter(wxEVT_KEY_DOWN);
        enter.m_keyCode = WXK_RETURN;
        dlg.OnEditKey(enter);
    });
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_EQ(dlg.text, "Welcome\nto the update\nThanks");
}

TEST(DialogTextDlg, CancelKeepsTheText)
{
    CDialogTextDlg dlg(nullptr);
    dlg.text = "old";
    int rc = RunModal(dlg, [&] {
        dlg.TextEdit()->SetValue("new");
        Click(&dlg, wxID_CANCEL);
    });
    EXPECT_EQ(rc, wxID_CANCEL);
    EXPECT_EQ(dlg.text, "old");
}

TEST(ErrorsDlg, SplitsEachMessageIntoNonEmptyLines)
{
    auto split = [](const std::string& text, size_t size = CDirDiff::kErrorTextSize) {
        std::vector<char> field(size, 0);
        std::memcpy(field.data(), text.data(), std::min(text.size(), size));
        return CErrorsDlg::SplitMessage(field.data(), size);
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(split("The following file to be updated is missing:\n/app/bin/tool\n\n"),
              (Lines{"The following file to be updated is missing:", "/app/bin/tool"}));
    EXPECT_EQ(split("one line only"), (Lines{"one line only"}));
    EXPECT_EQ(split("a\n\n\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(split(""), Lines{});
    // A field without a zero byte: the text after its last line feed is dropped.
    EXPECT_EQ(split("first\nsecond\nunfinished", 23), (Lines{"first", "second"}));
    EXPECT_EQ(split(std::string(520, 'x'), 520), Lines{});
}

TEST(ErrorsDlg, ListsTheEngineMessagesInOrderWithTheContactLine)
{
    CDirDiff& engine = TestApp().GetDirDiff();
    engine.ClearErrors();
    engine.AddErrorEntry("The following file to be updated is missing:\nb.txt\n\n");
    engine.AddErrorEntry("The following file has been changed:\na.txt\n\n");
    engine.failure = 1;

    CErrorsDlg dlg(nullptr);
    dlg.contact = "Ada Lovelace, Quenmark";
    EXPECT_EQ(dlg.GetTitle(), "Delvorin Errors");
    dlg.InitDialog();
    ASSERT_EQ(dlg.List()->GetCount(), 4u);
    EXPECT_EQ(dlg.List()->GetString(0), "The following file to be updated is missing:");
    EXPECT_EQ(dlg.List()->GetString(1), "b.txt");
    EXPECT_EQ(dlg.List()->GetString(2), "The following file has been changed:");
    EXPECT_EQ(dlg.List()->GetString(3), "a.txt");
    EXPECT_EQ(dlg.List()->GetId(), CErrorsDlg::kIdList);
    EXPECT_EQ(dlg.ContactLabel()->GetLabelText(), "Ada Lovelace, Quenmark");
    EXPECT_EQ(dlg.ContactLabel()->GetId(), CErrorsDlg::kIdContact);

    // Centred on the screen, halves truncated.
    wxRect screen = wxDisplay(0u).GetGeometry();
    EXPECT_EQ(dlg.GetPosition().x, (screen.width - dlg.GetSize().x) / 2);
    EXPECT_EQ(dlg.GetPosition().y, (screen.height - dlg.GetSize().y) / 2);
    engine.ClearErrors();
}

TEST(ErrorsDlg, ListsAtMostNinetyNineMessages)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 120; ++i)
        entries.push_back("missing:\nfile" + std::to_string(i));
    CErrorsDlg dlg(nullptr);
    dlg.SetErrors(entries);
    dlg.InitDialog();
    EXPECT_EQ(dlg.List()->GetCount(), 198u);
    EXPECT_EQ(dlg.List()->GetString(197), "file98");
}

TEST(PictureDialogs, ShowTheirPictureAndMessage)
{
    CSuccessDlg success;
    success.message = "The patch file: /tmp/p.dvp was successfully applied.";
    EXPECT_EQ(success.GetTitle(), "Delvorin Success!");
    success.InitDialog();
    wxString shown = success.MessageLabel()->GetLabelText();
    shown.Replace("\n", " ");
    EXPECT_EQ(shown, "The patch file: /tmp/p.dvp was successfully applied.");
    EXPECT_EQ(success.MessageLabel()->GetId(), CPictureMessageDlg::kIdMessage);
    EXPECT_EQ(success.Picture()->GetId(), CPictureMessageDlg::kIdPicture);
    ASSERT_NE(success.Picture()->Dib(), nullptr);
    EXPECT_EQ(success.Picture()->Dib()->Width(), 448);

    CWhoopsDlg whoops;
    whoops.message = "An error occurred while applying the patch file!";
    EXPECT_EQ(whoops.GetTitle(), "Delvorin Whoops!");
    whoops.InitDialog();
    ASSERT_NE(whoops.Picture()->Dib(), nullptr);
    EXPECT_EQ(whoops.Picture()->Dib()->Width(), 613);
    int rc = RunModal(whoops, [&] { Click(&whoops, wxID_OK); });
    EXPECT_EQ(rc, wxID_OK);
}

TEST(SmallDialogs, NoTextIsCutOff)
{
    CSplitDlg split(nullptr);
    ExpectTextsFit(&split);
    CDialogTextDlg text(nullptr);
    ExpectTextsFit(&text);
    CErrorsDlg errors(nullptr);
    errors.contact = "Ada Lovelace, Analytical Engines Ltd";
    errors.InitDialog();
    ExpectTextsFit(&errors);
    CWhoopsDlg whoops;
    whoops.message = "An error occurred while applying the patch file!";
    whoops.InitDialog();
    ExpectTextsFit(&whoops);
}
