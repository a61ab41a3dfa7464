// The Apply page of the Expert mode sheet: names the folder to update and the patch
// file, sets the backup option and applies the patch.
#pragma once
#include <wx/panel.h>

class CApplyPatchPage : public wxPanel {
public:
    static constexpr int kHelpContext = 13;
    static constexpr const char* kTitle = "Apply Patch File";

    explicit CApplyPatchPage(wxWindow* parent);
};
