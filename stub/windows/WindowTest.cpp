// The Windows apply program's window driven by a scripted session, without the engine: the
// apply window, a progress run, and the result the arguments ask for. The window tests run
// it under Wine and drive it with real clicks and keys; what the user chose is written to
// the report file, and the screen rectangles of the apply window's buttons beside it, so
// that a test can click them.
//   DvApplyWindowTest.exe --report FILE [--folder DIR] [--result applied|backups|errors|failed]
// With --probe DIR it shows nothing and only reports whether the folder is closed to this
// user ("denied 1") and whether it runs as an administrator ("administrator 1"): what the
// offer to start again as an administrator rests on. With --restart DIR it starts itself
// again as an administrator for DIR with a backup, as the offer does, and reports how the
// restart ended; the restarted program writes the arguments it got to "restarted.txt" in
// its working folder and ends with status 42.
#include "stub/windows/Resources.h"
#include "stub/windows/Win32StubUi.h"

#include "platform/windows/WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

void Report(const std::wstring& path, const std::string& line)
{
    if (FILE* file = _wfopen(path.c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

// "name x y": the centre of a control of the apply window on the screen.
std::string ControlCentre(HWND form, int id, const char* name)
{
    RECT r{};
    GetWindowRect(GetDlgItem(form, id), &r);
    return std::string(name) + " " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2);
}

CStubResult ScriptedResult(const std::string& kind)
{
    CStubResult result;
    if (kind == "errors") {
        result.kind = CStubResult::Kind::NotMatching;
        result.lines = {"The file \"bin\\frob.exe\" has a length or contents other than the patch was made for.",
                        "The file \"data\\catalog.db\" is missing."};
        result.contact = "Ann Smith, Acme & Sons";
    } else if (kind == "failed") {
        result.kind = CStubResult::Kind::Failed;
        result.message = "The folder C:\\Frobnicator cannot be written to.";
    } else {
        result.kind = CStubResult::Kind::Applied;
        result.message = "The Delvorin file has been applied successfully.";
        if (kind == "backups")
            result.backups = {"bin\\frob.exe: C:\\Frobnicator\\bin\\frob.bak", "readme.txt: C:\\Frobnicator\\readme.bak"};
    }
    return result;
}

std::wstring g_report;
UINT_PTR g_layoutTimer = 0;

// Once the apply window is on the screen: where its controls are.
void CALLBACK WriteLayout(HWND, UINT, UINT_PTR, DWORD)
{
    HWND form = FindWindowW(nullptr, L"Delvorin Apply");
    if (!form || !IsWindowVisible(form))
        return;
    KillTimer(nullptr, g_layoutTimer);
    Report(g_report, ControlCentre(form, IDOK, "apply") + "\n" + ControlCentre(form, IDCANCEL, "cancel") + "\n" +
                         ControlCentre(form, IDC_BACKUP, "backup") + "\n" + ControlCentre(form, IDC_FOLDER, "folder"));
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    CStubChoice choice;
    choice.folder = "C:\\Frobnicator";
    std::string resultKind = "applied";
    std::wstring probe, restart;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--report")
            g_report = argv[i + 1];
        else if (option == L"--folder")
            choice.folder = Narrow(argv[i + 1]);
        else if (option == L"--result")
            resultKind = Narrow(argv[i + 1]);
        else if (option == L"--probe")
            probe = argv[i + 1];
        else if (option == L"--restart")
            restart = argv[i + 1];
    }
    if (argc > 1 && (std::wstring(argv[1]) == L"--" || std::wstring(argv[1]).rfind(L"--backup=", 0) == 0)) {
        for (int i = 1; i < argc; ++i)
            Report(L"restarted.txt", Narrow(argv[i]));
        LocalFree(argv);
        return 42;
    }
    LocalFree(argv);
    if (!restart.empty()) {
        CWin32AdministratorRestart administrator(nullptr);
        int status = -1;
        std::string why;
        const bool ran = administrator.RestartAsAdministrator(CStubChoice{Narrow(restart), true, "old bak"}, status, why);
        Report(g_report, "restart ran " + std::string(ran ? "1" : "0") + " status " + std::to_string(status) + why);
        return 0;
    }
    if (!probe.empty()) {
        Report(g_report, std::string("denied ") + (CWin32AdministratorRestart::AccessDenied(Narrow(probe)) ? "1" : "0"));
        Report(g_report,
               std::string("administrator ") + (CWin32AdministratorRestart::RunsAsAdministrator() ? "1" : "0"));
        return 0;
    }

    CWin32StubUi ui;
    CStubIntro intro;
    intro.publisher = "Ann Smith, Acme & Sons";
    intro.dialogText = "This updates Frobnicator to 2.0.\nPlease close Frobnicator before you apply this update.";
    g_layoutTimer = SetTimer(nullptr, 0, 100, &WriteLayout);
    if (!ui.AskFolder(intro, choice)) {
        Report(g_report, "cancelled");
        return 2;
    }
    Report(g_report, "folder " + choice.folder);
    Report(g_report, std::string("backup ") + (choice.backup ? "1" : "0") + " " + choice.backupExt);

    // A progress run of about two seconds that Cancel ends.
    IApplyProgress& progress = ui.BeginProgress();
    bool cancelled = false;
    for (int i = 0; i <= 100 && !cancelled; ++i) {
        progress.SetStatus("Updating file " + std::to_string(i / 10 + 1) + " of 11.");
        progress.SetPos(i);
        Sleep(20);
        cancelled = progress.CheckCancelButton();
    }
    ui.EndProgress();
    CStubResult result = ScriptedResult(resultKind);
    if (cancelled) {
        result = CStubResult{};
        result.kind = CStubResult::Kind::Cancelled;
        result.message = "The apply was cancelled; nothing was changed.";
    }
    ui.ShowResult(result);
    Report(g_report, cancelled ? "result cancelled" : "result " + resultKind);
    return 0;
}
