// delvorin-cli verify PATCH_FILE TARGET_FOLDER: the verification pass of an apply
// alone. Lists what would stop the apply and changes nothing.
#include "app/AppCore.h"
#include "cli/Commands.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyJob.h"
#include "terminal/ApplySupport.h"
#include "terminal/Terminal.h"

#include <iostream>

namespace {

int RunVerify(const std::vector<std::string>& args)
{
    if (args.size() != 2 || args[0].empty() || args[1].empty() || args[0][0] == '-' || args[1][0] == '-') {
        PrintError("usage: delvorin-cli verify PATCH_FILE TARGET_FOLDER");
        return kExitUsage;
    }
    InstallCancelHandler();
    CTerminalPrompt prompt;
    CAppCore core(&prompt);
    CDirDiff dirDiff(core);
    CApplyJob job(core, dirDiff, args[0]);
    if (!job.Open()) {
        PrintError(job.OpenFailure().message);
        return kExitFailure;
    }
    const std::string folder = AbsoluteFolder(args[1]);
    CApplyOutcome outcome;
    {
        CTerminalApplyProgress progress;
        outcome = job.Verify(folder, &progress);
    }
    job.Close();

    if (outcome.kind == CApplyOutcome::Kind::Applied) {
        std::cout << "The patch file can be applied to " << folder << "." << std::endl;
        if (outcome.needsFileByFile)
            std::cout << "The disk lacks room to prepare every file before they are replaced: the apply needs "
                         "--file-by-file to replace them one by one."
                      << std::endl;
    } else if (outcome.kind == CApplyOutcome::Kind::Cancelled) {
        PrintError("cancelled");
    } else if (outcome.VerificationFailed()) {
        PrintVerificationErrors(outcome.ErrorLines());
    }
    return ApplyExitStatus(outcome, CancelledStatus());
}

CCommandRegistration g_verify({"verify",
                               "  verify PATCH_FILE TARGET_FOLDER\n"
                               "      check that the patch can be applied to TARGET_FOLDER; changes nothing",
                               RunVerify});

} // namespace
