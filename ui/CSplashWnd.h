// The start-up picture: a borderless window the size of bitmap 102, centred on the
// screen, that closes itself 1,500 milliseconds after it was created and then has the
// main window repainted at once. At twice the desktop scale it shows the picture drawn
// at twice the size.
#pragma once
#include <wx/bitmap.h>
#include <wx/frame.h>
#include <wx/timer.h>

class CSplashWnd : public wxFrame {
public:
    static constexpr int kTimerId = 1;
    static constexpr int kShowMilliseconds = 1500;
    static constexpr int kPictureId = 102;

    // Turns the splash on or off for the process (on by default).
    static void EnableSplashScreen(bool enable);
    static bool SplashScreenEnabled();
    // Creates and shows the splash, owned by owner, when it is enabled and none exists.
    static void ShowSplashScreen(wxWindow* owner);
    // The splash on screen, if any.
    static CSplashWnd* Current();

    ~CSplashWnd() override;
    // The picture as shown: with the screen's pixels, marked with its scale.
    const wxBitmap& Bitmap() const { return bitmap_; }

private:
    explicit CSplashWnd(wxWindow* owner);
    void OnPaint(wxPaintEvent& event);
    void OnTimer(wxTimerEvent& event);

    wxBitmap bitmap_;
    wxTimer timer_;
};
