// What the apply programs on a terminal share (delvorin-cli's apply and verify, the
// self-extracting program's console form): the folder argument and the errors list.
#pragma once
#include <string>
#include <vector>

// The folder argument as an absolute path (relative ones are taken from the current
// folder), without a trailing '/'.
std::string AbsoluteFolder(const std::string& folder);

// Prints the lines of the errors list (CApplyOutcome::ErrorLines) to standard error
// between the list's own sentences.
void PrintVerificationErrors(const std::vector<std::string>& lines);
