// The engine's questions in the graphical program: real message boxes with the exact
// text, title, buttons and icon, owned by the progress dialog while one is up.
#include "support/GuiTestSupport.h"

#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CWxPrompt.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>
// after msgdlg.h, which it builds on
#include <wx/generic/msgdlgg.h>
#include <wx/testing.h>

namespace {

// Expects one message box and records what it showed; answers with the given id.
struct CSeenBox {
    wxString message, caption;
    long style = 0;
    wxWindow* parent = nullptr;
};

class CExpectBox : public wxExpectModalBase<wxGenericMessageDialog, CExpectBox> {
public:
    CExpectBox(int answer, CSeenBox& seen) : answer_(answer), seen_(&seen) {}

protected:
    int OnInvoked(wxGenericMessageDialog* box) const override
    {
        seen_->message = box->GetMessage();
        seen_->caption = box->GetCaption();
        seen_->style = box->GetMessageDialogStyle();
        seen_->parent = box->GetParent();
        return answer_;
    }

private:
    int answer_;
    CSeenBox* seen_;
};

} // namespace

TEST(WxPrompt, ShowsAMessageBoxWithTheExactTextTitleButtonsAndIcon)
{
    CWxPrompt prompt;
    CSeenBox seen;
    PromptAnswer answer = PromptAnswer::OK;
    const std::string question = "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\n"
                                 "Do you really want to cancel this process?";
    wxTEST_DIALOG(answer = prompt.Ask(PromptOwner::ProgressDialog, question, "Delvorin Warning",
                                      PromptButtons::YesNo, PromptIcon::Question),
                  CExpectBox(wxID_NO, seen));
    EXPECT_EQ(answer, PromptAnswer::No);
    EXPECT_EQ(seen.message, question);
    EXPECT_EQ(seen.caption, "Delvorin Warning");
    EXPECT_TRUE(seen.style & wxYES_NO);
    EXPECT_TRUE(seen.style & wxICON_QUESTION);

    wxTEST_DIALOG(answer = prompt.Ask(PromptOwner::MainWindow, "Error opening patch file", "Delvorin Error!",
                                      PromptButtons::OK, PromptIcon::Stop),
                  CExpectBox(wxID_OK, seen));
    EXPECT_EQ(answer, PromptAnswer::OK);
    EXPECT_TRUE(seen.style & wxOK);
    EXPECT_TRUE(seen.style & wxICON_ERROR);
}

TEST(WxPrompt, TheProgressDialogOwnsTheQuestionsWhileItIsUp)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "sheet");
    frame->Show();
    CSeenBox seen;
    {
        CBuildProgressDlg progress;
        ASSERT_TRUE(progress.Create(frame));
        wxTEST_DIALOG(TestApp().Core().Ask(PromptOwner::ProgressDialog, "q", "Delvorin Warning",
                                           PromptButtons::YesNo, PromptIcon::Question),
                      CExpectBox(wxID_YES, seen));
        EXPECT_EQ(seen.parent, &progress);
    }
    frame->Destroy();
    Pump(10);
}
