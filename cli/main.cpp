// delvorin-cli: the publisher's command-line tool over the same engine as the
// graphical program: scripted release builds, patch inspection and applies.
#include "cli/Commands.h"
#include "terminal/Terminal.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace {

std::vector<CCommand>& Registry()
{
    static std::vector<CCommand> commands;
    return commands;
}

void PrintHelp()
{
    std::cout << "Delvorin 1.2 - builds and applies binary patch files for whole folder trees.\n\n"
                 "usage: delvorin-cli COMMAND [ARGUMENTS]\n"
                 "       delvorin-cli --help | --version\n\n"
                 "commands:\n";
    std::vector<CCommand> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(), [](const CCommand& a, const CCommand& b) { return a.name < b.name; });
    for (const auto& c : sorted)
        std::cout << c.usage << "\n";
    std::cout << "exit status: 0 success, 1 failure, 2 bad usage, 3 nothing to do or verification errors,\n"
                 "             128+N cancelled by signal N (130 Ctrl-C, 129 SIGHUP, 143 SIGTERM)\n";
}

} // namespace

CCommandRegistration::CCommandRegistration(CCommand command)
{
    Registry().push_back(std::move(command));
}

const std::vector<CCommand>& Commands()
{
    return Registry();
}

void PrintError(const std::string& message)
{
    std::cerr << "delvorin-cli: " << message << std::endl;
}

int main(int argc, char** argv)
{
    // Commands that run the engine take signals as cancel requests; the others end at
    // once, removing their temporary files.
    InstallExitHandler();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintError("no command given (see --help)");
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "delvorin-cli 1.2" << std::endl;
        return kExitOk;
    }
    for (const auto& c : Registry()) {
        if (c.name != args[0])
            continue;
        int status = c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        // A run ended early by a signal says so, whatever step noticed it.
        if (status != kExitOk && TerminationRequested())
            status = CancelledStatus();
        return status;
    }
    PrintError("unknown command '" + args[0] + "' (see --help)");
    return kExitUsage;
}
