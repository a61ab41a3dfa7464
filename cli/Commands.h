// The commands of delvorin-cli. Each command lives in a file of its own and registers
// itself here; main() picks it by its first argument.
#pragma once
#include "jobs/ExitStatus.h"

#include <functional>
#include <string>
#include <vector>

struct CCommand {
    std::string name;
    std::string usage;   // the lines shown by --help
    std::function<int(const std::vector<std::string>& args)> run;
};

// Registers a command at start-up (use a static CCommandRegistration in the command's file).
struct CCommandRegistration {
    explicit CCommandRegistration(CCommand command);
};

const std::vector<CCommand>& Commands();

// Prints "delvorin-cli: " + message to standard error.
void PrintError(const std::string& message);
