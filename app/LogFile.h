// The build log "DelvorinLogFile.txt": started afresh with a header at every start of
// the program, and appended to one line at a time (opened and closed for each line)
// only while the "LogFile" setting is 1.
#pragma once
#include <string>

class IUserPrompt;

class CLogFile {
public:
    CLogFile(const std::string& path, const int& enabledSetting, IUserPrompt*& prompts)
        : path_(path), enabled_(enabledSetting), prompts_(prompts) {}

    const std::string& Path() const { return path_; }
    void SetPath(const std::string& path) { path_ = path; }
    bool Enabled() const { return enabled_ == 1; }

    // Creates or truncates the file and writes the header line and an empty line.
    // Shows "Unable to create log file!!!" when it cannot be created.
    bool Start();
    // Appends text and "\n" when logging is on.
    void Append(const std::string& text);

    // The header text for the given moment, without the two line breaks.
    static std::string HeaderLine(time_t when);

private:
    std::string path_;
    const int& enabled_;
    IUserPrompt*& prompts_;
};
