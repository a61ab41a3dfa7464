// How an apply or a verification ended, and what every front end makes of it: the texts
// the user reads and the exit status of the command-line and apply programs.
#pragma once
#include <string>
#include <vector>

struct CApplyOutcome {
    enum class Kind {
        Applied,     // every file is new; backupLines says where the old ones went
        NotMatching, // the verification found files that are not the ones the patch was made for
        Refused,     // the verification refused the patch (unsafe or damaged record, unwritable folder)
        Damaged,     // the patch file could not be opened or read
        Failed,      // stopped after the verification; filesUpdated files are new
        Cancelled,   // the user confirmed a cancel; filesUpdated files are new
    };
    Kind kind = Kind::Failed;
    std::string message;                  // Damaged: why
    bool reported = false;                // Damaged: the reader has told the user already
    std::vector<std::string> errors;      // NotMatching, Refused: the verification's entries, in order
    std::vector<std::string> backupLines; // where each backup went (made before a stop as well)
    int filesUpdated = 0;
    bool changedNothing = false;          // a stop that left every file as it was
    bool needsFileByFile = false;         // the disk lacks room to stage every file first

    // The verification stopped the apply: nothing was changed, and the errors list says why.
    bool VerificationFailed() const { return kind == Kind::NotMatching || kind == Kind::Refused; }
    // The entries of the errors list cut at their line breaks, empty lines dropped.
    std::vector<std::string> ErrorLines() const;
};

// The exit status of delvorin-cli and of the apply program for an outcome: 0 applied,
// 3 the folder does not hold the files the patch was made for, cancelledStatus after a
// cancel, 1 for everything else.
int ApplyExitStatus(const CApplyOutcome& outcome, int cancelledStatus);

// again names the way to apply again, for example "Running this program again".
std::string UnfinishedApplyText(int filesUpdated, const std::string& again);

// How the graphical program names applying again.
inline constexpr char kApplyAgain[] = "Applying the patch again";
// The first line of the message after a cancelled apply.
inline constexpr char kApplyCancelledText[] = "The apply was cancelled.";
// The message of a finished apply.
inline constexpr char kAppliedText[] = "The Delvorin file has been applied successfully.";
// The first line of the message after an apply that failed midway.
inline constexpr char kApplyFailedText[] = "An Error occurred when the patch file was applied.";

// What an apply that stopped before its end (cancelled, or failed after the
// verification) tells the user: its first line (failedText after a failure), how many
// files it updated, and that every other file is as it was, so that applying again
// finishes the job.
std::string StoppedApplyText(const CApplyOutcome& outcome, const std::string& again,
                             const std::string& failedText = kApplyFailedText);
