// The build and apply jobs under every front end: the checks before a build in their
// order, with the input each one names, and what an apply's outcome means for the exit
// status and the errors list.
#include "app/AppCore.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyOutcome.h"
#include "jobs/BuildJob.h"
#include "jobs/ExitStatus.h"
#include "platform/ScriptedPrompt.h"
#include "support/RecordingProgress.h"
#include "support/ScopedEnv.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

using Reason = CBuildRefusal::Reason;
using Field = CBuildRefusal::Field;

TEST(BuildJob, ChecksComeInOrderAndNameTheInputToCorrect)
{
    CTestFolder dir;
    const std::string old = dir.MakeFolder("old"), fresh = dir.MakeFolder("new");
    const std::string prog = dir.MakeFolder("prog");
    dir.Write("prog/DvApply.exe", std::string(5000, 'x'));
    CScopedEnv home("HOME", dir.MakeFolder("home").c_str());
    struct Row {
        const char* what;
        CBuildInputs in;
        unsigned splitSize;
        Reason reason;
        Field field;
        std::string text;
        int forWindows = 0;
        int compact = 0;
    };
    const std::string patch = dir / "out/update.dvp";
    const Row rows[] = {
        {"no old folder", {"", fresh, patch, "", false}, 0, Reason::FoldersMissing, Field::OldFolder, LoadString(105)},
        {"bad old name before a missing new one", {old + "|", "", patch, "", false}, 0, Reason::BadFolderName,
         Field::OldFolder, LoadString(129)},
        {"no new folder", {old, "", patch, "", false}, 0, Reason::FoldersMissing, Field::NewFolder, LoadString(105)},
        {"bad new name", {old, fresh + "*", patch, "", false}, 0, Reason::BadFolderName, Field::NewFolder,
         LoadString(129)},
        {"same folders before a missing patch name", {old, old, "", "", false}, 0, Reason::SameFolders, Field::None,
         LoadString(107)},
        {"no patch name", {old, fresh, "", "", false}, 0, Reason::PatchNameMissing, Field::PatchFile, LoadString(112)},
        {"bad patch name", {old, fresh, dir / "a?.dvp", "", false}, 0, Reason::BadPatchName, Field::PatchFile,
         LoadString(130)},
        {"bad default folder", {old, fresh, patch, "C:\\x", false}, 0, Reason::BadFolderName, Field::DefaultFolder,
         LoadString(129)},
        {"program name without exe", {old, fresh, dir / "update.dvp", "", true}, 0, Reason::NotProgramName,
         Field::PatchFile, LoadString(125)},
        {"patch inside the new folder", {old, fresh, fresh + "/sub/update.dvp", "", false}, 0,
         Reason::PatchInsideNewFolder, Field::PatchFile,
         "The patch file cannot be created inside the new files folder,\nsince the build would take it for one of "
         "the new files."},
        {"parts smaller than the apply program", {old, fresh, dir / "update.EXE", "", true}, 2,
         Reason::SelfExtractSplit, Field::None, ""},
        {"a compact program for Windows, before its program is looked for", {old, fresh, dir / "update.exe", "", true},
         0, Reason::ClassicOnlyForWindows, Field::None,
         "The self-extracting program for Windows reads classic patches only: choose the classic format.", 1, 1},
        {"a compact plain patch with Windows chosen", {old, fresh, patch, "", false}, 0, Reason::None, Field::None, "",
         1, 1},
        {"everything in order", {old, fresh, dir / "update.EXE", "", true}, 0, Reason::None, Field::None, ""},
        {"any name the file system takes, from the command line", {old + "|", fresh, dir / "a?.exe", "C:\\x", true, false},
         0, Reason::None, Field::None, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CScriptedPrompt prompt;
        CAppCore core(&prompt, prog, dir.MakeFolder("tmp"));
        core.settings.splitSize = static_cast<uint16_t>(row.splitSize);
        core.settings.forWindows = row.forWindows;
        core.settings.compact = row.compact;
        CDirDiff dirDiff(core);
        CBuildJob job(core, dirDiff, row.in);
        const CBuildRefusal refusal = job.Check();
        EXPECT_EQ(refusal.reason, row.reason);
        EXPECT_EQ(refusal.field, row.field);
        if (row.reason == Reason::SelfExtractSplit) {
            EXPECT_FALSE(refusal.text.empty());
        } else {
            EXPECT_EQ(refusal.text, row.text);
        }
        // A refused build writes nothing and shows nothing: the front end says why.
        CRecordingBuildProgress progress;
        if (row.reason != Reason::None) {
            EXPECT_EQ(job.Run(&progress).kind, CBuildOutcome::Kind::Refused);
        }
        EXPECT_TRUE(prompt.Shown().empty());
    }

    // A patch file named without a folder is made in the home folder.
    CAppCore core;
    CDirDiff dirDiff(core);
    CBuildJob job(core, dirDiff, {old, fresh, "update.dvp", "", false});
    EXPECT_FALSE(job.Check());
    EXPECT_EQ(job.Inputs().patchFile, dir / "home/update.dvp");
}

TEST(ApplyOutcome, ExitStatusAndErrorLinesForEveryKind)
{
    using Kind = CApplyOutcome::Kind;
    const struct {
        Kind kind;
        int status;
        bool verificationFailed;
    } rows[] = {
        {Kind::Applied, kExitOk, false},      {Kind::NotMatching, kExitNothingToDo, true},
        {Kind::Refused, kExitFailure, true},  {Kind::Damaged, kExitFailure, false},
        {Kind::Failed, kExitFailure, false},  {Kind::Cancelled, 143, false},
    };
    for (const auto& row : rows) {
        CApplyOutcome outcome;
        outcome.kind = row.kind;
        EXPECT_EQ(ApplyExitStatus(outcome, 143), row.status);
        EXPECT_EQ(outcome.VerificationFailed(), row.verificationFailed);
    }

    // The entries of the errors list are cut at their line breaks; empty lines go.
    CApplyOutcome outcome;
    outcome.errors = {"first\nsecond\n", "\n\nthird", ""};
    EXPECT_EQ(outcome.ErrorLines(), (std::vector<std::string>{"first", "second", "third"}));

    outcome.kind = Kind::Cancelled;
    outcome.filesUpdated = 2;
    EXPECT_EQ(StoppedApplyText(outcome, "Running this program again"),
              "The apply was cancelled.\n2 files were updated; every other file is as it was.\n"
              "Running this program again finishes the job.");
    outcome.kind = Kind::Failed;
    outcome.filesUpdated = 0;
    EXPECT_EQ(StoppedApplyText(outcome, kApplyAgain), std::string(kApplyFailedText) +
                                                          "\nNo file was updated: nothing was changed.");
}

} // namespace
