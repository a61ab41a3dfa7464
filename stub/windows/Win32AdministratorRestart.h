// The Windows side of the offer to start the apply program again as an administrator: a
// folder is closed to this user when a probe file cannot be created beneath it (access
// denied), and the restart asks the system to run this program with administrator rights
// (the "runas" verb), the same choice on its command line, and waits for it.
#pragma once
#include "stub/AdministratorOffer.h"

#include <windows.h>

#include <string>

class CWin32AdministratorRestart : public IAdministratorRestart {
public:
    // owner: the window the system's question belongs to, hidden while the restarted
    // program runs (it is read when needed, so it may be created later).
    explicit CWin32AdministratorRestart(const HWND* owner) : owner_(owner) {}

    bool NeedsAdministrator(const std::string& folder) override;
    bool RestartAsAdministrator(const CStubChoice& choice, int& status, std::string& why) override;

    // True when the program runs with administrator rights already.
    static bool RunsAsAdministrator();
    // True when this user may not create a file beneath the folder (access denied); any
    // other failure is left to the apply, which says what it is.
    static bool AccessDenied(const std::string& folder);

private:
    const HWND* owner_;
};
