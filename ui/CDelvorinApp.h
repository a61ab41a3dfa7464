// The application object: owns the application core (settings record, log file, user
// name and organisation, the way to ask the user), the profile, the one engine object,
// the help system and the Wizard choice. Start-up runs the main dialog modally; the
// whole program happens inside that run.
#pragma once
#include "app/AppCore.h"
#include "app/Profile.h"

#include <wx/app.h>

#include <memory>
#include <string>

class CDirDiff;
class CWxPrompt;
class wxHtmlHelpController;
class wxWindow;

class CDelvorinApp : public wxApp {
public:
    CDelvorinApp();
    ~CDelvorinApp() override;

    // wx entry points: OnInit runs InitInstance and then ExitInstance itself (wx runs no
    // OnExit after a failed OnInit, and the settings must always be saved); OnRun
    // returns ExitInstance's result as the exit code without another message loop.
    bool OnInit() override;
    int OnRun() override;

    // Start-up: profile, fresh log file, settings record, user identity, then the main
    // dialog run modally. Returns false: no message loop follows.
    bool InitInstance();
    // Shut-down: writes the settings record (and the user identity) back and destroys
    // the engine object. Returns the process exit code, 0.
    int ExitInstance();

    // Loads the profile, the settings record and the user identity (start-up steps 2-4,
    // without the log and the window).
    void LoadSettings();

    CAppCore& Core() { return *core_; }
    CSettings& Settings() { return core_->settings; }
    CProfile& Profile() { return *profile_; }
    // Tests keep their profile away from the user's.
    void SetProfilePath(const std::string& path);
    // Tests answer the prompts from a script; nullptr restores the message boxes.
    void SetPrompts(IUserPrompt* prompts);

    // The one engine object, created on first use.
    CDirDiff& GetDirDiff();
    bool HasDirDiff() const { return dirDiff_ != nullptr; }

    // Help at a context number: 5 main dialog, 6-11 Wizard pages, 12 Build page, 13
    // Apply page, 100 and 106 the file chooser modes.
    void ShowHelp(int context);
    void CloseHelp();
    int LastHelpContext() const { return lastHelpContext_; }
    // Tests record the help requests without opening the help window.
    void SetHelpWindowsEnabled(bool enabled) { helpWindows_ = enabled; }
    std::string HelpBookPath() const;

    // The window that owns plain messages: the main dialog, else the Expert mode window.
    wxWindow* MainWindowForMessages() const;
    // The progress dialog that is up, if any (owner of the engine's questions).
    void SetActiveProgressDialog(wxWindow* dialog) { activeProgress_ = dialog; }
    wxWindow* ActiveProgressDialog() const { return activeProgress_; }

    // The Wizard's build (0) or apply (1) choice, kept for the run, never saved.
    int wizardChoice = 0;

    // Test hook only: when the program is started with DELVORIN_TEST_TRACE_WINDOWS set
    // (by main.cpp), the main dialog closes itself after that many seconds.
    void SetAutoCloseSeconds(int seconds) { autoCloseSeconds_ = seconds; }
    int AutoCloseSeconds() const { return autoCloseSeconds_; }

private:
    std::unique_ptr<CWxPrompt> wxPrompt_;
    std::unique_ptr<CAppCore> core_;
    std::unique_ptr<CProfile> profile_;
    std::unique_ptr<CDirDiff> dirDiff_;
    std::unique_ptr<wxHtmlHelpController> help_;
    wxWindow* activeProgress_ = nullptr;
    int lastHelpContext_ = 0;
    bool helpWindows_ = true;
    int exitCode_ = 0;
    int autoCloseSeconds_ = 0;
};

// The running application object.
CDelvorinApp& TheApp();

// The profile keys of the user identity, in section "Settings".
inline constexpr const char* kUserNameKey = "UserName";
inline constexpr const char* kUserOrganizationKey = "UserOrganization";
