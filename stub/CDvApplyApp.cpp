#include "stub/CDvApplyApp.h"

#include "stub/CDvApplyDlg.h"

#include <wx/init.h>

CDvApplyApp::CDvApplyApp(const CStubOptions& options, const std::string& programPath)
    : options_(options), programPath_(programPath)
{
}

bool CDvApplyApp::OnInit()
{
    // The command line has been read already; the profile and the log file of the
    // graphical program are neither read nor written.
    CAppCore& core = Core();
    CStubPatch patch(core, GetDirDiff(), programPath_);
    switch (patch.Open()) {
    case CStubPatch::OpenResult::Opened: break;
    case CStubPatch::OpenResult::NoPayload:
        core.Ask(PromptOwner::MainWindow, patch.NoPayloadMessage(), "Delvorin Error!", PromptButtons::OK,
                 PromptIcon::Stop);
        exitStatus_ = kStubExitFailure;
        return true;
    case CStubPatch::OpenResult::Unreadable:
        core.Ask(PromptOwner::MainWindow, CStubPatch::kUnreadableMessage, "Delvorin Error!", PromptButtons::OK,
                 PromptIcon::Stop);
        exitStatus_ = kStubExitFailure;
        return true;
    }

    CDvApplyDlg dialog(nullptr, core, patch, options_);
    SetTopWindow(&dialog);
    dialog.ShowModal();
    SetTopWindow(nullptr);
    exitStatus_ = dialog.ExitStatus();
    patch.Close();
    return true;
}

bool RunStubWindow(const CStubOptions& options, const std::string& programPath, const char* argv0, int& exitStatus)
{
    wxApp::SetInstance(new CDvApplyApp(options, programPath));
    // The toolkit sees only the program's name: the folder and options are ours.
    int argc = 1;
    char* argv[] = {const_cast<char*>(argv0), nullptr};
    if (!wxEntryStart(argc, argv)) {
        wxApp::SetInstance(nullptr);
        return false;
    }
    auto* app = static_cast<CDvApplyApp*>(wxApp::GetInstance());
    app->CallOnInit();
    exitStatus = app->ExitStatus();
    app->OnExit();
    wxEntryCleanup();
    return true;
}
