#include "cli/ApplySupport.h"

#include "cli/Commands.h"
#include "platform/FileSystem.h"

#include <iostream>
#include <sstream>
#include <unistd.h>

bool CApplySession::Open(const std::string& patchFile, const std::string& targetFolder)
{
    doc = std::make_unique<CPatchDoc>(core, dirDiff, patchFile);
    if (!doc->ReadPatchHeader()) {
        PrintError("Error opening patch file");
        doc.reset();
        return false;
    }
    dirDiff.TargetFolder() = targetFolder;
    return true;
}

void CApplySession::Close()
{
    if (doc) {
        doc->ClosePatchFile();
        doc.reset();
    }
}

std::string AbsoluteFolder(const std::string& folder)
{
    if (!folder.empty() && folder[0] == '/')
        return fsys::WithoutTrailingSlash(folder);
    std::string current;
    if (char* cwd = getcwd(nullptr, 0)) {
        current = cwd;
        free(cwd);
    }
    return fsys::WithoutTrailingSlash(fsys::Join(current, folder));
}

void PrintVerificationErrors(const CDirDiff& dirDiff)
{
    std::cerr << "Delvorin encountered the following errors when verifying if the update can be applied:\n";
    for (const std::string& entry : dirDiff.ErrorEntries()) {
        std::istringstream lines(entry);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty())
                std::cerr << "  " << line << "\n";
        }
    }
    std::cerr << "The Delvorin process was aborted, because of the previous errors.  "
                 "The files that you were updating have not been changed."
              << std::endl;
}
