#include "app/LogFile.h"

#include "platform/UserPrompt.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

std::string CLogFile::HeaderLine(time_t when)
{
    char buf[256];
    struct tm local;
    localtime_r(&when, &local);
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
    int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (prompts_)
            prompts_->Ask(PromptOwner::MainWindow, "Unable to open log file ", "Delvorin", PromptButtons::OK,
                          PromptIcon::None);
        return;
    }
    std::string line = text + "\n";
    lseek(fd, 0, SEEK_END);
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}
