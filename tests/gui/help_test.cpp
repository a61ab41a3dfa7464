// The help book: one page for every context number the windows ask for, and the book
// copied next to the program.
#include "support/GuiTestSupport.h"

#include "platform/FileSystem.h"
#include "ui/CDelvorinApp.h"

#include <gtest/gtest.h>
#include <wx/filename.h>
#include <wx/html/helpdata.h>
#include <wx/html/helpdlg.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/splitter.h>
#include <wx/timer.h>

#include <cstdlib>
#include <map>

namespace {
std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}
} // namespace

TEST(HelpBook, EveryContextNumberOpensItsOwnPage)
{
    for (std::string folder : {Env("DELVORIN_SOURCE") + "/res/help", Env("DELVORIN_BIN") + "/help"}) {
        wxHtmlHelpData data;
        ASSERT_TRUE(data.AddBook(wxFileName(folder + "/delvorin.hhp").GetFullPath())) << folder;
        std::map<int, wxString> pages;
        const wxHtmlHelpDataItems& items = data.GetContentsArray();
        for (size_t i = 0; i < items.size(); ++i)
            pages[items[i].id] = items[i].page;
        std::map<wxString, int> seen;
        for (int context : {5, 6, 7, 8, 9, 10, 11, 12, 13, 100, 106}) {
            ASSERT_TRUE(pages.count(context)) << "context " << context << " in " << folder;
            EXPECT_TRUE(fsys::FileExists(folder + "/" + std::string(pages[context].utf8_str()))) << context;
            EXPECT_EQ(seen[pages[context]]++, 0) << "page shared by two contexts: " << pages[context];
        }
        EXPECT_EQ(pages[5], "main.html");
        EXPECT_EQ(pages[12], "build.html");
        EXPECT_EQ(pages[13], "apply.html");
    }
}

TEST(HelpBook, TheHelpWindowOpensAtTheContextsPage)
{
    CDelvorinApp& app = TestApp();
    std::string savedFolder = app.Core().programFolder;
    app.Core().programFolder = Env("DELVORIN_BIN");
    app.SetHelpWindowsEnabled(true);
    wxString opened, title;
    int sash = 0, widestName = 0;
    bool wasModal = false;
    // The help window runs modally: a timer looks for it and closes it.
    wxTimer timer;
    int ticks = 0;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        ++ticks;
        for (wxWindow* w : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxHtmlHelpDialog*>(w);
            if (dialog && dialog->IsModal()) {
                opened = dialog->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage();
                title = dialog->GetTitle();
                // The contents pane holds the longest page name whole.
                sash = dialog->GetHelpWindow()->GetSplitterWindow()->GetSashPosition();
                widestName = dialog->GetTextExtent("Applying a patch file (Expert mode)").x;
                wasModal = true;
                dialog->EndModal(wxID_CANCEL);
                return;
            }
        }
        if (ticks > 100) // ten seconds without a help window: give up
            timer.Stop();
    });
    timer.Start(100);
    app.ShowHelp(13);
    timer.Stop();
    app.SetHelpWindowsEnabled(false);
    app.Core().programFolder = savedFolder;
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(opened.EndsWith("apply.html")) << opened;
    EXPECT_EQ(title, "Delvorin Help");
    EXPECT_GT(sash, widestName + 24);
}
