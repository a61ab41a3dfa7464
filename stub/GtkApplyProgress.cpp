#include "stub/GtkApplyProgress.h"

#include "terminal/Terminal.h"

#include <chrono>

namespace {

constexpr int kSpacing = 6;      // pixels around and between the window's controls
constexpr int kStatusWidth = 56; // characters of the status line

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void CGtkApplyProgress::Open(GtkWidget* owner)
{
    window_ = gtk_.gtk_dialog_new();
    gtk_.gtk_window_set_title(window_, "Applying Patch");
    gtk_.gtk_window_set_transient_for(window_, owner);
    gtk_.gtk_window_set_modal(window_, 1);
    gtk_.gtk_window_set_resizable(window_, 0);
    gtk_.gtk_window_set_position(window_, gtk::kCenterOnParent);
    gtk_.gtk_container_set_border_width(window_, kSpacing);
    GtkWidget* box = gtk_.gtk_box_new(gtk::kVertical, kSpacing);
    gtk_.gtk_container_set_border_width(box, kSpacing);
    status_ = gtk_.gtk_label_new("");
    gtk_.gtk_label_set_xalign(status_, 0);
    gtk_.gtk_label_set_width_chars(status_, kStatusWidth);
    gtk_.gtk_label_set_max_width_chars(status_, kStatusWidth);
    gtk_.gtk_label_set_ellipsize(status_, gtk::kEllipsizeMiddle);
    gtk_.gtk_box_pack_start(box, status_, 0, 0, 0);
    bar_ = gtk_.gtk_progress_bar_new();
    gtk_.gtk_progress_bar_set_show_text(bar_, 1);
    gtk_.gtk_box_pack_start(box, bar_, 0, 0, 0);
    gtk_.gtk_container_add(gtk_.gtk_dialog_get_content_area(window_), box);
    gtk_.gtk_dialog_add_button(window_, "_Cancel", gtk::kCancel);
    // Cancel, and closing the window, only ask the engine to stop at its next check.
    // Closing (Escape, the title bar's close) must not destroy the window as well: the
    // cancel question is asked over it.
    Connect(gtk_, window_, "response", &CGtkApplyProgress::OnResponse, this);
    Connect(gtk_, window_, "delete-event", &CGtkApplyProgress::OnDelete, this);
    statusText_.clear();
    pos_ = 0;
    cancelRequested_ = false;
    gtk_.gtk_widget_show_all(window_);
    Refresh(true);
}

void CGtkApplyProgress::Close()
{
    if (window_)
        gtk_.gtk_widget_destroy(window_);
    window_ = status_ = bar_ = nullptr;
}

void CGtkApplyProgress::OnResponse(GtkWidget*, int, gpointer self)
{
    static_cast<CGtkApplyProgress*>(self)->cancelRequested_ = true;
}

gboolean CGtkApplyProgress::OnDelete(GtkWidget*, void*, gpointer self)
{
    static_cast<CGtkApplyProgress*>(self)->cancelRequested_ = true;
    return 1; // the window stays
}

void CGtkApplyProgress::SetStatus(const std::string& text)
{
    statusText_ = text;
    Refresh(false);
}

void CGtkApplyProgress::SetPos(int pos)
{
    pos_ = pos;
    Refresh(false);
}

bool CGtkApplyProgress::CheckCancelButton()
{
    Refresh(false);
    const bool signalled = TakeCancelRequest();
    const bool pressed = cancelRequested_;
    cancelRequested_ = false;
    return pressed || signalled;
}

void CGtkApplyProgress::Refresh(bool now)
{
    // A person sees no more than a few dozen changes a second; drawing each of the
    // engine's calls would cost more than the apply.
    const long long ms = NowMs();
    if (!window_ || (!now && ms - lastRefresh_ < 40))
        return;
    lastRefresh_ = ms;
    gtk_.gtk_label_set_text(status_, statusText_.c_str());
    const int pos = pos_ < 0 ? 0 : pos_ > 100 ? 100 : pos_;
    gtk_.gtk_progress_bar_set_fraction(bar_, pos / 100.0);
    gtk_.gtk_progress_bar_set_text(bar_, PercentLabel(pos).c_str());
    while (gtk_.gtk_events_pending())
        gtk_.gtk_main_iteration_do(0);
}
