// What the apply and verify commands share: opening a patch file for an apply, the
// target folder argument and the listing of verification errors.
#pragma once
#include "app/AppCore.h"
#include "cli/Terminal.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"

#include <memory>
#include <string>
#include <vector>

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

// The lines of the errors list: every entry of the errors table cut at its line
// breaks, empty lines dropped, in order.
std::vector<std::string> VerificationErrorLines(const CDirDiff& dirDiff);
// Prints the lines to standard error between the errors list's own sentences.
void PrintVerificationErrors(const std::vector<std::string>& lines);
void PrintVerificationErrors(const CDirDiff& dirDiff);
