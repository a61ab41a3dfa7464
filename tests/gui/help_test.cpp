// The help book: one page for every context number the windows ask for, and the book
// copied next to the program.
#include "support/GuiTestSupport.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <wx/filename.h>
#include <wx/html/helpdata.h>

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
