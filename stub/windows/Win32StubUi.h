// The window of the Windows apply program, in plain Win32 dialogs: the publisher and the
// publisher's text, the folder to update with Browse (the system's folder picker), the
// backup choice with its extension, Apply and Cancel; a progress window with Cancel; message
// boxes for questions; the success message with where the backups went, the errors list
// with whom to contact, or the failure. It has the face of the Linux program's window.
#pragma once
#include "stub/StubUi.h"
#include "stub/windows/Win32AdministratorRestart.h"
#include "stub/windows/Win32ApplyProgress.h"

#include <windows.h>

#include <string>

class CWin32StubUi : public IStubUi {
public:
    CWin32StubUi();
    ~CWin32StubUi() override;
    CWin32StubUi(const CWin32StubUi&) = delete;
    CWin32StubUi& operator=(const CWin32StubUi&) = delete;

    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title, PromptButtons buttons,
                     PromptIcon icon) override;
    bool AskFolder(const CStubIntro& intro, CStubChoice& choice) override;
    IApplyProgress& BeginProgress() override;
    void EndProgress() override;
    void ShowResult(const CStubResult& result) override;
    bool MayRetry() const override { return true; }
    IAdministratorRestart* AdministratorRestart() override { return &administrator_; }

    // The apply window while it is open (for tests that look at it).
    HWND Form() const { return form_; }

private:
    void CreateForm(const CStubIntro& intro, const CStubChoice& choice);
    void Browse();
    void ShowMessage(const std::string& text, const std::string& title, UINT icon);
    void ShowSuccess(const CStubResult& result);
    void ShowErrors(const CStubResult& result);
    static INT_PTR CALLBACK FormProc(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND form_ = nullptr;
    HFONT boldFont_ = nullptr;
    HICON icon_ = nullptr, smallIcon_ = nullptr;
    int answer_ = 0; // IDOK or IDCANCEL once the user has decided, 0 while the form waits
    CWin32ApplyProgress progress_;
    CWin32AdministratorRestart administrator_{&form_};
};
