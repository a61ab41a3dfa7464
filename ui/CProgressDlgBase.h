// What the two progress dialogs share: a modeless window that disables its owner while
// it exists, a bar range with its percentage labels, the non-blocking draining of
// pending events inside every update, and the cancel request that Cancel, Escape,
// Enter and the close box raise and that the engine takes at its next check.
#pragma once
#include <wx/dialog.h>
#include <wx/weakref.h>

#include <chrono>
#include <string>

class wxGauge;
class wxStaticText;

class CProgressDlgBase : public wxDialog {
public:
    ~CProgressDlgBase() override;

    // Disables the owner (the top-level window of parent, or of the main window when
    // parent is none) when it is enabled, and creates the modeless window. On failure
    // the owner is enabled again and false is returned; the update and check calls of
    // a dialog without a window then do nothing.
    bool Create(wxWindow* parent);
    bool HasWindow() const { return created_; }
    // The work is over: hides the window and enables the owner again, before the result
    // is reported in a window of its own.
    void Finish();

    // Drains pending events, then returns the cancel request and forgets it.
    bool CheckCancel();
    // Processes the events that are pending, without waiting for any. The toolkit's own
    // events (input, painting) are taken at most kYieldsPerSecond times a second.
    void PumpMessages();
    static constexpr int kYieldsPerSecond = 15;

    wxWindow* Owner() const { return owner_; }
    bool OwnerDisabled() const { return ownerDisabled_; }
    int CaptionId() const { return captionId_; }

    // Bar range and step.
    int lower = 0;
    int upper = 100;
    int step = 10;

protected:
    // captionId 0 keeps the dialog's own caption defaultCaptionId.
    CProgressDlgBase(int defaultCaptionId, int captionId, const char* templateTitle, int dluWidth, int dluHeight);

    // Makes the template's controls.
    virtual void CreateControls() = 0;
    // The dialog's initialisation once its controls exist.
    virtual void OnOpening() = 0;

    // Sets a bar and rewrites its percentage label when the text changed.
    void SetBar(wxGauge* bar, wxStaticText* percent, int pos);
    // Shows a text in a label unless the label shows it already.
    static void SetTextIfChanged(wxStaticText* label, const std::string& text);
    void SetupBar(wxGauge* bar);
    wxStaticText* AddText(int id, const char* text, int x, int y, int cx, int cy);
    wxStaticText* AddPercentLabel(int id, int x, int y, int cx, int cy);
    wxGauge* AddBar(int id, int x, int y, int cx, int cy);
    void AddCancelButton(int x, int y);

private:
    void OnCancel(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);

    int captionId_;
    const char* templateTitle_;
    int dluWidth_;
    int dluHeight_;
    bool cancelRequested_ = false;
    bool yielded_ = false;
    std::chrono::steady_clock::time_point lastYield_;
    bool created_ = false;
    wxWeakRef<wxWindow> owner_;
    bool ownerDisabled_ = false;
};
