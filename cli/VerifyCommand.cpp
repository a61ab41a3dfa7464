// delvorin-cli verify PATCH_FILE TARGET_FOLDER: the verification pass of an apply
// alone. Lists what would stop the apply and changes nothing.
#include "cli/ApplySupport.h"
#include "cli/Commands.h"

#include <iostream>

namespace {

int RunVerify(const std::vector<std::string>& args)
{
    if (args.size() != 2 || args[0].empty() || args[1].empty() || args[0][0] == '-' || args[1][0] == '-') {
        PrintError("usage: delvorin-cli verify PATCH_FILE TARGET_FOLDER");
        return kExitUsage;
    }
    InstallCancelHandler();
    CApplySession session;
    const std::string folder = AbsoluteFolder(args[1]);
    if (!session.Open(args[0], folder))
        return kExitFailure;
    int result;
    {
        CTerminalApplyProgress progress;
        result = session.dirDiff.VerifyPatch(*session.doc, &progress);
    }
    session.Close();

    if (result > 0) {
        std::cout << "The patch file can be applied to " << folder << "." << std::endl;
        if (session.dirDiff.needsFileByFile)
            std::cout << "The disk lacks room to prepare every file before they are replaced: the apply needs "
                         "--file-by-file to replace them one by one."
                      << std::endl;
        return kExitOk;
    }
    if (result < 0) {
        PrintError("cancelled");
        return CancelledStatus();
    }
    if (session.dirDiff.failure) {
        // 3 only when the folder does not hold the files the patch was built against;
        // a patch that cannot be applied as it is (damaged, unsafe, a folder that cannot
        // be written) is a failure.
        PrintVerificationErrors(session.dirDiff);
        return session.dirDiff.TargetDoesNotMatch() ? kExitNothingToDo : kExitFailure;
    }
    return kExitFailure;
}

CCommandRegistration g_verify({"verify",
                               "  verify PATCH_FILE TARGET_FOLDER\n"
                               "      check that the patch can be applied to TARGET_FOLDER; changes nothing",
                               RunVerify});

} // namespace
