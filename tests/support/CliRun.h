// Runs delvorin-cli ($DELVORIN_BIN/delvorin-cli) from a test, with standard input not
// a terminal, and collects what it printed.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// What one run of a program gave: its exit status (-1 when it did not exit normally)
// and what it wrote to standard output and standard error.
struct CRun {
    int status = -1;
    std::string out, err;
};

// Runs a program with the arguments (already quoted for the shell) in folder work, with
// standard input not a terminal; environment goes before the program on the command line
// (e.g. "env -u DISPLAY "), scratchFolder receives a file for standard error.
CRun RunProgram(const std::string& program, const std::string& arguments, const std::string& scratchFolder,
                const std::string& work = "/", const std::string& environment = "");

// Runs delvorin-cli with the arguments (already quoted for the shell) in the folder
// workFolder; scratchFolder receives a file for standard error. Returns the exit
// status (-1 when the program did not exit normally).
int RunCli(const std::string& arguments, const std::string& workFolder, const std::string& scratchFolder,
           std::string& out, std::string& err);
// Runs delvorin-cli in folder (its scratch file there too).
CRun RunCliIn(const std::string& arguments, const std::string& folder);
// Success when delvorin-cli, run in folder, exits with 0; otherwise a failure that shows
// its exit status and what it wrote.
testing::AssertionResult CliSucceeds(const std::string& arguments, const std::string& folder);

// A command line, the exit status delvorin-cli must end it with and a part of what it
// must write to standard error (empty: anything).
struct CCliCase {
    const char* arguments;
    int status;
    const char* says;
};
// Runs every case in folder and checks its exit status and message.
void ExpectCliCases(const std::vector<CCliCase>& cases, const std::string& folder);

// The text quoted for the shell.
std::string Quoted(const std::string& text);

// Starts delvorin-cli with the arguments (not quoted) without waiting: standard input
// from stdinPath, standard error into stderrPath, standard output discarded, and the
// temporary folder (TMPDIR) tmpFolder. Returns the process id, or -1.
int SpawnCli(const std::vector<std::string>& arguments, const std::string& stdinPath, const std::string& stderrPath,
             const std::string& tmpFolder);
// Waits for the process; its exit status, or -1 when it did not exit normally.
int WaitCli(int pid);
// Waits up to 20 seconds for test() to hold; false when it never did.
bool WaitFor(const std::function<bool()>& test);
// Runs a shell command; what it wrote to standard output (standard error is dropped).
std::string CommandOutput(const std::string& command);
