// The terminal side of the command-line program: questions asked on the terminal (or
// answered safely when there is none), a progress bar on standard error, and Ctrl-C
// turned into a cancel request that the engine takes at its next check.
#pragma once
#include "platform/Progress.h"
#include "platform/UserPrompt.h"

class CTerminalPrompt : public IUserPrompt {
public:
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons, PromptIcon icon) override;
};

// Installs the Ctrl-C handler; a second Ctrl-C before the engine looked ends the process.
void InstallCancelHandler();
// Takes (and forgets) a pending Ctrl-C.
bool TakeCancelRequest();

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
