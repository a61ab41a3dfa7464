// The help window over the program's help book: a modal dialog titled "Delvorin Help"
// whatever page it shows, wide enough that its contents tree shows every page name whole.
#pragma once
#include <wx/html/helpctrl.h>

class CHelpController : public wxHtmlHelpController {
public:
    static constexpr const char* kTitle = "Delvorin Help";

    explicit CHelpController(wxWindow* parent);

protected:
    wxHtmlHelpDialog* CreateHelpDialog(wxHtmlHelpData* data) override;
};
