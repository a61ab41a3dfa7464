// Draws every window of the program into a PNG file, one per window, for looking at
// them: gui_screenshots OUTPUT_FOLDER (run by screenshots.sh under Xvfb).
#include "jobs/ApplyOutcome.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "ui/CAboutDlg.h"
#include "ui/CAppliedDlg.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinDlg.h"
#include "ui/CDialogTextDlg.h"
#include "ui/CErrorsDlg.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/CSplashWnd.h"
#include "ui/CSplitDlg.h"
#include "ui/CTextViewerDlg.h"
#include "ui/CWxPrompt.h"

#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
// after msgdlg.h, which it builds on
#include <wx/generic/msgdlgg.h>
#include <wx/notebook.h>
#include <wx/stopwatch.h>
#include <wx/timer.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_folder;

void Settle(int milliseconds = 300)
{
    wxEventLoopGuarantor loop;
    wxStopWatch watch;
    while (watch.Time() < milliseconds) {
        wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_ALL);
        wxMilliSleep(10);
    }
}

void Shoot(wxWindow* window, const std::string& name)
{
    window->Show();
    window->Raise();
    Settle();
    // The window's place in the screen's pixels: at twice the desktop scale (GDK_SCALE=2)
    // twice its place in the toolkit's units.
    const double scale = window->GetContentScaleFactor();
    const wxRect logical = window->GetScreenRect();
    const wxRect rect(int(logical.x * scale), int(logical.y * scale), int(logical.width * scale),
                      int(logical.height * scale));
    // The screen is read by ImageMagick's import: it sees exactly what the X server
    // shows, which the toolkit's own screen drawing context does not on GTK 3.
    std::string path = g_folder + "/" + name + ".png";
    std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                          std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" + std::to_string(rect.y) +
                          " +repage '" + path + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not capture %s\n", name.c_str());
    std::printf("%s\n", path.c_str());
    window->Hide();
}

