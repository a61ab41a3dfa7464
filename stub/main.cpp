// DvApply.exe: the apply program at the front of every self-extracting patch program.
// It applies the patch that stands behind its own bytes (and in the parts beside it) to
// the folder named on its command line or chosen in its window.
#include "app/StringHelpers.h"
#include "platform/FileSystem.h"
#include "stub/CDvApplyApp.h"
#include "stub/StubConsole.h"

#include <iostream>

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
        std::cerr << name << ": " << why << "\n" << StubUsage(name) << std::endl;
        return kStubExitUsage;
    }
    if (options.help) {
        std::cout << StubUsage(name) << std::endl;
        return kStubExitOk;
    }

    if (!options.console && HasDisplay()) {
        int status = kStubExitFailure;
        if (RunStubWindow(options, programPath, argc > 0 ? argv[0] : name.c_str(), status))
            return status;
        std::cerr << name << ": the display cannot be opened; going on in the terminal." << std::endl;
    }
    return RunStubConsole(options, programPath);
}
