#include "CliRun.h"

#include "TestFolder.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

int RunCli(const std::string& arguments, const std::string& workFolder, const std::string& scratchFolder,
           std::string& out, std::string& err)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    std::string errFile = scratchFolder + "/cli-stderr.txt";
    std::string command = "cd " + Quoted(workFolder) + " && " + Quoted(std::string(bin ? bin : "build/bin")) +
                          "/delvorin-cli " + arguments + " </dev/null 2>" + Quoted(errFile);
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int raw = pclose(pipe);
    err = ReadFileText(errFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