// A message box as the program shows it, taken by a timer while it runs modally (the
// whole screen), then closed.
void ShootMessageBox(wxWindow* parent, const std::string& name, const char* text, const char* title,
                     PromptButtons buttons, PromptIcon icon)
{
    wxGenericMessageDialog box(parent, text, title, MessageBoxStyle(buttons, icon));
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        std::string path = g_folder + "/" + name + ".png";
        if (std::system(("import -window root '" + path + "'").c_str()) != 0)
            std::fprintf(stderr, "could not capture %s\n", name.c_str());
        std::printf("%s\n", path.c_str());
        box.EndModal(wxID_CANCEL);
    });
    timer.StartOnce(700);
    box.ShowModal();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    g_folder = argv[1];
    auto* app = new CDelvorinApp;
    wxApp::SetInstance(app);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv))
        return 1;
    wxInitAllImageHandlers();
    app->SetProfilePath(fsys::PrivateTempFolder() + "profile.ini");
    app->SetHelpWindowsEnabled(false);
    app->Core().userName = "Ada Lovelace";
    app->Core().userOrganization = "Analytical Engines Ltd";
    {
        CSplashWnd::ShowSplashScreen(nullptr);
        Shoot(CSplashWnd::Current(), "splash");
        CSplashWnd::Current()->Destroy();
        CSplashWnd::EnableSplashScreen(false);

        CDelvorinDlg main;
        main.Appear();
        Shoot(&main, "main_dialog");
        wxCommandEvent expert;
        main.OnExpert(expert);
        CExpertModePropFrame* frame = main.ExpertFrame();
        Shoot(frame, "expert_build_page");
        frame->Sheet()->Notebook()->SetSelection(1);
        Shoot(frame, "expert_apply_page");
        frame->Sheet()->Notebook()->SetSelection(0);

        // The file chooser in both modes, over a few files of a made-up tree.
        {
            CDirDiff& lists = app->GetDirDiff();
            lists.ClearDiffArray();
            for (const char* name : {"bin/tool", "bin/helper", "lib/libexample-runtime.so.1.2.3", "README.txt",
                                     "share/doc/CHANGES", "share/data.bin"})
                lists.AddFoundFile("/opt/app", name);
            lists.ClearRemoveList();
            lists.AddRemoveFile("/opt/app/share/obsolete.dat");
            lists.ClearExcludeList();
            lists.AddExcludeFile("/opt/app/README.txt");
            CFileChooserDlg remove(&main, CFileChooserDlg::kRemoveMode);
            remove.InitDialog();
            Shoot(&remove, "chooser_remove");
            CFileChooserDlg exclude(&main, CFileChooserDlg::kExcludeMode);
            exclude.InitDialog();
            Shoot(&exclude, "chooser_exclude");
            lists.ClearDiffArray();
            lists.ClearRemoveList();
            lists.ClearExcludeList();
        }

        CAboutDlg about(&main);
        Shoot(&about, "about");

        frame->Show();
        // A build midway, and in its last phase, where the whole patch is compressed and written.
        struct { const char* status; const char* file; int overall, filePos; const char* name; } builds[] = {
            {"Creating patch for file 3 of 12.", "libexample-runtime.so.1.2.3", 16, 72, "build_progress"},
            {"Compressing Delvorin File... 12.5 MB of 50.3 MB", "app-1.2.dvp", 100, 24, "build_progress_compressing"}};
        for (const auto& shown : builds) {
            CBuildProgressDlg build;
            build.Create(frame->Sheet());
            build.SetStatus(shown.status);
            build.SetFileName(shown.file);
            build.SetOverallPos(shown.overall);
            build.SetFilePos(shown.filePos);
            Shoot(&build, shown.name);
        }
        {
            CApplyProgressDlg apply;
            apply.Create(frame->Sheet());
            apply.SetStatus("Applying patch to file: readme.txt, file 2 of 7.");
            apply.SetPos(28);
            Shoot(&apply, "apply_progress");
        }
        frame->Hide();

        app->Settings().splitSize = 1000;
        CSplitDlg split(&main);
        Shoot(&split, "split");

        CDialogTextDlg text(&main);
        text.text = "Welcome to version 1.2.\nPress OK to update your files.";
        Shoot(&text, "dialog_text");

        CDirDiff& engine = app->GetDirDiff();
        engine.ClearErrors();
        engine.AddErrorEntry("The following file to be updated is missing:\n/opt/app/bin/tool\n\n");
        engine.AddErrorEntry("The following file has been changed:\n/opt/app/share/data.bin\n\n");
        CErrorsDlg errors(&main);
        errors.contact = app->Core().userName + ", " + app->Core().userOrganization;
        Shoot(&errors, "errors");

        CSuccessDlg success;
        success.message = "The patch file: /home/ada/update.dvp was successfully applied.";
        Shoot(&success, "success");

        const std::vector<std::string> backups = {"readme.txt: /home/ada/app/readme.bak",
                                                  "lib/core.bin: /home/ada/app/lib/core.bak",
                                                  "app.cfg: /home/ada/app/app.1.bak"};
        CSuccessDlg backedUp;
        backedUp.message = "The patch file: /home/ada/update.dvp was successfully applied.";
        backedUp.ShowBackups(backups);
        Shoot(&backedUp, "success_backups");
        CAppliedDlg applied(&main, "The Delvorin file has been applied successfully.", backups);
        Shoot(&applied, "applied_backups");

        CWhoopsDlg whoops;
        whoops.message = "An error occurred while applying the patch file!";
        Shoot(&whoops, "whoops");

        {
            // The program's own log window, for a desktop without a text viewer.
            std::string log = fsys::PrivateTempFolder() + "DelvorinLogFile.txt";
            const char text[] = "Delvorin Log File created on... Tuesday, December 08, 2026 at 14:00:00\r\n\r\n"
                                "Counting file number 1.\r\nCreating patch for file 1 of 1.\r\n";
            fsys::WriteWholeFile(log, text, sizeof text - 1);
            auto* viewer = new CTextViewerDlg(&main, log);
            Shoot(viewer, "log_viewer");
            viewer->Destroy();
        }

        main.Show();
        ShootMessageBox(&main, "message_stop", "An Error occurred when the patch file was applied.",
                        "Delvorin Apply", PromptButtons::OK, PromptIcon::Stop);
        // What the Apply page says after a cancel midway (files replaced one by one).
        const std::string cancelled = std::string(kApplyCancelledText) + "\n" + UnfinishedApplyText(3, kApplyAgain);
        ShootMessageBox(&main, "message_apply_cancelled", cancelled.c_str(), "Delvorin Apply", PromptButtons::OK,
                        PromptIcon::Stop);
        ShootMessageBox(&main, "message_question",
                        "The Delvorin file you are applying is a self-extracting\nexecutable, do you want to execute it?",
                        "Delvorin Question", PromptButtons::YesNo, PromptIcon::Question);
        ShootMessageBox(&main, "message_warning",
                        "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\nDo you really "
                        "want to cancel this process?",
                        "Delvorin Warning", PromptButtons::YesNo, PromptIcon::Warning);
        main.Hide();
    }
    wxEntryCleanup();
    return 0;
}
