// The application core: everything the application object owns that is not a window.
// The settings record, the log file, the user's name and organisation, the program and
// temporary folders, the one open patch image with its 16-bit file count, and the way
// to ask the user. The graphical program, the command-line program, the apply stub and
// the tests each make one and hand it to the engine.
#pragma once
#include "app/LogFile.h"
#include "app/Settings.h"
#include "platform/BinFile.h"
#include "platform/UserPrompt.h"

#include <cstdint>
#include <string>

// Classic: one gzip stream of fixed-layout records, read by every reader of the format.
// Compact: records with zstd-packed deltas and SHA-256 checks, read by this program.
enum class CPatchFormat { Classic, Compact };

class CAppCore {
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

    // The open patch image shared by the header, the record reader and writer and the
    // apply, and the number of file records it holds.
    CBinFile patchImage;
    // The format of the patch image: chosen for a build, found in the patch for an apply.
    CPatchFormat patchFormat = CPatchFormat::Classic;
    // A compact build: the controls, differences and literals of all its records, each
    // written unpacked into a work file of its own until the patch file is made.
    CBinFile compactStreams[3];
    uint16_t fileCount = 0;
    // The target files an apply has replaced so far; its caller sets it to 0 first.
    int filesUpdated = 0;

    // Begins a new log file, making the folder it lies in when that is missing.
    bool StartLog();
    void AppendToLogFile(const std::string& text) { log.Append(text); }
    bool LogEnabled() const { return log.Enabled(); }
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons = PromptButtons::OK, PromptIcon icon = PromptIcon::None);
};

// The application's name, the title of the low-level file messages.
inline constexpr const char* kAppName = "Delvorin";
