// Ctrl-C, Ctrl-Break, a closed console window, log-off and shutdown turned into the
// cancel request of the terminal programs. The system calls the console handler on a
// thread of its own: Ctrl-C and Ctrl-Break ask for a cancel as SIGINT does elsewhere (a
// second one before the engine took the first ends the process at once); closing the
// console, log-off and shutdown end the process within seconds whatever it does, so they
// ask for the cancel, give the engine a moment to take it, and then remove the work files
// and the private temporary folder themselves and end with 128 + the matching signal.
// A program with windows hears of log-off and shutdown as window messages instead (see
// WatchSessionEnd).
#include "platform/Interrupts.h"

#include "platform/FileSystem.h"
#include "platform/windows/NtFiles.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace {

// The numbers the exit status is made from, as on the other systems.
constexpr int kInterrupt = SIGINT;
constexpr int kTerminate = SIGTERM;
constexpr int kHangUp = 1;

std::atomic<int> g_pending{0};
std::atomic<int> g_lastSignal{0};
std::atomic<bool> g_terminate{false};
std::atomic<bool> g_cancellable{false};

constexpr int kSlots = 8;
std::mutex g_pathsMutex;
std::wstring g_paths[kSlots];
bool g_used[kSlots] = {};
std::string g_tempFolder;

void RemoveEverythingNow()
{
    std::lock_guard<std::mutex> hold(g_pathsMutex);
    for (int i = 0; i < kSlots; ++i)
        if (g_used[i])
            DeleteFileW(g_paths[i].c_str());
    if (!g_tempFolder.empty())
        fsys::RemoveTree(g_tempFolder);
}

[[noreturn]] void EndNow(int signal)
{
    RemoveEverythingNow();
    ExitProcess(static_cast<UINT>(128 + signal));
}

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    const int signal = interrupt ? kInterrupt : event == CTRL_CLOSE_EVENT ? kHangUp : kTerminate;
    if (!g_cancellable || g_pending > 0)
        EndNow(signal);
    g_lastSignal = signal;
    g_terminate = true;
    ++g_pending;
    if (interrupt)
        return TRUE;
    // The system ends the process once this returns (or after a few seconds): the
    // engine gets a moment to stop on its own, then nothing is left behind.
    for (int i = 0; i < 30 && g_pending > 0; ++i)
        Sleep(100);
    Sleep(500);
    EndNow(signal);
}

// A program with windows hears of log-off and shutdown through its windows, not its
// console: a hidden top-level window of the thread that shows them takes the message.
// The session then ends as soon as the message is answered, and the engine, which runs
// on this same thread, cannot be waited for: the work files and the private temporary
// folder are removed and the process ends with 128 + SIGTERM. Every file of the target
// is then either old or new, as after any interruption, and applying again finishes.
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_QUERYENDSESSION)
        return TRUE;
    if (message == WM_ENDSESSION && w) {
        g_lastSignal = kTerminate;
        g_terminate = true;
        EndNow(kTerminate);
    }
    return DefWindowProcW(window, message, w, l);
}

void WatchSessionEnd()
{
    static bool made = false;
    if (made)
        return;
    made = true;
    WNDCLASSW type{};
    type.lpfnWndProc = OnSessionMessage;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"DelvorinSessionEnd";
    if (RegisterClassW(&type))
        CreateWindowExW(0, type.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, type.hInstance, nullptr);
}

void InstallHandlers()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    WatchSessionEnd();
}

} // namespace

void InstallExitHandler()
{
    g_cancellable = false;
    InstallHandlers();
}

void InstallCancelHandler()
{
    g_cancellable = true;
    InstallHandlers();
}

bool TakeCancelRequest()
{
    return g_pending.exchange(0) != 0;
}

int CancelSignal()
{
    return g_lastSignal;
}

bool TerminationRequested()
{
    return g_terminate;
}

CRemoveOnSignal::CRemoveOnSignal(const std::string& path)
{
    std::lock_guard<std::mutex> hold(g_pathsMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (!g_used[i]) {
            g_paths[i] = winfs::LongPath(path);
            g_used[i] = true;
            slot_ = i;
            return;
        }
    }
}

CRemoveOnSignal::~CRemoveOnSignal()
{
    Release();
}

void CRemoveOnSignal::Release()
{
    std::lock_guard<std::mutex> hold(g_pathsMutex);
    if (slot_ >= 0)
        g_used[slot_] = false;
    slot_ = -1;
}

void SetSignalTempFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> hold(g_pathsMutex);
    g_tempFolder = folder;
}
