#include "stub/windows/Win32AdministratorRestart.h"

#include "platform/windows/WideText.h"

#include <shellapi.h>

namespace {

// Waits for the process while this thread's windows go on receiving their messages.
DWORD WaitForProcess(HANDLE process)
{
    while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    return code;
}

std::wstring ProgramFile()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return L"";
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring CurrentFolder()
{
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

} // namespace

bool CWin32AdministratorRestart::RunsAsAdministrator()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

bool CWin32AdministratorRestart::AccessDenied(const std::string& folder)
{
    // A hidden file of a name no patch holds, gone again when its handle closes.
    std::wstring probe = Widen(folder);
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += L".~dvp-probe-" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool CWin32AdministratorRestart::NeedsAdministrator(const std::string& folder)
{
    // An administrator who is refused gains nothing by starting again.
    return AccessDenied(folder) && !RunsAsAdministrator();
}

bool CWin32AdministratorRestart::RestartAsAdministrator(const CStubChoice& choice, int& status, std::string& why)
{
    const std::wstring program = ProgramFile();
    // The restarted program starts in this one's folder, so a relative folder names the same.
    const std::wstring parameters = Widen(RestartCommandLine(choice));
    const std::wstring folder = CurrentFolder();
    HWND owner = owner_ ? *owner_ : nullptr;
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    run.hwnd = owner;
    run.lpVerb = L"runas";
    run.lpFile = program.c_str();
    run.lpParameters = parameters.c_str();
    run.lpDirectory = folder.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (program.empty() || !ShellExecuteExW(&run) || !run.hProcess) {
        const DWORD error = program.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
        if (error == ERROR_CANCELLED)
            why.clear(); // the user said No to the system's question
        else
            why = "This program could not be started again as an administrator (Windows error " +
                  std::to_string(error) + ").";
        if (run.hProcess)
            CloseHandle(run.hProcess);
        return false;
    }
    // The restarted program shows its own window; this one steps aside until it ends.
    if (owner)
        ShowWindow(owner, SW_HIDE);
    status = static_cast<int>(WaitForProcess(run.hProcess));
    CloseHandle(run.hProcess);
    return true;
}
