// What the apply and verify commands share: opening a patch file for an apply, the
// target folder argument and the listing of verification errors.
#pragma once
#include "app/AppCore.h"
#include "cli/Terminal.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"

#include <memory>
#include <string>

// An apply session on the terminal: the application core with terminal questions, the
// engine object, and the patch document once opened.
struct CApplySession {
    CTerminalPrompt prompt;
    CAppCore core{&prompt};
    CDirDiff dirDiff{core};
    std::unique_ptr<CPatchDoc> doc;

    // Opens the patch file and sets the target folder; prints the failure and returns
    // false when the patch file cannot be read.
    bool Open(const std::string& patchFile, const std::string& targetFolder);
    // Closes the patch image and removes the temporary files.
    void Close();
};

// The folder argument as an absolute path (relative ones are taken from the current
// folder), without a trailing '/'.
std::string AbsoluteFolder(const std::string& folder);

// Prints the errors table to standard error the way the errors list shows it: every
// entry cut at its line breaks, every non-empty line on a line of its own.
void PrintVerificationErrors(const CDirDiff& dirDiff);
