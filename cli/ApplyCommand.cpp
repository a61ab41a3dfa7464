// delvorin-cli apply PATCH_FILE TARGET_FOLDER [--backup [EXT]] [--file-by-file]: verifies
// the target folder against the patch and, when every file matches, applies it.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "cli/Commands.h"
#include "engine/apply/BackupReport.h"
#include "engine/common/CDirDiff.h"
#include "jobs/ApplyJob.h"
#include "terminal/ApplySupport.h"
#include "terminal/Terminal.h"

#include <iostream>

namespace {

int RunApply(const std::vector<std::string>& args)
{
    std::vector<std::string> positional;
    int backup = 0;
    std::string backupExt = "bak";
    bool fileByFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--backup") {
            backup = 1;
            // The extension may follow once both names have been given.
            if (positional.size() == 2 && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-')
                backupExt = args[++i];
        } else if (a == "--file-by-file") {
            fileByFile = true;
        } else if (a.rfind("--backup=", 0) == 0) {
            backup = 1;
            backupExt = a.substr(9);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            PrintError("unknown option '" + a + "'");
            return kExitUsage;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        PrintError("usage: delvorin-cli apply PATCH_FILE TARGET_FOLDER [--backup [EXT]] [--file-by-file]");
        return kExitUsage;
    }
    if (backupExt.find('/') != std::string::npos) {
        PrintError("the backup extension must not hold a '/'");
        return kExitUsage;
    }
    const std::string& patchFile = positional[0];
    if (EndsWithNoCase(patchFile, "exe")) {
        PrintError(patchFile + " is a self-extracting patch program: run it instead, e.g. " + patchFile + " \"" +
                   AbsoluteFolder(positional[1]) + "\"");
        return kExitUsage;
    }

    InstallCancelHandler();
    CTerminalPrompt prompt;
    CAppCore core(&prompt);
    CDirDiff dirDiff(core);
    CApplyJob job(core, dirDiff, patchFile);
    if (!job.Open()) {
        PrintError(job.OpenFailure().message);
        return kExitFailure;
    }
    job.AllowFileByFile(fileByFile);
    CApplyOutcome outcome;
    {
        CTerminalApplyProgress progress;
        outcome = job.Apply(AbsoluteFolder(positional[1]), backup, backupExt, &progress);
    }
    job.Close();

    // Backups made before an apply stopped are kept as well: they are listed either way.
    const std::string backups = BackupParagraph(outcome.backupLines);
    if (outcome.kind == CApplyOutcome::Kind::Applied) {
        std::cout << kAppliedText << "\n" << backups << std::flush;
        return kExitOk;
    }
    std::cout << backups << std::flush;
    if (outcome.changedNothing)
        std::cerr << "Nothing was changed." << std::endl;
    if (outcome.needsFileByFile && !fileByFile)
        std::cerr << "Run it again with --file-by-file to replace the files one by one (an interrupted apply then "
                     "leaves some files new and some old until it is run again)."
                  << std::endl;
    if (outcome.kind == CApplyOutcome::Kind::Cancelled)
        PrintError(std::string("cancelled: ") + kApplyFailedText);
    else if (outcome.VerificationFailed())
        PrintVerificationErrors(outcome.ErrorLines());
    else
        PrintError(kApplyFailedText);
    return ApplyExitStatus(outcome, CancelledStatus());
}

CCommandRegistration g_apply({"apply",
                              "  apply PATCH_FILE TARGET_FOLDER [--backup [EXT]] [--file-by-file]\n"
                              "      verify TARGET_FOLDER against the patch and apply it; --backup keeps every\n"
                              "      changed or removed file under the extension EXT (default \"bak\");\n"
                              "      --file-by-file replaces the files one by one where the disk lacks room\n"
                              "      to prepare them all first",
                              RunApply});

} // namespace
