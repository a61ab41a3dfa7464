// delvorin-cli apply PATCH_FILE TARGET_FOLDER [--backup [EXT]] [--file-by-file]: verifies
// the target folder against the patch and, when every file matches, applies it.
#include "app/StringHelpers.h"
#include "cli/ApplySupport.h"
#include "cli/Commands.h"
#include "engine/apply/BackupReport.h"

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
    CApplySession session;
    if (!session.Open(patchFile, AbsoluteFolder(positional[1])))
        return kExitFailure;
    // Where the disk lacks room to stage every file first, the files are replaced one by
    // one only when the user asked for that beforehand.
    session.dirDiff.fileByFile = fileByFile ? CDirDiff::FileByFile::Allowed : CDirDiff::FileByFile::Refused;
    int result;
    {
        CTerminalApplyProgress progress;
        result = session.dirDiff.ApplyPatch(*session.doc, backup, backupExt, &progress);
    }
    session.Close();

    // Backups made before an apply stopped are kept as well: they are listed either way.
    const std::string backups = BackupParagraph(BackupLines(session.dirDiff.TargetFolder(), session.dirDiff.backups));
    if (result > 0) {
        std::cout << "The Delvorin file has been applied successfully.\n" << backups << std::flush;
        return kExitOk;
    }
    std::cout << backups << std::flush;
    if (session.dirDiff.changedNothing)
        std::cerr << "Nothing was changed." << std::endl;
    if (session.dirDiff.needsFileByFile && !fileByFile)
        std::cerr << "Run it again with --file-by-file to replace the files one by one (an interrupted apply then "
                     "leaves some files new and some old until it is run again)."
                  << std::endl;
    if (result < 0) {
        PrintError("cancelled: An Error occurred when the patch file was applied.");
        return CancelledStatus();
    }
    if (session.dirDiff.failure) {
        // 3 only when the folder does not hold the files the patch was built against;
        // a patch that cannot be applied as it is (damaged, unsafe, a folder that cannot
        // be written) is a failure.
        PrintVerificationErrors(session.dirDiff);
        return session.dirDiff.TargetDoesNotMatch() ? kExitNothingToDo : kExitFailure;
    }
    PrintError("An Error occurred when the patch file was applied.");
    return kExitFailure;
}

CCommandRegistration g_apply({"apply",
                              "  apply PATCH_FILE TARGET_FOLDER [--backup [EXT]] [--file-by-file]\n"
                              "      verify TARGET_FOLDER against the patch and apply it; --backup keeps every\n"
                              "      changed or removed file under the extension EXT (default \"bak\");\n"
                              "      --file-by-file replaces the files one by one where the disk lacks room\n"
                              "      to prepare them all first",
                              RunApply});

} // namespace
