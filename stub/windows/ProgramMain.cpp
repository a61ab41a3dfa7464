// DvApply.exe for Windows: the apply program at the front of every self-extracting patch
// program made for Windows. It applies the patch that stands behind its own image (and
// in the parts beside it) to the folder named on its command line or chosen in its
// window. With --console, or where there is no desktop to show a window on, it works on
// the console with the options and exit statuses of the Linux program.
#include "app/StringHelpers.h"
#include "platform/FileSystem.h"
#include "platform/Interrupts.h"
#include "platform/windows/WideText.h"
#include "stub/StubConsole.h"
#include "stub/windows/Win32StubUi.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// True when the process runs on a desktop the user sees (not in a service's or a
// remote session's invisible window station).
bool HasVisibleDesktop()
{
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
        !(flags.dwFlags & WSF_VISIBLE))
        return false;
    HDESK desktop = OpenInputDesktop(0, FALSE, GENERIC_READ);
    if (!desktop)
        return false;
    CloseDesktop(desktop);
    return true;
}

bool Redirected(DWORD which)
{
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// Standard input, output and error on the console: those the program was started with
// where they lead somewhere (a pipe, a file, the console of the starting program), else
// the console of the program that started it, else a console of its own.
void UseConsole()
{
    const bool in = Redirected(STD_INPUT_HANDLE), out = Redirected(STD_OUTPUT_HANDLE),
               err = Redirected(STD_ERROR_HANDLE);
    if (!(in && out && err) && !AttachConsole(ATTACH_PARENT_PROCESS))
        AllocConsole();
    if (!in)
        std::freopen("CONIN$", "r", stdin);
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
    // The progress line redraws itself with terminal sequences, which the console
    // understands once asked to.
    DWORD mode = 0;
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    if (GetConsoleMode(console, &mode))
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::string programPath = fsys::ProgramPath();
    const std::string name = programPath.empty() ? std::string("DvApply.exe") : LastComponent(programPath);
    SetStubProgramName(name);

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(Narrow(argv[i]));
    LocalFree(argv);

    CStubOptions options;
    std::string why;
    const bool parsed = ParseStubArguments(args, options, why);
    if (!parsed || options.help || options.console || !HasVisibleDesktop())
        UseConsole();
    if (!parsed) {
        WriteStderr(name + ": " + why + "\n" + StubUsage(name) + "\n");
        return kStubExitUsage;
    }
    if (options.help) {
        WriteStdout(StubUsage(name) + "\n");
        return kStubExitOk;
    }

    // Ctrl-C, a closed console and log-off stop the apply at its next check, so that the
    // work files are removed on the way out.
    InstallCancelHandler();
    if (!options.console && HasVisibleDesktop()) {
        CWin32StubUi window;
        return RunStubSession(window, options, programPath);
    }
    return RunStubConsole(options, programPath);
}
