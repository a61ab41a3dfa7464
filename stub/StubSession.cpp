#include "stub/StubSession.h"

#include "container/SelfExtractReader.h"
#include "platform/FileSystem.h"
#include "platform/Interrupts.h"
#include "stub/AdministratorOffer.h"
#include "terminal/ApplySupport.h"

#include <cstdlib>

bool ParseStubArguments(const std::vector<std::string>& args, CStubOptions& o, std::string& why)
{
    bool haveFolder = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--console") {
            o.console = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--backup") {
            o.backup = 1;
            if (haveFolder && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-')
                o.backupExt = args[++i];
        } else if (a.rfind("--backup=", 0) == 0) {
            o.backup = 1;
            o.backupExt = a.substr(9);
        } else if (a == "--") {
            // Everything after "--" is the folder, even when it begins with '-'.
            if (i + 2 < args.size() || haveFolder) {
                why = "only one folder can be given";
                return false;
            }
            if (i + 1 < args.size()) {
                o.folder = args[i + 1];
                haveFolder = true;
            }
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            why = "unknown option '" + a + "'";
            return false;
        } else {
            if (haveFolder) {
                why = "only one folder can be given";
                return false;
            }
            o.folder = a;
            haveFolder = true;
        }
    }
    if (haveFolder && o.folder.empty()) {
        why = "the folder name is empty";
        return false;
    }
    std::string extProblem = o.backup ? CheckBackupExtension(o.backupExt) : std::string();
    if (!extProblem.empty()) {
        why = extProblem;
        return false;
    }
    return true;
}

std::string StubUsage(const std::string& name)
{
    return "usage: " + name + " [--console] [\"FOLDER\"] [--backup [EXT]]\n"
           "  Applies the Delvorin patch carried by this program to FOLDER (by default the\n"
           "  folder the publisher proposes). With a display it opens a window; without one,\n"
           "  or with --console, it works on the terminal. --backup keeps every changed file\n"
           "  under the extension EXT (default \"bak\").\n"
           "  exit status: 0 applied, 1 failure, 2 bad usage, 3 the folder does not hold the\n"
           "  files the patch was made for (nothing changed), 130 cancelled";
}

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::string CheckBackupExtension(const std::string& ext)
{
    // The extension replaces the one of every backed-up file: a '/' would move the
    // backup into another folder.
    if (ext.find('/') != std::string::npos)
        return "The backup file extension must not hold a \"/\".";
    return "";
}

std::string CheckTargetFolder(const std::string& folder)
{
    // A patch updates an installed set of files: a folder that does not exist is a
    // mistyped or wrong one, and applying there would only scatter the new files.
    if (!fsys::FolderExists(folder))
        return "The folder:\n" + folder + "\ndoes not exist. Please choose the folder that holds the files to be updated.";
    return "";
}

CStubPatch::CStubPatch(CAppCore& core, CDirDiff& dirDiff, const std::string& programPath)
    : programPath_(programPath), job_(core, dirDiff, programPath)
{
    // Read as a self-extracting program whatever the file is called now.
    job_.SetSelfExtract(true);
}

CStubPatch::~CStubPatch()
{
    Close();
}

CStubPatch::OpenResult CStubPatch::Open()
{
    Close();
    // The patch stands directly behind the program's own image; the marker text also
    // appears inside the program's code, so it is never searched for.
    uint64_t markerOffset = 0;
    if (programPath_.empty() || !FindSelfExtractPayload(programPath_, markerOffset))
        return OpenResult::NoPayload;
    if (!job_.Open())
        return OpenResult::Unreadable;
    open_ = true;
    return OpenResult::Opened;
}

const CPatchHeader& CStubPatch::Header() const
{
    return job_.Header();
}

CApplyOutcome CStubPatch::Apply(const std::string& folder, int& backup, const std::string& backupExt,
                                IApplyProgress* progress)
{
    return job_.Apply(folder, backup, backupExt, progress);
}

void CStubPatch::Close()
{
    job_.Close();
    open_ = false;
}

std::string CStubPatch::PublisherLine() const
{
    const CPatchHeader& h = Header();
    if (h.publisherName.empty())
        return h.publisherOrganization;
    if (h.publisherOrganization.empty())
        return h.publisherName;
    return h.publisherName + ", " + h.publisherOrganization;
}

std::string CStubPatch::DialogText() const
{
    const std::string& raw = Header().dialogText;
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            text += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else {
            text += raw[i];
        }
    }
    return text;
}

std::string CStubPatch::ProposedFolder(const std::string& commandLineFolder) const
{
    if (!commandLineFolder.empty())
        return AbsoluteFolder(commandLineFolder);
    return Header().defaultFolder;
}

std::string CStubPatch::NoPayloadMessage() const
{
    return "The program:\n" + programPath_ +
           "\ndoes not carry a Delvorin patch: the patch behind the apply program is missing or damaged.\n"
           "Nothing has been changed.";
}

