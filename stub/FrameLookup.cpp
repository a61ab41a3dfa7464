// The C++ runtime linked into the apply program finds the unwind tables of the code
// that throws through _dl_find_object, which the C library has only had since version
// 2.35. The program brings its own, built on dl_iterate_phdr, so that it starts on the
// older C libraries of the machines it is sent to; the runtime's calls bind to this one.
#include <dlfcn.h>
#include <link.h>

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

// Hidden: the runtime linked in here binds to it, while the libraries loaded with the
// window keep the C library's own.
extern "C" __attribute__((visibility("hidden"))) int _dl_find_object(void* pc, dl_find_object* result)
{
    CFrameQuery query{reinterpret_cast<uintptr_t>(pc), result, false};
    dl_iterate_phdr(VisitObject, &query);
    return query.found ? 0 : -1;
}

#endif
