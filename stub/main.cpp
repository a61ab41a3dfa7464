// DvApply.exe: the apply program at the front of every self-extracting patch program.
// It applies the patch that stands behind its own bytes (and in the parts beside it) to
// the folder named on its command line or chosen in its window.
#include "app/StringHelpers.h"
#include "platform/FileSystem.h"
#include "stub/GtkStubUi.h"
#include "stub/StubConsole.h"


int main(int argc, char** argv)
{
    // The patch is read from the program file itself, found through the system rather
    // than argv[0], which may be a bare name found on the search path, or anything.
    const std::string programPath = fsys::ProgramPath();
    const std::string name = programPath.empty() ? std::string("DvApply.exe") : LastComponent(programPath);
    SetStubProgramName(name);

    CStubOptions options;
    std::string why;
    if (!ParseStubArguments(std::vector<std::string>(argv + 1, argv + argc), options, why)) {
        WriteStderr(name + ": " + why + "\n" + StubUsage(name) + "\n");
        return kStubExitUsage;
    }
    if (options.help) {
        WriteStdout(StubUsage(name) + "\n");
        return kStubExitOk;
    }

    // Ctrl-C, SIGTERM and SIGHUP stop the apply at its next check, so that the temporary
    // files are removed on the way out.
    InstallCancelHandler();
    if (!options.console) {
        // Where the window cannot be had, one line says why, and the terminal serves.
        CGtkStubUi window;
        if (!HasDisplay())
            why = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
        else if (window.Start(name.c_str(), why))
            return RunStubSession(window, options, programPath);
        WriteStderr(name + ": no window (" + why + "); going on in the terminal.\n");
    }
    return RunStubConsole(options, programPath);
}
