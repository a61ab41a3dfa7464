#include "app/LogFile.h"

#include "platform/FileSystem.h"
#include "platform/LocalTime.h"
#include "platform/UserPrompt.h"

#include <cstdio>
#include <ctime>

std::string CLogFile::HeaderLine(time_t when)
{
    char buf[256];
    struct tm local;
    fsys::ToLocalTime(when, local);
    size_t n = strftime(buf, sizeof buf, "%A, %B %d, %Y at %H:%M:%S", &local);
    return "Delvorin Log File created on... " + std::string(buf, n);
}

bool CLogFile::Start()
{
    std::FILE* f = std::fopen(path_.c_str(), "w");
    if (!f) {
        if (prompts_)
            prompts_->Ask(PromptOwner::MainWindow, "Unable to create log file!!!", "Delvorin", PromptButtons::OK,
                          PromptIcon::None);
        return false;
    }
    std::string header = HeaderLine(std::time(nullptr)) + "\n\n";
    std::fwrite(header.data(), 1, header.size(), f);
    std::fclose(f);
    return true;
}

void CLogFile::Append(const std::string& text)
{
    if (!Enabled())
        return;
    if (!fsys::AppendToFile(path_, text + "\n") && prompts_)
        prompts_->Ask(PromptOwner::MainWindow, "Unable to open log file ", "Delvorin", PromptButtons::OK,
                      PromptIcon::None);
}
