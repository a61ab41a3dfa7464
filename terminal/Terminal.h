// The terminal side of the command-line program: questions asked on the terminal (or
// answered safely when there is none), a progress bar on standard error, and Ctrl-C,
// SIGTERM and SIGHUP turned into a cancel request that the engine takes at its next check.
#pragma once
#include "platform/Interrupts.h"
#include "platform/Progress.h"
#include "platform/UserPrompt.h"

#include <string>

// Writes text as it is to standard output (flushed at once) or standard error. Plain
// C streams: the apply program carries no C++ stream library.
void WriteStdout(const std::string& text);
void WriteStderr(const std::string& text);

class CTerminalPrompt : public IUserPrompt {
public:
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons, PromptIcon icon) override;
};

// The exit status of a run cancelled by a signal: 128 + the signal (130 for Ctrl-C).
int CancelledStatus();

// One progress line on standard error, redrawn at most ten times a second, and only when
// standard error is a terminal; cleared when it goes.
class CTerminalLine {
public:
    CTerminalLine();
    ~CTerminalLine();
    // True when the line is on a terminal and due to be redrawn.
    bool Due();
    void Show(const std::string& text);

private:
    bool tty_;
    long long lastDraw_ = 0;
};

class CTerminalBuildProgress : public IBuildProgress {
public:
    void SetStatus(const std::string& text) override;
    void SetFileName(const std::string& text) override;
    void SetOverallPos(int pos) override;
    void SetFilePos(int pos) override;
    bool CheckCancelButton() override;

private:
    void Draw();
    CTerminalLine line_;
    std::string status_, file_;
    int overall_ = 0, filePos_ = 0;
};

class CTerminalApplyProgress : public IApplyProgress {
public:
    void SetStatus(const std::string& text) override;
    void SetPos(int pos) override;
    bool CheckCancelButton() override;

private:
    void Draw();
    CTerminalLine line_;
    std::string status_;
    int pos_ = 0;
};
