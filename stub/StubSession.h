// The apply program of a self-extracting patch: what its window and its terminal form
// share. The command line, the patch carried behind the program's own bytes (and the
// parts beside it), and one apply of it to a folder.
#pragma once
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyJob.h"
#include "jobs/ExitStatus.h"
#include "stub/StubUi.h"

#include <string>
#include <vector>

// Exit statuses of the apply program.
inline constexpr int kStubExitOk = kExitOk;
inline constexpr int kStubExitFailure = kExitFailure;
inline constexpr int kStubExitUsage = kExitUsage;
inline constexpr int kStubExitVerification = kExitNothingToDo;
inline constexpr int kStubExitCancelled = kExitCancelled;

// PROGRAM [--console] ["FOLDER"] [--backup [EXT]]
struct CStubOptions {
    bool console = false;
    bool help = false;
    std::string folder; // as given; empty when none was given
    int backup = 0;
    std::string backupExt = "bak";
};

// Reads the arguments after the program name. False, with why set, on a bad command
// line. The extension after --backup is taken only once the folder has been given
// (else "--backup=EXT"), so "PROGRAM --backup FOLDER" keeps its meaning.
bool ParseStubArguments(const std::vector<std::string>& args, CStubOptions& options, std::string& why);
// The usage lines for the program called name.
std::string StubUsage(const std::string& name);
// True when a graphical display is at hand (DISPLAY or WAYLAND_DISPLAY set).
bool HasDisplay();
// Empty when ext can serve as a backup extension, else why not.
std::string CheckBackupExtension(const std::string& ext);
// Empty when the folder can be updated (it exists), else the message to show.
std::string CheckTargetFolder(const std::string& folder);

// The patch of one self-extracting patch program, read through the engine's patch
// document from the program file and its parts.
class CStubPatch {
public:
    enum class OpenResult { Opened, NoPayload, Unreadable };

    // programPath: the self-extracting program (the running executable, or a test's).
    CStubPatch(CAppCore& core, CDirDiff& dirDiff, const std::string& programPath);
    ~CStubPatch();
    CStubPatch(const CStubPatch&) = delete;
    CStubPatch& operator=(const CStubPatch&) = delete;

    // Finds the patch behind the program's own bytes, joins the parts (asking for a
    // missing one), decompresses the patch and reads its header. Messages of the steps
    // go through the core; the caller reports NoPayload and Unreadable with the texts
    // below.
    OpenResult Open();
    bool IsOpen() const { return open_; }
    const CPatchHeader& Header() const;
    const std::string& ProgramPath() const { return programPath_; }

    // Verifies the folder against the patch and, when every file matches, applies it.
    // After a refusal by the verification the patch can be applied to another folder.
    CApplyOutcome Apply(const std::string& folder, int& backup, const std::string& backupExt,
                        IApplyProgress* progress);

    // Closes the patch image and removes the temporary files.
    void Close();

    // The publisher's name and organisation as one line, "Name, Organisation" (only the
    // one that is there when the other is empty).
    std::string PublisherLine() const;
    // The publisher's text for the user, its line breaks (CR LF as the text editor
    // writes them) as plain line feeds.
    std::string DialogText() const;
    // The folder to propose: the command line's, else the patch's default folder.
    std::string ProposedFolder(const std::string& commandLineFolder) const;

    std::string NoPayloadMessage() const;
    static constexpr const char* kUnreadableMessage = "Error opening patch file";

private:
    std::string programPath_;
    CApplyJob job_;
    bool open_ = false;
};

// One run of the apply program: opens the patch carried by programPath, lets the user
// choose the folder (again, after a folder that does not match, where ui allows it),
// applies the patch and shows the result. Returns the exit status.
int RunStubSession(IStubUi& ui, const CStubOptions& options, const std::string& programPath);
