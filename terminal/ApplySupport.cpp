#include "terminal/ApplySupport.h"

#include "platform/FileSystem.h"
#include "terminal/Terminal.h"

#include <cstdlib>
#include <unistd.h>

std::string AbsoluteFolder(const std::string& folder)
{
#ifdef _WIN32
    return fsys::AbsolutePath(folder);
#endif
    if (!folder.empty() && folder[0] == '/')
        return fsys::WithoutTrailingSlash(folder);
    std::string current;
    if (char* cwd = getcwd(nullptr, 0)) {
        current = cwd;
        free(cwd);
    }
    return fsys::WithoutTrailingSlash(fsys::Join(current, folder));
}

void PrintVerificationErrors(const std::vector<std::string>& lines)
{
    std::string text = "Delvorin encountered the following errors when verifying if the update can be applied:\n";
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    WriteStderr(text + "The Delvorin process was aborted, because of the previous errors.  "
                       "The files that you were updating have not been changed.\n");
}