namespace {

constexpr const char* kValidationTitle = "Delvorin Error!";
constexpr const char* kQuestionTitle = "Delvorin Question";
constexpr const char* kAgain = "Running this program again";

// Empty when the choice can be applied, else the message that says why not.
std::string CheckChoice(const CStubChoice& choice)
{
    if (choice.folder.empty())
        return "Please specify a folder name to apply the patch file to.";
    if (std::string problem = CheckTargetFolder(choice.folder); !problem.empty())
        return problem;
    if (choice.backup)
        return CheckBackupExtension(choice.backupExt);
    return "";
}

enum class AdministratorOffer { NotNeeded, Restarted, NotTaken };

// Offers to start the program again as an administrator when the user may not change
// files in the chosen folder. Restarted: the restarted program ran, and status is its
// exit status. NotTaken: the user said No or the restart failed; the choice is made again.
AdministratorOffer OfferAdministrator(IStubUi& ui, const CStubChoice& choice, int& status)
{
    IAdministratorRestart* administrator = ui.AdministratorRestart();
    if (!administrator || !administrator->NeedsAdministrator(choice.folder))
        return AdministratorOffer::NotNeeded;
    if (ui.Ask(PromptOwner::MainWindow, AdministratorQuestion(choice.folder), kQuestionTitle, PromptButtons::YesNo,
               PromptIcon::Question) != PromptAnswer::Yes)
        return AdministratorOffer::NotTaken;
    std::string why;
    if (administrator->RestartAsAdministrator(choice, status, why))
        return AdministratorOffer::Restarted;
    if (!why.empty())
        ui.Ask(PromptOwner::MainWindow, why, kValidationTitle, PromptButtons::OK, PromptIcon::Stop);
    return AdministratorOffer::NotTaken;
}

} // namespace

int RunStubSession(IStubUi& ui, const CStubOptions& options, const std::string& programPath)
{
    CAppCore core(&ui);
    CDirDiff dirDiff(core);
    CStubPatch patch(core, dirDiff, programPath);
    switch (patch.Open()) {
    case CStubPatch::OpenResult::Opened: break;
    case CStubPatch::OpenResult::NoPayload:
        ui.Ask(PromptOwner::MainWindow, patch.NoPayloadMessage(), kValidationTitle, PromptButtons::OK,
               PromptIcon::Stop);
        return kStubExitFailure;
    case CStubPatch::OpenResult::Unreadable:
        ui.Ask(PromptOwner::MainWindow, CStubPatch::kUnreadableMessage, kValidationTitle, PromptButtons::OK,
               PromptIcon::Stop);
        return kStubExitFailure;
    }

    const CStubIntro intro{patch.PublisherLine(), patch.DialogText()};
    CStubChoice choice;
    choice.folder = patch.ProposedFolder(options.folder);
    choice.backup = options.backup != 0;
    choice.backupExt = options.backupExt;

    int status = kStubExitFailure;
    while (!TerminationRequested() && ui.AskFolder(intro, choice)) {
        if (std::string problem = CheckChoice(choice); !problem.empty()) {
            ui.Ask(PromptOwner::MainWindow, problem, kValidationTitle, PromptButtons::OK, PromptIcon::Stop);
            continue;
        }
        // The restarted program does the apply; this one only passes its status on.
        int restarted = kStubExitFailure;
        const AdministratorOffer offer = OfferAdministrator(ui, choice, restarted);
        if (offer == AdministratorOffer::Restarted)
            return restarted;
        if (offer == AdministratorOffer::NotTaken)
            continue;
        int backup = choice.backup ? 1 : 0;
        const CApplyOutcome outcome = patch.Apply(choice.folder, backup, choice.backupExt, &ui.BeginProgress());
        ui.EndProgress();
        status = ApplyExitStatus(outcome, kStubExitCancelled);

        CStubResult shown;
        if (outcome.kind == CApplyOutcome::Kind::Applied) {
            shown.kind = CStubResult::Kind::Applied;
            shown.message = kAppliedText;
            shown.backups = outcome.backupLines;
        } else if (outcome.kind == CApplyOutcome::Kind::Cancelled) {
            shown.kind = CStubResult::Kind::Cancelled;
            shown.message = StoppedApplyText(outcome, kAgain);
        } else if (outcome.VerificationFailed()) {
            // Nothing has been changed: where the user can be asked, another folder may
            // be tried.
            shown.kind = CStubResult::Kind::NotMatching;
            shown.lines = outcome.ErrorLines();
            shown.contact = intro.publisher;
        } else {
            shown.kind = CStubResult::Kind::Failed;
            shown.message = StoppedApplyText(outcome, kAgain);
        }
        ui.ShowResult(shown);
        if (shown.kind != CStubResult::Kind::NotMatching || !ui.MayRetry())
            break;
    }
    // Asked to end before anything was applied: ended as a cancelled apply is.
    return TerminationRequested() && status != kStubExitOk ? kStubExitCancelled : status;
}
