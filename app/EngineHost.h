// What the engine and the container need from the program that runs them: a line in the
// log file, a question to the user, the settings of the build, the folders it works in,
// the publisher's name, and the open patch image. The application core implements it
// for every front end; a job or a test may implement it on its own.
#pragma once
#include "app/Settings.h"
#include "app/PatchImage.h"
#include "platform/UserPrompt.h"

#include <string>

class IEngineHost {
public:
    virtual ~IEngineHost() = default;

    // Appends one line to the log file when logging is on.
    virtual void AppendToLogFile(const std::string& text) = 0;
    virtual bool LogEnabled() const = 0;
    virtual PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                             PromptButtons buttons = PromptButtons::OK, PromptIcon icon = PromptIcon::None) = 0;

    virtual const CSettings& Settings() const = 0;
    // The run's private temporary folder, ending in '/'.
    virtual const std::string& TempFolder() const = 0;
    // The running program's folder, from which "DvApply.exe" is found.
    virtual const std::string& ProgramFolder() const = 0;
    // Written into patch headers as PublisherName and PublisherOrganization.
    virtual const std::string& UserName() const = 0;
    virtual const std::string& UserOrganization() const = 0;

    virtual CPatchImage& Image() = 0;
};

// The application's name, the title of the low-level file messages.
inline constexpr const char* kAppName = "Delvorin";
