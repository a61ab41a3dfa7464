// The progress window of the apply program's GTK face: the status line, the bar with
// its percentage, and Cancel.
#pragma once
#include "platform/Progress.h"
#include "stub/GtkLibrary.h"

#include <string>

// The progress window of one apply. Every update only records what to show; the window
// is redrawn, and Cancel looked at, a few dozen times a second.
class CGtkApplyProgress : public IApplyProgress {
public:
    explicit CGtkApplyProgress(const CGtk& gtk) : gtk_(gtk) {}
    void Open(GtkWidget* owner);
    void Close();
    GtkWidget* Window() const { return window_; }

    void SetStatus(const std::string& text) override;
    void SetPos(int pos) override;
    bool CheckCancelButton() override;

private:
    static void OnResponse(GtkWidget* dialog, int response, gpointer self);
    static gboolean OnDelete(GtkWidget* dialog, void* event, gpointer self);
    void Refresh(bool now);

    const CGtk& gtk_;
    GtkWidget* window_ = nullptr;
    GtkWidget* status_ = nullptr;
    GtkWidget* bar_ = nullptr;
    std::string statusText_;
    int pos_ = 0;
    bool cancelRequested_ = false;
    long long lastRefresh_ = 0;
};
