#include "ui/DialogUnits.h"

#include <wx/dcclient.h>

#include <algorithm>
#include <vector>

namespace {
const char kWrappedName[] = "wrappedText";
}

wxStaticText* AddWrappedText(wxWindow* dialog, int id, const wxString& text, int x, int y, int cx, int cy, long style)
{
    wxSize size = DluSize(dialog, cx, cy);
    auto* label = new wxStaticText(dialog, id, text, DluPoint(dialog, x, y), size, style | wxST_NO_AUTORESIZE,
                                   kWrappedName);
    label->Wrap(size.x);
    return label;
}

void SetWrappedText(wxStaticText* label, const wxString& text)
{
    label->SetLabelText(text);
    label->Wrap(label->GetSize().x);
}

void FitWrappedTexts(wxWindow* dialog)
{
    std::vector<wxStaticText*> texts;
    for (wxWindow* child : dialog->GetChildren()) {
        if (child->GetName() == kWrappedName)
            texts.push_back(static_cast<wxStaticText*>(child));
    }
    std::sort(texts.begin(), texts.end(),
              [](wxWindow* a, wxWindow* b) { return a->GetPosition().y < b->GetPosition().y; });
    for (wxStaticText* text : texts) {
        wxClientDC dc(text);
        dc.SetFont(text->GetFont());
        int needed = dc.GetMultiLineTextExtent(text->GetLabel()).y;
        wxRect rect = text->GetRect();
        if (needed <= rect.height)
            continue;
        int delta = needed - rect.height;
        int bottom = rect.GetBottom() + 1;
        text->SetSize(rect.width, needed);
        for (wxWindow* child : dialog->GetChildren()) {
            if (child != text && !child->IsTopLevel() && child->GetPosition().y >= bottom - 1)
                child->Move(child->GetPosition().x, child->GetPosition().y + delta);
        }
        wxSize client = dialog->GetClientSize();
        dialog->SetClientSize(client.x, client.y + delta);
    }
}
