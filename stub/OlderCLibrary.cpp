// The C++ runtime linked into the apply program calls two functions that the C library
// has only had since versions 2.35 and 2.36: _dl_find_object, through which the unwinder
// finds the unwind tables of the code that throws, and arc4random, which seeds
// std::random_device. The program brings its own, built on older calls, so that it
// starts on the older C libraries of the machines it is sent to. Both are hidden: the
// runtime linked in here binds to them, while the libraries loaded with the window keep
// the C library's own.
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#ifdef DLFO_STRUCT_HAS_EH_DBASE

namespace {

struct CFrameQuery {
    uintptr_t pc;
    dl_find_object* result;
    bool found;
};

// Fills the result for the loaded object whose segments hold the address.
int VisitObject(dl_phdr_info* info, size_t, void* data)
{
    auto* query = static_cast<CFrameQuery*>(data);
    uintptr_t low = UINTPTR_MAX, high = 0, ehFrame = 0;
    bool inside = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + header.p_vaddr;
        if (header.p_type == PT_LOAD) {
            const uintptr_t end = start + header.p_memsz;
            low = start < low ? start : low;
            high = end > high ? end : high;
            inside = inside || (query->pc >= start && query->pc < end);
        } else if (header.p_type == PT_GNU_EH_FRAME) {
            ehFrame = start;
        }
    }
    if (!inside)
        return 0;
    *query->result = dl_find_object{};
    query->result->dlfo_map_start = reinterpret_cast<void*>(low);
    query->result->dlfo_map_end = reinterpret_cast<void*>(high);
    query->result->dlfo_eh_frame = reinterpret_cast<void*>(ehFrame);
    query->found = true;
    return 1;
}

} // namespace

extern "C" __attribute__((visibility("hidden"))) int _dl_find_object(void* pc, dl_find_object* result)
{
    CFrameQuery query{reinterpret_cast<uintptr_t>(pc), result, false};
    dl_iterate_phdr(VisitObject, &query);
    return query.found ? 0 : -1;
}

#endif

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 36))

// Random bits from the kernel (getrandom: the C library since 2.25).
extern "C" __attribute__((visibility("hidden"))) uint32_t arc4random() noexcept
{
    uint32_t value = 0;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&value);
    size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            break; // no randomness to be had: what was gathered serves
    }
    return value;
}

#endif
