#include "cli/ApplySupport.h"

#include "cli/Commands.h"
#include "platform/FileSystem.h"

#include <unistd.h>

bool CApplySession::Open(const std::string& patchFile, const std::string& targetFolder)
{
    doc = std::make_unique<CPatchDoc>(core, dirDiff, patchFile);
    if (!doc->ReadPatchHeader()) {
        PrintError(doc->WithFailureCause("Error opening patch file"));
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

std::vector<std::string> VerificationErrorLines(const CDirDiff& dirDiff)
{
    std::vector<std::string> lines;
    for (const std::string& entry : dirDiff.ErrorEntries()) {
        size_t start = 0;
        while (start < entry.size()) {
            size_t end = entry.find('\n', start);
            if (end == std::string::npos)
                end = entry.size();
            if (end > start)
                lines.push_back(entry.substr(start, end - start));
            start = end + 1;
        }
    }
    return lines;
}

void PrintVerificationErrors(const std::vector<std::string>& lines)
{
    std::string text = "Delvorin encountered the following errors when verifying if the update can be applied:\n";
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    WriteStderr(text + "The Delvorin process was aborted, because of the previous errors.  "
                       "The files that you were updating have not been changed.\n");
}

void PrintVerificationErrors(const CDirDiff& dirDiff)
{
    PrintVerificationErrors(VerificationErrorLines(dirDiff));
}
