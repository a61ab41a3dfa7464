// The Build page of the Expert mode sheet: names the folders and the patch file, sets
// the build options and starts a build.
#pragma once
#include <wx/panel.h>

class CBuildPatchPage : public wxPanel {
public:
    static constexpr int kHelpContext = 12;
    static constexpr const char* kTitle = "Build Patch File";

    explicit CBuildPatchPage(wxWindow* parent);
};
