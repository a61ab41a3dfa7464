#include "platform/Interrupts.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_pending = 0;     // cancel requests not yet taken
volatile std::sig_atomic_t g_lastSignal = 0;  // the signal of the last request
volatile std::sig_atomic_t g_terminate = 0;   // one of the signals came
volatile std::sig_atomic_t g_cancellable = 0; // a run that takes cancel requests is going

// Paths the handler removes, kept in fixed storage: a handler may not allocate.
constexpr int kSlots = 8;
char g_paths[kSlots][PATH_MAX];
volatile std::sig_atomic_t g_used[kSlots] = {};
char g_tempFolder[PATH_MAX];
volatile std::sig_atomic_t g_hasTempFolder = 0;

// Removes every entry of the open folder dir, emptying folders among them first; only
// system calls, a few levels deep (the temporary folder is flat or nearly so).
void EmptyFolderAt(int dir, int depth)
{
    alignas(8) char buf[4096];
    for (;;) {
        long n = syscall(SYS_getdents64, dir, buf, sizeof buf);
        if (n <= 0)
            return;
        bool removed = false;
        for (long off = 0; off < n;) {
            struct Entry {
                unsigned long long ino;
                long long off;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const Entry* e = reinterpret_cast<const Entry*>(buf + off);
            off += e->reclen;
            if (std::strcmp(e->name, ".") == 0 || std::strcmp(e->name, "..") == 0)
                continue;
            if (e->type != DT_DIR && unlinkat(dir, e->name, 0) == 0) {
                removed = true;
                continue;
            }
            // A folder (or an entry of unknown kind that is one): emptied first.
            if (depth < 4) {
                int sub = openat(dir, e->name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    EmptyFolderAt(sub, depth + 1);
                    close(sub);
                }
            }
            if (unlinkat(dir, e->name, AT_REMOVEDIR) == 0)
                removed = true;
        }
        // Entries removed while listing: list again from the start, until a pass
        // removes nothing more.
        if (!removed)
            return;
        lseek(dir, 0, SEEK_SET);
    }
}

void RemoveEverythingNow()
{
    for (int i = 0; i < kSlots; ++i)
        if (g_used[i])
            unlink(g_paths[i]);
    if (g_hasTempFolder) {
        int dir = open(g_tempFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir >= 0) {
            EmptyFolderAt(dir, 0);
            close(dir);
        }
        rmdir(g_tempFolder);
    }
}

void OnSignal(int signal)
{
    if (!g_cancellable || g_pending > 0) {
        // Nothing takes the request, or the engine did not look in time: end at once,
        // leaving nothing behind.
        RemoveEverythingNow();
        _exit(128 + signal);
    }
    g_lastSignal = signal;
    g_terminate = 1;
    g_pending = g_pending + 1;
}

void CopyPath(char* into, const std::string& path)
{
    size_t n = path.size() < PATH_MAX - 1 ? path.size() : PATH_MAX - 1;
    std::memcpy(into, path.data(), n);
    into[n] = 0;
}

void InstallHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&sa.sa_mask, s);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &sa, nullptr);
}

} // namespace

void InstallExitHandler()
{
    g_cancellable = 0;
    InstallHandlers();
}

void InstallCancelHandler()
{
    g_cancellable = 1;
    InstallHandlers();
}

bool TakeCancelRequest()
{
    if (g_pending == 0)
        return false;
    g_pending = 0;
    return true;
}

int CancelSignal()
{
    return g_lastSignal;
}

bool TerminationRequested()
{
    return g_terminate != 0;
}

CRemoveOnSignal::CRemoveOnSignal(const std::string& path)
{
    for (int i = 0; i < kSlots; ++i) {
        if (!g_used[i]) {
            CopyPath(g_paths[i], path);
            g_used[i] = 1;
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
    if (slot_ >= 0)
        g_used[slot_] = 0;
    slot_ = -1;
}

void SetSignalTempFolder(const std::string& folder)
{
    g_hasTempFolder = 0;
    if (!folder.empty()) {
        CopyPath(g_tempFolder, folder);
        g_hasTempFolder = 1;
    }
}
