#include "ui/CSplashWnd.h"

#include "ui/CDelvorinApp.h"
#include "ui/CDib.h"
#include "ui/Resources.h"

#include <wx/dcclient.h>

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
    CResourceData res = FindBitmapResource(102);
    CDib dib;
    if (!dib.LoadPacked(res.data, res.size) || !dib.CreateDeviceBitmap())
        return;
    g_splash = new CSplashWnd(owner, dib.DeviceBitmap());
    g_splash->Show();
    g_splash->Update();
}

CSplashWnd::CSplashWnd(wxWindow* owner, const wxBitmap& bitmap)
    : wxFrame(owner, wxID_ANY, "Delvorin", wxDefaultPosition, wxDefaultSize,
              wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP),
      bitmap_(bitmap), timer_(this, kTimerId)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT); // the picture covers the whole window
    SetClientSize(bitmap_.GetWidth(), bitmap_.GetHeight());
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
