// Placing controls the way the dialog templates give them: positions and sizes in dialog
// units, converted with the font of the dialog they belong to, so the arrangement keeps
// its proportions whatever font the desktop uses.
#pragma once
#include <wx/stattext.h>
#include <wx/window.h>

inline wxPoint DluPoint(wxWindow* dialog, int x, int y)
{
    return dialog->ConvertDialogToPixels(wxPoint(x, y));
}

inline wxSize DluSize(wxWindow* dialog, int cx, int cy)
{
    return dialog->ConvertDialogToPixels(wxSize(cx, cy));
}

// A word-wrapped static text at a template rectangle.
wxStaticText* AddWrappedText(wxWindow* dialog, int id, const wxString& text, int x, int y, int cx, int cy,
                             long style = 0);
// Sets the text of a wrapped static text and wraps it to its width again.
void SetWrappedText(wxStaticText* label, const wxString& text);
// Desktop fonts can need more lines than the template's small font did: every wrapped
// text that needs more height than its rectangle gets it, and the controls below it
// and the dialog move down by as much, so the arrangement stays and nothing is cut off.
void FitWrappedTexts(wxWindow* dialog);
