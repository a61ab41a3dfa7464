#include "ui/CPictureCtrl.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>
#include <cstdint>

CPictureCtrl::CPictureCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxWindow(parent, id, pos, size, wxBORDER_SUNKEN | wxFULL_REPAINT_ON_RESIZE)
{
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    Bind(wxEVT_PAINT, &CPictureCtrl::OnPaint, this);
}

int CPictureCtrl::Scale() const
{
    return std::max(1, int(GetContentScaleFactor() + 0.5));
}

void CPictureCtrl::SetBitmap(int resourceId)
{
    resourceId_ = resourceId;
    Load();
    Refresh();
}

void CPictureCtrl::Load()
{
    loadedScale_ = Scale();
    dib_ = std::make_unique<CDib>();
    deviceBitmapCreated_ = false;
    scaled_ = wxBitmap();
    if (dib_->LoadResource(resourceId_, loadedScale_))
        dib_->CreatePalette();
}

void CPictureCtrl::Draw(wxDC& dc)
{
    if (!dib_)
        return;
    if (Scale() != loadedScale_) // moved to a screen of another scale
        Load();
    if (!deviceBitmapCreated_) { // made on the first paint only
        dib_->CreateDeviceBitmap();
        deviceBitmapCreated_ = true;
    }
    const wxSize client = GetClientSize();
    const int width = client.x - 2;
    const int height = client.y - 2;
    const int pictureWidth = dib_->DeviceWidth();
    const int pictureHeight = dib_->DeviceHeight();
    if (width <= 0 || height <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return;
    // At twice the desktop scale (GDK_SCALE=2) the frame has twice the pixels on screen:
    // the picture is scaled to those, not to the frame's logical size and then enlarged.
    const double scale = std::max(1.0, GetContentScaleFactor());
    const int pixelWidth = int(width * scale + 0.5);
    const int pixelHeight = int(height * scale + 0.5);
    if (!scaled_.IsOk() || scaled_.GetWidth() != pixelWidth || scaled_.GetHeight() != pixelHeight) {
        // The largest part of the picture with the frame's proportions, centred, scaled
        // to the frame with smoothing.
        wxRect part(0, 0, pictureWidth, pictureHeight);
        if (int64_t(pictureWidth) * height > int64_t(width) * pictureHeight) {
            part.width = std::max(1, int(int64_t(pictureHeight) * width / height));
            part.x = (pictureWidth - part.width) / 2;
        } else {
            part.height = std::max(1, int(int64_t(pictureWidth) * height / width));
            part.y = (pictureHeight - part.height) / 2;
        }
        wxImage image = dib_->DeviceBitmap().ConvertToImage().GetSubImage(part);
        scaled_ = wxBitmap(image.Scale(pixelWidth, pixelHeight, wxIMAGE_QUALITY_HIGH));
        scaled_.SetScaleFactor(scale);
    }
    dc.DrawBitmap(scaled_, 1, 1);
}

void CPictureCtrl::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    Draw(dc);
}
