// The application core: everything the application object owns that is not a window.
// The settings record, the log file, the user's name and organisation, the program and
// temporary folders, the one open patch image, and the way to ask the user. The
// graphical program, the command-line program, the apply stub and the tests each make
// one and hand it to the engine as its host.
#pragma once
#include "app/LogFile.h"
#include "app/Settings.h"
#include "app/EngineHost.h"
#include "platform/UserPrompt.h"

#include <string>

class CAppCore : public IEngineHost {
public:
    // programFolder: the running program's folder, from which "DvApply.exe" is found;
    // the log file lies there when it may be written to, else in the user's state
    // folder. tempFolder: the run's private temporary folder, ending in '/'. Empty
    // values take the platform's.
    explicit CAppCore(IUserPrompt* prompts = nullptr, const std::string& programFolder = "",
                      const std::string& tempFolder = "");
    CAppCore(const CAppCore&) = delete;
    CAppCore& operator=(const CAppCore&) = delete;

    CSettings settings;
    IUserPrompt* prompts;
    CLogFile log;
    std::string userName;         // written into patch headers as PublisherName
    std::string userOrganization; // written into patch headers as PublisherOrganization
    std::string programFolder;    // without a trailing '/'
    std::string tempFolder;       // ends in '/'

    // The open patch image of the build or apply that runs.
    CPatchImage image;

    // Begins a new log file, making the folder it lies in when that is missing.
    bool StartLog();
    void AppendToLogFile(const std::string& text) override { log.Append(text); }
    bool LogEnabled() const override { return log.Enabled(); }
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons = PromptButtons::OK, PromptIcon icon = PromptIcon::None) override;

    const CSettings& Settings() const override { return settings; }
    const std::string& TempFolder() const override { return tempFolder; }
    const std::string& ProgramFolder() const override { return programFolder; }
    const std::string& UserName() const override { return userName; }
    const std::string& UserOrganization() const override { return userOrganization; }
    CPatchImage& Image() override { return image; }
};
