// The apply program on the terminal: used without a display, or with --console.
#pragma once
#include "stub/StubSession.h"

#include <string>

// Applies the patch carried by programPath as the options say; returns the exit status.
int RunStubConsole(const CStubOptions& options, const std::string& programPath);

// The running program's file name, the prefix of its messages on standard error.
void SetStubProgramName(const std::string& name);
