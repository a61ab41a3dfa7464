// The application object of the apply program with a window. It is the graphical
// program's application object (whose message boxes, progress dialog bookkeeping and
// engine object the shared windows rely on) started with the apply window instead of
// the main dialog.
#pragma once
#include "stub/StubSession.h"
#include "ui/CDelvorinApp.h"

class CDvApplyApp : public CDelvorinApp {
public:
    CDvApplyApp(const CStubOptions& options, const std::string& programPath);

    // Opens the program's patch and runs the apply window; the result is ExitStatus().
    bool OnInit() override;
    int OnRun() override { return exitStatus_; }
    int ExitStatus() const { return exitStatus_; }

private:
    CStubOptions options_;
    std::string programPath_;
    int exitStatus_ = kStubExitFailure;
};

// Runs the apply program with its window. False when no window can be opened (the
// display cannot be reached); exitStatus is set otherwise.
bool RunStubWindow(const CStubOptions& options, const std::string& programPath, const char* argv0, int& exitStatus);
