// The main of every GUI test program: wxWidgets started with the application object,
// its profile in a scratch folder, no splash and no help windows.
#include "support/GuiTestSupport.h"

#include "platform/FileSystem.h"
#include "ui/CDelvorinApp.h"
#include "ui/CSplashWnd.h"

#include <gtest/gtest.h>
#include <wx/init.h>

#include <cstdlib>

const std::string& TestScratchFolder()
{
    static const std::string folder = [] {
        std::string f = fsys::PrivateTempFolder() + "gui-test";
        fsys::CreateFolder(f);
        return f;
    }();
    return folder;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    auto* app = new CDelvorinApp;
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "cannot start wxWidgets (no display?)\n");
        return 1;
    }
    app->SetProfilePath(TestScratchFolder() + "/profile.ini");
    app->SetHelpWindowsEnabled(false);
    CSplashWnd::EnableSplashScreen(false);
    int result = RUN_ALL_TESTS();
    wxEntryCleanup();
    return result;
}
