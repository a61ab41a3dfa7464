#include "ui/WindowKeys.h"

#include <wx/accel.h>
#include <wx/window.h>

void SetWindowKeys(wxWindow* window)
{
    wxAcceleratorEntry keys[] = {
        wxAcceleratorEntry(wxACCEL_NORMAL, WXK_F1, wxID_HELP),
        wxAcceleratorEntry(wxACCEL_CTRL, 'W', wxID_CLOSE),
        wxAcceleratorEntry(wxACCEL_CTRL, 'Q', wxID_EXIT),
    };
    window->SetAcceleratorTable(wxAcceleratorTable(3, keys));
}
