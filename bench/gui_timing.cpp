// Times a build or an apply started from the real Expert mode window, as a user's click
// on "Build Patch" or "Apply Patch" runs it (progress dialog and all), for the
// comparison with the command-line program in gui_vs_cli.sh. Run under a display:
//   gui_timing build OLD_FOLDER NEW_FOLDER PATCH_FILE
//   gui_timing apply PATCH_FILE FOLDER
// Prints the seconds from the click until the result is reported. The result window of
// a build is closed as soon as it shows; message boxes are answered OK at once.
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"
#include "ui/CApplyPatchPage.h"
#include "ui/CBuildPatchPage.h"
#include "ui/CDelvorinApp.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/CSplashWnd.h"

#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/notebook.h>
#include <wx/stopwatch.h>
#include <wx/timer.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    const bool build = argc == 5 && std::strcmp(argv[1], "build") == 0;
    const bool apply = argc == 4 && std::strcmp(argv[1], "apply") == 0;
    if (!build && !apply) {
        std::fprintf(stderr, "usage: gui_timing build OLD NEW PATCH | gui_timing apply PATCH FOLDER\n");
        return 2;
    }
    auto* app = new CDelvorinApp;
    wxApp::SetInstance(app);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv)) {
        std::fprintf(stderr, "cannot start wxWidgets (no display?)\n");
        return 1;
    }
    app->SetProfilePath(fsys::PrivateTempFolder() + "profile.ini");
    app->SetHelpWindowsEnabled(false);
    CSplashWnd::EnableSplashScreen(false);
    CScriptedPrompt prompts; // every message box answered with its first button
    app->SetPrompts(&prompts);

    CSettings& s = app->Settings();
    if (build) {
        s.oldFolder = argv[2];
        s.newFolder = argv[3];
        s.patchFile = argv[4];
        s.defaultEqualsNew = 0;
    } else {
        s.applyPatchFile = argv[2];
        s.applyFolder = argv[3];
    }
    double seconds = -1;
    {
        wxEventLoopGuarantor loop;
        auto* frame = new CExpertModePropFrame();
        if (!frame->CreateFrame("Delvorin 1.2"))
            return 1;
        for (int i = 0; i < 20; ++i) // the window settles
            wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_ALL);

        wxStopWatch watch;
        long reported = -1;
        // The result window of a build: the time is taken when it shows, then it closes.
        wxTimer closer;
        closer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            for (wxWindow* w : wxTopLevelWindows) {
                auto* dialog = dynamic_cast<wxDialog*>(w);
                if (dialog && dialog->IsModal()) {
                    if (reported < 0)
                        reported = watch.Time();
                    dialog->EndModal(wxID_OK);
                }
            }
        });
        closer.Start(5);
        wxCommandEvent click;
        watch.Start();
        if (build) {
            frame->Sheet()->BuildPage()->OnBuild(click);
        } else {
            frame->Sheet()->Notebook()->SetSelection(1);
            watch.Start();
            frame->Sheet()->ApplyPage()->OnApply(click);
        }
        closer.Stop();
        seconds = (reported >= 0 ? reported : watch.Time()) / 1000.0;
        frame->Destroy();
    }
    for (const CPromptRecord& shown : prompts.Shown())
        std::fprintf(stderr, "%s: %s\n", shown.title.c_str(), shown.text.c_str());
    std::printf("%.3f\n", seconds);
    app->SetPrompts(nullptr);
    wxEntryCleanup();
    return 0;
}
