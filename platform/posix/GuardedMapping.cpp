#include "platform/GuardedMapping.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The mappings that are in use. A bus error inside one of them means its file shrank:
// the missing pages are replaced by zero pages and the mapping is marked damaged.
struct CGuard {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};
constexpr int kGuards = 16;
CGuard g_guards[kGuards];
uintptr_t g_pageSize = 4096;
struct sigaction g_previous;
std::once_flag g_installed;

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (CGuard& g : g_guards) {
        const uintptr_t begin = g.begin.load();
        const uintptr_t end = g.end.load();
        if (begin == 0 || address < begin || address >= end)
            continue;
        const uintptr_t page = address & ~(g_pageSize - 1);
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                 0) != MAP_FAILED) {
            g.damaged.store(true);
            return; // the read is repeated and now finds zeros
        }
    }
    // Not one of ours: whatever was there before decides.
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    std::signal(signal, SIG_DFL); // the faulting read is repeated and ends the program
}

void InstallHandler()
{
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0)
        g_pageSize = static_cast<uintptr_t>(page);
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
}

int TakeGuard(void* map, size_t length)
{
    for (int i = 0; i < kGuards; ++i) {
        uintptr_t expected = 0;
        CGuard& g = g_guards[i];
        if (g.end.load() != 0)
            continue;
        uintptr_t begin = reinterpret_cast<uintptr_t>(map);
        if (!g.end.compare_exchange_strong(expected, begin + length))
            continue;
        g.damaged.store(false);
        g.begin.store(begin);
        return i;
    }
    return -1;
}

void ReleaseGuard(int index)
{
    if (index < 0)
        return;
    g_guards[index].begin.store(0);
    g_guards[index].end.store(0);
}

} // namespace

namespace fsys {

MapResult MapGuarded(CFileRef handle, size_t length, uint64_t offset, void*& map, int& guard)
{
    const int file = handle.Native();
    std::call_once(g_installed, InstallHandler);
    void* at = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file, static_cast<off_t>(offset));
    if (at == MAP_FAILED)
        return errno == ENOMEM ? MapResult::NoMemory : MapResult::NotMapped;
    const int taken = TakeGuard(at, length);
    if (taken < 0) {
        munmap(at, length);
        return MapResult::NotMapped;
    }
    map = at;
    guard = taken;
    return MapResult::Mapped;
}

bool GuardedMappingDamaged(int guard)
{
    return guard >= 0 && g_guards[guard].damaged.load();
}

void UnmapGuarded(void* map, size_t length, int guard)
{
    ReleaseGuard(guard);
    munmap(map, length);
}

} // namespace fsys
