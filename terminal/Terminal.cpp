#include "terminal/Terminal.h"

#include "jobs/ExitStatus.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

namespace {

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Bar(int pos, int width)
{
    if (pos < 0)
        pos = 0;
    if (pos > 100)
        pos = 100;
    int fill = pos * width / 100;
    return "[" + std::string(fill, '#') + std::string(width - fill, '.') + "]";
}

std::string Fit(const std::string& s, size_t width)
{
    if (s.size() <= width)
        return s + std::string(width - s.size(), ' ');
    return "..." + s.substr(s.size() - (width - 3));
}

const char* ButtonsHint(PromptButtons b)
{
    switch (b) {
    case PromptButtons::OK: return "[press Enter]";
    case PromptButtons::OKCancel: return "[o]k / [c]ancel";
    case PromptButtons::YesNo: return "[y]es / [n]o";
    }
    return "";
}

#ifdef _WIN32
// One line of standard input without its line ending; false at its end, on an error, or
// once the program is asked to end. Ctrl-C or a closed console ends a waiting read of
// the console, so nothing is left blocked.
bool ReadLine(std::string& line)
{
    line.clear();
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        if (TerminationRequested())
            return false;
        char c;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0)
            return !TerminationRequested() && !line.empty();
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line += c;
    }
}
#else
// One line of standard input without its line feed; false at its end, on an error, or
// once a signal has asked the program to end. The descriptor is read directly and waited
// on in short turns, so a signal that lands just before the wait is seen within a tenth
// of a second instead of leaving the program blocked in a read that nothing answers.
bool ReadLine(std::string& line)
{
    line.clear();
    for (;;) {
        if (TerminationRequested())
            return false;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char c;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 && !line.empty();
        if (c == '\n')
            return true;
        line += c;
    }
}
#endif

} // namespace

void WriteStdout(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void WriteStderr(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

PromptAnswer CTerminalPrompt::Ask(PromptOwner, const std::string& text, const std::string& title,
                                  PromptButtons buttons, PromptIcon)
{
    WriteStderr("\n" + title + ":\n" + text + "\n");
    // After a signal the process is to end: nothing more is asked.
    if (!isatty(STDIN_FILENO) || TerminationRequested()) {
        PromptAnswer a = SafeAnswer(buttons);
        if (buttons != PromptButtons::OK)
            WriteStderr(std::string("(no terminal to ask: answering ") +
                        (a == PromptAnswer::Yes ? "Yes" : a == PromptAnswer::No ? "No"
                                                        : a == PromptAnswer::Cancel ? "Cancel" : "OK") +
                        ")\n");
        return a;
    }
    for (;;) {
        WriteStderr(std::string(ButtonsHint(buttons)) + " ");
        std::string line;
        if (!ReadLine(line))
            return SafeAnswer(buttons);
        char c = line.empty() ? '\n' : static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
        switch (buttons) {
        case PromptButtons::OK: return PromptAnswer::OK;
        case PromptButtons::OKCancel:
            if (c == 'o' || c == '\n') return PromptAnswer::OK;
            if (c == 'c') return PromptAnswer::Cancel;
            break;
        case PromptButtons::YesNo:
            if (c == 'y') return PromptAnswer::Yes;
            if (c == 'n') return PromptAnswer::No;
            break;
        }
    }
}

int CancelledStatus()
{
    return CancelSignal() != 0 ? 128 + CancelSignal() : kExitCancelled;
}

CTerminalLine::CTerminalLine() : tty_(isatty(STDERR_FILENO)) {}

CTerminalLine::~CTerminalLine()
{
    if (tty_)
        WriteStderr("\r\033[K");
}

bool CTerminalLine::Due()
{
    if (!tty_)
        return false;
    long long now = NowMs();
    if (now - lastDraw_ < 100)
        return false;
    lastDraw_ = now;
    return true;
}

void CTerminalLine::Show(const std::string& text)
{
    WriteStderr("\r\033[K" + text);
}

void CTerminalBuildProgress::SetStatus(const std::string& text) { status_ = text; }
void CTerminalBuildProgress::SetFileName(const std::string& text) { file_ = text; }
void CTerminalBuildProgress::SetOverallPos(int pos) { overall_ = pos; Draw(); }
void CTerminalBuildProgress::SetFilePos(int pos) { filePos_ = pos; Draw(); }

bool CTerminalBuildProgress::CheckCancelButton()
{
    Draw();
    return TakeCancelRequest();
}

void CTerminalBuildProgress::Draw()
{
    if (line_.Due())
        line_.Show(Bar(overall_, 20) + " " + PercentLabel(overall_) + " " + Bar(filePos_, 10) + " " +
                   Fit(status_ + " " + file_, 40));
}

void CTerminalApplyProgress::SetStatus(const std::string& text) { status_ = text; }
void CTerminalApplyProgress::SetPos(int pos) { pos_ = pos; Draw(); }

bool CTerminalApplyProgress::CheckCancelButton()
{
    Draw();
    return TakeCancelRequest();
}

void CTerminalApplyProgress::Draw()
{
    if (line_.Due())
        line_.Show(Bar(pos_, 30) + " " + PercentLabel(pos_) + " " + Fit(status_, 45));
}
