// What the apply program asks of whoever faces the user: the terminal, the GTK window,
// or a test's script. The session (StubSession.h) drives one apply through these calls
// only, so every face behaves the same way.
#pragma once
#include "platform/Progress.h"
#include "platform/UserPrompt.h"

#include <string>
#include <vector>

class IAdministratorRestart;

// The folder to update and the backup choice.
struct CStubChoice {
    std::string folder;
    bool backup = false;
    std::string backupExt = "bak";
};

// What the patch says about itself, shown beside the choice.
struct CStubIntro {
    std::string publisher;  // "Name, Organisation", empty when the patch names nobody
    std::string dialogText; // the publisher's text, line breaks as '\n'
};

// How an apply ended.
struct CStubResult {
    enum class Kind { Applied, NotMatching, Failed, Cancelled };
    Kind kind = Kind::Failed;
    std::string message;            // Applied, Failed, Cancelled: the one line to show
    std::vector<std::string> lines; // NotMatching: the verification's lines, in order
    std::string contact;            // NotMatching: whom to contact (may be empty)
    std::vector<std::string> backups; // Applied: where each backup went (BackupLines)
};

// Questions and plain messages go through the IUserPrompt call (message boxes in a
// window, lines on the terminal).
class IStubUi : public IUserPrompt {
public:
    // Lets the user choose the folder and the backup; choice holds the proposal and
    // receives the answer. False when the user gives up (Cancel, or nobody to ask).
    virtual bool AskFolder(const CStubIntro& intro, CStubChoice& choice) = 0;
    // The progress display of one apply, shown from Begin to End.
    virtual IApplyProgress& BeginProgress() = 0;
    virtual void EndProgress() = 0;
    virtual void ShowResult(const CStubResult& result) = 0;
    // After a folder that did not match: true when the user may choose another one.
    virtual bool MayRetry() const = 0;
    // Where a folder may be closed to this user but open to an administrator (the Windows
    // window): the probe and the restart. Null where the offer is not made.
    virtual IAdministratorRestart* AdministratorRestart() { return nullptr; }
};
