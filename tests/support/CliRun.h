// Runs delvorin-cli ($DELVORIN_BIN/delvorin-cli) from a test, with standard input not
// a terminal, and collects what it printed.
#pragma once
#include <string>

// Runs the program with the arguments (already quoted for the shell) in the folder
// workFolder; scratchFolder receives a file for standard error. Returns the exit
// status (-1 when the program did not exit normally).
int RunCli(const std::string& arguments, const std::string& workFolder, const std::string& scratchFolder,
           std::string& out, std::string& err);

// The text quoted for the shell.
std::string Quoted(const std::string& text);

// Runs a shell command; what it wrote to standard output (standard error is dropped).
std::string CommandOutput(const std::string& command);
