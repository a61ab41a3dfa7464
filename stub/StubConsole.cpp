#include "stub/StubConsole.h"

#include "cli/ApplySupport.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"

#include <iostream>

namespace {
std::string g_programName = "DvApply.exe";
}

void SetStubProgramName(const std::string& name)
{
    g_programName = name;
}

// The terminal helpers shared with delvorin-cli report their failures through here.
void PrintError(const std::string& message)
{
    std::cerr << g_programName << ": " << message << std::endl;
}

int RunStubConsole(const CStubOptions& options, const std::string& programPath)
{
    InstallCancelHandler();
    CTerminalPrompt prompt;
    CAppCore core(&prompt);
    CDirDiff dirDiff(core);
    CStubPatch patch(core, dirDiff, programPath);

    switch (patch.Open()) {
    case CStubPatch::OpenResult::Opened: break;
    case CStubPatch::OpenResult::NoPayload:
        PrintError(patch.NoPayloadMessage());
        return kStubExitFailure;
    case CStubPatch::OpenResult::Unreadable:
        PrintError(CStubPatch::kUnreadableMessage);
        return kStubExitFailure;
    }

    if (std::string text = patch.DialogText(); !text.empty())
        std::cout << text << "\n\n";
    const std::string publisher = patch.PublisherLine();
    if (!publisher.empty())
        std::cout << "Publisher: " << publisher << "\n";

    const std::string folder = patch.ProposedFolder(options.folder);
    if (folder.empty()) {
        PrintError("no folder to update was given and the patch proposes none");
        std::cerr << StubUsage(g_programName) << std::endl;
        return kStubExitUsage;
    }
    if (std::string problem = CheckTargetFolder(folder); !problem.empty()) {
        PrintError(problem);
        return kStubExitFailure;
    }
    std::cout << "Folder to update: " << folder << std::endl;

    int backup = options.backup;
    int result;
    {
        CTerminalApplyProgress progress;
        result = patch.Apply(folder, backup, options.backupExt, &progress);
    }
    const bool verificationFailed = patch.VerificationFailed();
    patch.Close();

    if (result > 0) {
        std::cout << "The Delvorin file has been applied successfully." << std::endl;
    } else if (result < 0) {
        PrintError("cancelled: An Error occurred when the patch file was applied.");
    } else if (verificationFailed) {
        PrintVerificationErrors(dirDiff);
        if (!publisher.empty())
            std::cerr << "You should contact the following company to resolve this problem:\n  " << publisher
                      << std::endl;
    } else {
        PrintError("An Error occurred when the patch file was applied.");
    }
    return StubExitStatus(result, patch.TargetDoesNotMatch());
}
