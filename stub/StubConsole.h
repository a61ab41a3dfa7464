// The apply program on the terminal: used without a display, or with --console.
#pragma once
#include "stub/StubSession.h"
#include "terminal/Terminal.h"

#include <memory>
#include <string>

// The terminal face of the apply program: the publisher's text on standard output, the
// folder from the command line (or the patch's proposal) without asking, a progress bar
// and the result on standard error. Questions go to the terminal, or get the safe answer
// when there is none.
class CConsoleStubUi : public IStubUi {
public:
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title, PromptButtons buttons,
                     PromptIcon icon) override;
    bool AskFolder(const CStubIntro& intro, CStubChoice& choice) override;
    IApplyProgress& BeginProgress() override;
    void EndProgress() override;
    void ShowResult(const CStubResult& result) override;
    bool MayRetry() const override { return false; }

    // True when the folder could not be told: neither the command line nor the patch
    // names one.
    bool NoFolder() const { return noFolder_; }

private:
    CTerminalPrompt prompt_;
    std::unique_ptr<CTerminalApplyProgress> progress_;
    bool asked_ = false;
    bool noFolder_ = false;
};

// Applies the patch carried by programPath as the options say; returns the exit status.
int RunStubConsole(const CStubOptions& options, const std::string& programPath);

// The running program's file name, the prefix of its messages on standard error.
void SetStubProgramName(const std::string& name);
