#include "stub/windows/Win32ApplyProgress.h"

#include "platform/windows/WideText.h"
#include "stub/windows/Resources.h"

#include <commctrl.h>

namespace {

constexpr ULONGLONG kRefreshMilliseconds = 30;

} // namespace

void DispatchWindowMessage(MSG& message)
{
    HWND dialog = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (dialog && IsDialogMessageW(dialog, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void PumpWindowMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam)); // for the loop that owns it
            return;
        }
        DispatchWindowMessage(message);
    }
}

void CWin32ApplyProgress::Open(HWND owner)
{
    Close();
    cancelRequested_ = false;
    pos_ = 0;
    statusText_.clear();
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), owner, &DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (!window_)
        return;
    SendDlgItemMessageW(window_, IDC_BAR, PBM_SETRANGE32, 0, 100);
    ShowWindow(window_, SW_SHOW);
    Refresh(true);
}

void CWin32ApplyProgress::Close()
{
    if (window_)
        DestroyWindow(window_);
    window_ = nullptr;
}

INT_PTR CALLBACK CWin32ApplyProgress::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, l);
        return TRUE;
    }
    auto* self = reinterpret_cast<CWin32ApplyProgress*>(GetWindowLongPtrW(window, DWLP_USER));
    // Cancel, Escape and the close box all ask the engine to stop at its next question.
    if (self && ((message == WM_COMMAND && LOWORD(w) == IDCANCEL) || message == WM_CLOSE)) {
        self->cancelRequested_ = true;
        return TRUE;
    }
    return FALSE;
}

void CWin32ApplyProgress::SetStatus(const std::string& text)
{
    statusText_ = text;
    Refresh(false);
}

void CWin32ApplyProgress::SetPos(int pos)
{
    pos_ = pos;
    Refresh(false);
}

bool CWin32ApplyProgress::CheckCancelButton()
{
    Refresh(false);
    const bool requested = cancelRequested_;
    cancelRequested_ = false;
    return requested;
}

void CWin32ApplyProgress::Refresh(bool now)
{
    const ULONGLONG tick = GetTickCount64();
    if (!window_ || (!now && tick - lastRefresh_ < kRefreshMilliseconds))
        return;
    lastRefresh_ = tick;
    SetDlgItemTextW(window_, IDC_STATUS, Widen(statusText_).c_str());
    SendDlgItemMessageW(window_, IDC_BAR, PBM_SETPOS, static_cast<WPARAM>(pos_), 0);
    SetDlgItemTextW(window_, IDC_PERCENT, Widen(PercentLabel(pos_)).c_str());
    PumpWindowMessages();
}
