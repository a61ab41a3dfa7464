#include "stub/GtkLibrary.h"

#include <dlfcn.h>

const CGtk* LoadGtk(std::string& why)
{
    static CGtk gtk;
    static bool loaded = false;
    if (loaded)
        return &gtk;
    void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = dlerror();
        why = error ? error : "libgtk-3.so.0 cannot be loaded";
        return nullptr;
    }
    // The lookup through the library's handle also finds the GLib functions it uses.
#define DELVORIN_GTK_LOOKUP(ret, name, params)                                                                       \
    gtk.name = reinterpret_cast<ret(*) params>(dlsym(library, #name));                                               \
    if (!gtk.name) {                                                                                                 \
        why = "libgtk-3.so.0 lacks " #name;                                                                          \
        return nullptr;                                                                                              \
    }
    DELVORIN_GTK_FUNCTIONS(DELVORIN_GTK_LOOKUP)
#undef DELVORIN_GTK_LOOKUP
    loaded = true;
    return &gtk;
}
