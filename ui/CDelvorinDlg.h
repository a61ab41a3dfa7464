// The main dialog: greets the user, shows the main picture and offers Expert mode, the
// Wizard, About, Help and Exit. Its modal run is the lifetime of the program. It
// appears about a second after start, behind the start-up splash.
#pragma once
#include <wx/dialog.h>
#include <wx/timer.h>

class CExpertModePropFrame;
class CPictureCtrl;
class wxButton;

class CDelvorinDlg : public wxDialog {
public:
    enum {
        kIdExpert = 1000,
        kIdWizard = 1001,
        kIdAboutButton = 1002,
        kIdHelpButton = 1003,
        kIdExit = 1004,
        kIdPicture = 1038,
        kIdAboutEntry = 16,  // the About entry of the window menu
        kAppearTimerId = 49, // the delayed appearance
        kAutoCloseTimerId = 50,
    };
    static constexpr int kAppearMilliseconds = 1000;
    static constexpr int kHelpContext = 5;

    CDelvorinDlg();
    ~CDelvorinDlg() override;

    // While the delayed appearance is pending a show request waits for timer 49; while
    // the dialog runs modally, hiding it (for Expert mode) keeps the modal run going.
    bool Show(bool show = true) override;

    CExpertModePropFrame* ExpertFrame() const { return expert_; }
    CPictureCtrl* Picture() const { return picture_; }
    bool AppearancePending() const { return appearancePending_; }
    const wxRect& RememberedRect() const { return rememberedRect_; }
    // The window menu's commands: an id whose low four bits cleared is 16 opens About.
    void OnSysCommand(int id);
    // Ends the delayed appearance as timer 49 does.
    void Appear();

    // Command handlers, public so that the windows can be driven directly.
    void OnExpert(wxCommandEvent& event);
    void OnWizard(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);

private:
    void OnTimer(wxTimerEvent& event);
    void OnAutoClose(wxTimerEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnMenu(wxCommandEvent& event);

    CPictureCtrl* picture_ = nullptr;
    CExpertModePropFrame* expert_ = nullptr;
    wxRect rememberedRect_;
    wxTimer appearTimer_;
    wxTimer autoCloseTimer_;
    bool appearancePending_ = false;
    bool showRequested_ = false;
};
