// The offer to start the apply program again as an administrator, for a folder this user
// may not change (on Windows, a folder under Program Files). The session asks the user
// through its face; how the folder is probed and the program restarted belongs to the
// system, behind this interface, so the decision can be tried without the system's
// elevation question.
#pragma once
#include "stub/StubUi.h"

#include <string>

class IAdministratorRestart {
public:
    virtual ~IAdministratorRestart() = default;
    // True when this user is refused the creation of a file beneath the folder and the
    // program could be given more rights (it is not running as an administrator yet).
    virtual bool NeedsAdministrator(const std::string& folder) = 0;
    // Starts this program again as an administrator for the choice (folder and backup),
    // waits for it and puts its exit status in status. False when it did not run: why is
    // then empty when the user declined the system's question, else says what failed.
    virtual bool RestartAsAdministrator(const CStubChoice& choice, int& status, std::string& why) = 0;
};

// The question put to the user for a folder this user may not change.
std::string AdministratorQuestion(const std::string& folder);

// The arguments of the restarted program, as one Windows command line: the backup
// choice, then the folder behind "--" (so that a name beginning with '-' stays a folder).
std::string RestartCommandLine(const CStubChoice& choice);

// The argument as one piece of a Windows command line, which the C runtime splits by its
// rules (blanks separate, double quotes group, backslashes count only before a double
// quote): quoted where needed so that it comes back unchanged. "C:\Program Files\Frob\"
// must end in two backslashes before the closing quote, or the quote becomes text.
std::string QuoteWindowsArgument(const std::string& argument);
