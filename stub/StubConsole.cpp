#include "stub/StubConsole.h"

#include "app/StringHelpers.h"
#include "engine/apply/BackupReport.h"
#include "terminal/ApplySupport.h"

namespace {

std::string g_programName = "DvApply.exe";

// Prints the program's name and message to standard error.
void PrintError(const std::string& message)
{
    WriteStderr(g_programName + ": " + message + "\n");
}

} // namespace

void SetStubProgramName(const std::string& name)
{
    g_programName = name;
}

PromptAnswer CConsoleStubUi::Ask(PromptOwner owner, const std::string& text, const std::string& title,
                                 PromptButtons buttons, PromptIcon icon)
{
    return prompt_.Ask(owner, text, title, buttons, icon);
}

bool CConsoleStubUi::AskFolder(const CStubIntro& intro, CStubChoice& choice)
{
    // The terminal takes the command line's choice once; there is nobody to ask again.
    if (asked_)
        return false;
    asked_ = true;
    // The patch's texts keep their line breaks; other control characters are shown escaped.
    if (!intro.dialogText.empty()) {
        std::string text;
        for (size_t start = 0; start <= intro.dialogText.size();) {
            size_t end = intro.dialogText.find('\n', start);
            if (end == std::string::npos)
                end = intro.dialogText.size();
            std::string line = intro.dialogText.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            text += Printable(line) + "\n";
            start = end + 1;
        }
        WriteStdout(text + "\n");
    }
    if (!intro.publisher.empty())
        WriteStdout("Publisher: " + Printable(intro.publisher) + "\n");
    if (choice.folder.empty()) {
        noFolder_ = true;
        PrintError("no folder to update was given and the patch proposes none");
        WriteStderr(StubUsage(g_programName) + "\n");
        return false;
    }
    WriteStdout("Folder to update: " + Printable(choice.folder) + "\n");
    return true;
}

IApplyProgress& CConsoleStubUi::BeginProgress()
{
    progress_ = std::make_unique<CTerminalApplyProgress>();
    return *progress_;
}

void CConsoleStubUi::EndProgress()
{
    progress_.reset(); // clears the progress line
}

void CConsoleStubUi::ShowResult(const CStubResult& result)
{
    switch (result.kind) {
    case CStubResult::Kind::Applied: WriteStdout(result.message + "\n" + BackupParagraph(result.backups)); break;
    case CStubResult::Kind::Cancelled: PrintError("cancelled: " + result.message); break;
    case CStubResult::Kind::Failed: PrintError(result.message); break;
    case CStubResult::Kind::NotMatching:
        PrintVerificationErrors(result.lines);
        if (!result.contact.empty())
            WriteStderr("You should contact the following company to resolve this problem:\n  " +
                        Printable(result.contact) + "\n");
        break;
    }
}

int RunStubConsole(const CStubOptions& options, const std::string& programPath)
{
    CConsoleStubUi ui;
    int status = RunStubSession(ui, options, programPath);
    return ui.NoFolder() ? kStubExitUsage : status;
}
