// Interrupt, terminate and hang-up signals of the terminal programs (the command-line
// program and the apply program) turned into a cancel request that the engine takes at
// its next check, so that a run ended by Ctrl-C, `kill` or a closed terminal removes its
// work files and its private temporary folder the same way a cancelled run does.
//
// A second signal before the engine took the first ends the process at once (so does
// the first where nothing would take it, see InstallExitHandler): the
// private temporary folder and the files registered below are removed first (with
// system calls only, as a signal handler must), and the exit status is 128 + signal.
#pragma once
#include <string>

// Installs the handlers for SIGINT, SIGTERM and SIGHUP for a part of the program that
// never asks for a cancel: the first signal removes the files and ends the process.
void InstallExitHandler();
// Installs the handlers for a run whose engine takes cancel requests. Blocking reads are
// not resumed after a signal, so a question waiting on the terminal returns at once.
void InstallCancelHandler();
// Takes (and forgets) a pending cancel request.
bool TakeCancelRequest();
// The signal that asked for the last cancel (0 when none came): the program's exit
// status after a cancel is 128 + this number.
int CancelSignal();
// True once one of the signals came: the process is to end, so nothing more is asked
// and the cancel is not declined.
bool TerminationRequested();

// A file the process is writing that must not outlive it, even when a second signal
// ends it at once. The registration ends with the object (or with Release()).
class CRemoveOnSignal {
public:
    explicit CRemoveOnSignal(const std::string& path);
    ~CRemoveOnSignal();
    CRemoveOnSignal(const CRemoveOnSignal&) = delete;
    CRemoveOnSignal& operator=(const CRemoveOnSignal&) = delete;
    void Release();

private:
    int slot_ = -1;
};

// Where the handler finds the private temporary folder (set when it is made).
void SetSignalTempFolder(const std::string& folder);
