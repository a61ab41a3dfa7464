// The picture control of the dialogs: a sunken frame that draws one bitmap resource
// unscaled at 1,1 inside a one-pixel margin, cut off when it is larger than the frame.
#pragma once
#include "ui/CDib.h"

#include <wx/window.h>

#include <memory>

class CPictureCtrl : public wxWindow {
public:
    CPictureCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

    // Loads the bitmap resource and builds its palette.
    void SetBitmap(int resourceId);
    CDib* Dib() { return dib_.get(); }
    // Draws the picture as the paint handler does, into any drawing context of the
    // control's client size.
    void Draw(wxDC& dc);

private:
    void OnPaint(wxPaintEvent& event);

    std::unique_ptr<CDib> dib_;
    bool deviceBitmapCreated_ = false;
};
