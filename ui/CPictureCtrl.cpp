#include "ui/CPictureCtrl.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

CPictureCtrl::CPictureCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxWindow(parent, id, pos, size, wxBORDER_SUNKEN | wxFULL_REPAINT_ON_RESIZE)
{
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    Bind(wxEVT_PAINT, &CPictureCtrl::OnPaint, this);
}

void CPictureCtrl::SetBitmap(int resourceId)
{
    dib_ = std::make_unique<CDib>();
    deviceBitmapCreated_ = false;
    if (dib_->LoadResource(resourceId))
        dib_->CreatePalette();
    Refresh();
}

void CPictureCtrl::Draw(wxDC& dc)
{
    if (!dib_)
        return;
    if (!deviceBitmapCreated_) { // made on the first paint only
        dib_->CreateDeviceBitmap();
        deviceBitmapCreated_ = true;
    }
    wxSize client = GetClientSize();
    dib_->Paint(dc, 1, 1, client.x - 2, client.y - 2, 0, 0, false);
}

void CPictureCtrl::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    Draw(dc);
}
