#include "app/AppCore.h"

#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"

CAppCore::CAppCore(IUserPrompt* p, const std::string& progFolder, const std::string& tmpFolder)
    : prompts(p),
      log("", settings.logFile, prompts),
      programFolder(progFolder.empty() ? fsys::ProgramFolder() : progFolder),
      tempFolder(tmpFolder.empty() ? fsys::PrivateTempFolder() : tmpFolder)
{
    if (!tempFolder.empty() && tempFolder.back() != '/')
        tempFolder += '/';
    log.SetPath(fsys::Join(fsys::LogFolder(programFolder), "DelvorinLogFile.txt"));
}

bool CAppCore::StartLog()
{
    fsys::CreateFolders(fsys::FolderOf(log.Path()));
    return log.Start();
}

PromptAnswer CAppCore::Ask(PromptOwner owner, const std::string& text, const std::string& title,
                           PromptButtons buttons, PromptIcon icon)
{
    if (!prompts)
        return SafeAnswer(buttons);
    return prompts->Ask(owner, text, title, buttons, icon);
}
