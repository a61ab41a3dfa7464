// The picture control of the dialogs: a sunken frame that shows one bitmap resource
// inside a one-pixel margin. The frame is sized in dialog units, so its pixel size
// follows the desktop font: the picture is scaled smoothly to fill it, its proportions
// kept (what does not fit the frame's proportions is cut off evenly on both sides).
// At twice the desktop scale the picture's drawing at twice the size is shown, so it stays
// sharp. The control takes no keyboard focus.
#pragma once
#include "ui/CDib.h"

#include <wx/bitmap.h>
#include <wx/window.h>

#include <memory>

class CPictureCtrl : public wxWindow {
public:
    CPictureCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

    // Loads the bitmap resource for the control's scale and builds its palette.
    void SetBitmap(int resourceId);
    CDib* Dib() { return dib_.get(); }
    // Draws the picture as the paint handler does, into any drawing context of the
    // control's client size.
    void Draw(wxDC& dc);
    // The picture as last drawn: the frame's size inside the margin, in the screen's
    // pixels (twice the frame's logical size at twice the desktop scale).
    const wxBitmap& ScaledBitmap() const { return scaled_; }

    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

private:
    void OnPaint(wxPaintEvent& event);
    // The desktop scale rounded to a whole number, at least 1.
    int Scale() const;
    void Load();

    std::unique_ptr<CDib> dib_;
    int resourceId_ = 0;
    int loadedScale_ = 0; // the scale the picture was loaded for
    bool deviceBitmapCreated_ = false;
    wxBitmap scaled_; // the picture at the size it was last drawn
};
