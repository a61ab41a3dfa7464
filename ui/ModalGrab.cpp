#include "ui/ModalGrab.h"

#include <wx/dialog.h>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

void RestoreModalGrab(wxWindow* window)
{
#ifdef __WXGTK__
    auto* dialog = dynamic_cast<wxDialog*>(window);
    if (!dialog || !dialog->IsModal() || !dialog->IsShown() || !dialog->IsEnabled())
        return;
    // The toolkit is loaded with the program; its headers are not needed for one call.
    using GrabAdd = void (*)(void*);
    static const auto grabAdd = reinterpret_cast<GrabAdd>(dlsym(RTLD_DEFAULT, "gtk_grab_add"));
    if (grabAdd && dialog->GetHandle())
        grabAdd(dialog->GetHandle()); // does nothing when the window holds the grab already
#else
    (void)window;
#endif
}
