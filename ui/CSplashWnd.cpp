#include "ui/CSplashWnd.h"

#include "ui/CDelvorinApp.h"
#include "ui/CDib.h"
#include "ui/Resources.h"

#include <wx/dcclient.h>

#include <algorithm>

namespace {
CSplashWnd* g_splash = nullptr;
bool g_splashEnabled = true;
} // namespace

void CSplashWnd::EnableSplashScreen(bool enable)
{
    g_splashEnabled = enable;
}

bool CSplashWnd::SplashScreenEnabled()
{
    return g_splashEnabled;
}

CSplashWnd* CSplashWnd::Current()
{
    return g_splash;
}

void CSplashWnd::ShowSplashScreen(wxWindow* owner)
{
    if (!g_splashEnabled || g_splash)
        return;
    auto* splash = new CSplashWnd(owner);
    if (!splash->bitmap_.IsOk()) {
        splash->Destroy();
        return;
    }
    g_splash = splash;
    g_splash->Show();
    g_splash->Update();
}

CSplashWnd::CSplashWnd(wxWindow* owner)
    : wxFrame(owner, wxID_ANY, "Delvorin", wxDefaultPosition, wxDefaultSize,
              wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP),
      timer_(this, kTimerId)
{
    // At twice the desktop scale the picture drawn at twice the size fills the window's
    // screen pixels; the window keeps the size of the picture at scale 1.
    const int scale = std::max(1, int(GetContentScaleFactor() + 0.5));
    const CResourceData res = FindBitmapResource(kPictureId, scale);
    const bool twice = res.data != FindBitmapResource(kPictureId).data;
    CDib dib;
    if (!dib.LoadPacked(res.data, res.size) || !dib.CreateDeviceBitmap())
        return;
    bitmap_ = dib.DeviceBitmap();
    if (twice)
        bitmap_.SetScaleFactor(2);
    SetBackgroundStyle(wxBG_STYLE_PAINT); // the picture covers the whole window
    SetClientSize(bitmap_.GetWidth() / (twice ? 2 : 1), bitmap_.GetHeight() / (twice ? 2 : 1));
    CentreOnScreen(wxBOTH);
    Bind(wxEVT_PAINT, &CSplashWnd::OnPaint, this);
    Bind(wxEVT_TIMER, &CSplashWnd::OnTimer, this, kTimerId);
    timer_.StartOnce(kShowMilliseconds);
}

CSplashWnd::~CSplashWnd()
{
    if (g_splash == this)
        g_splash = nullptr;
}

void CSplashWnd::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    dc.DrawBitmap(bitmap_, 0, 0);
}

void CSplashWnd::OnTimer(wxTimerEvent&)
{
    wxWindow* mainWindow = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    g_splash = nullptr;
    Hide();
    Destroy();
    if (mainWindow && mainWindow != this && mainWindow->IsShown()) {
        mainWindow->Refresh();
        mainWindow->Update();
    }
}
