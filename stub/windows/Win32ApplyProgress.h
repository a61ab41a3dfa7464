// The progress window of the Windows apply program: the status line, the bar with its
// percentage, and Cancel, over the apply window.
#pragma once
#include "platform/Progress.h"

#include <windows.h>

#include <string>

// Every update records what to show; the window is redrawn, and pending window messages
// handled (so that Cancel and the window's moving work), a few dozen times a second.
class CWin32ApplyProgress : public IApplyProgress {
public:
    void Open(HWND owner);
    void Close();
    HWND Window() const { return window_; }

    void SetStatus(const std::string& text) override;
    void SetPos(int pos) override;
    bool CheckCancelButton() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
    void Refresh(bool now);

    HWND window_ = nullptr;
    std::string statusText_;
    int pos_ = 0;
    bool cancelRequested_ = false;
    ULONGLONG lastRefresh_ = 0;
};

// Hands one window message on; dialog keys (Tab, Enter, Escape, mnemonics) go to the
// dialog they belong to.
void DispatchWindowMessage(MSG& message);
// Handles the window messages waiting in the queue without blocking.
void PumpWindowMessages();
