#include "ui/CHelpController.h"

#include <wx/html/helpdlg.h>
#include <wx/html/helpwnd.h>
#include <wx/splitter.h>

#include <algorithm>

namespace {
// Room beside a page name in the contents tree: the expander and book icon of a row, the
// indentation of one level, and the scroll bar.
constexpr int kRowRoom = 56;
constexpr int kLevelIndent = 24;
constexpr int kScrollBar = 24;
} // namespace

CHelpController::CHelpController(wxWindow* parent)
    : wxHtmlHelpController(wxHF_DEFAULT_STYLE | wxHF_DIALOG | wxHF_MODAL, parent)
{
    // The window names the program, not the page shown (the format takes the page title
    // and prints none of it).
    SetTitleFormat(wxString(kTitle) + "%.0s");
}

wxHtmlHelpDialog* CHelpController::CreateHelpDialog(wxHtmlHelpData* data)
{
    wxHtmlHelpDialog* dialog = wxHtmlHelpController::CreateHelpDialog(data);
    dialog->SetTitle(kTitle);
    // The contents pane as wide as its longest page name needs.
    int widest = 0;
    const wxHtmlHelpDataItems& items = data->GetContentsArray();
    for (size_t i = 0; i < items.size(); ++i)
        widest = std::max(widest, dialog->GetTextExtent(items[i].name).x + items[i].level * kLevelIndent);
    const int pane = widest + kRowRoom + kScrollBar;
    if (wxHtmlHelpWindow* window = dialog->GetHelpWindow()) {
        window->GetCfgData().sashpos = pane;
        if (wxSplitterWindow* splitter = window->GetSplitterWindow()) {
            if (splitter->GetSashPosition() < pane)
                splitter->SetSashPosition(pane);
        }
    }
    const wxSize size = dialog->GetSize();
    const int wanted = pane + dialog->FromDIP(480);
    if (size.x < wanted)
        dialog->SetSize(wanted, std::max(size.y, dialog->FromDIP(480)));
    return dialog;
}
