#include "CliRun.h"

#include "TestFolder.h"
#include "TextLines.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

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

CRun RunProgram(const std::string& program, const std::string& arguments, const std::string& scratchFolder,
                const std::string& work, const std::string& environment)
{
    CRun r;
    const std::string errFile = scratchFolder + "/run-stderr.txt";
    const std::string command = "cd " + Quoted(work) + " && " + environment + Quoted(program) + " " + arguments +
                                " </dev/null 2>" + Quoted(errFile);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    int raw = pclose(pipe);
    r.err = ReadFileText(errFile);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

int RunCli(const std::string& arguments, const std::string& workFolder, const std::string& scratchFolder,
           std::string& out, std::string& err)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    CRun r = RunProgram(std::string(bin ? bin : "build/bin") + "/delvorin-cli", arguments, scratchFolder, workFolder);
    out = r.out;
    err = r.err;
    return r.status;
}

CRun RunCliIn(const std::string& arguments, const std::string& folder)
{
    CRun r;
    r.status = RunCli(arguments, folder, folder, r.out, r.err);
    return r;
}

void ExpectCliCases(const std::vector<CCliCase>& cases, const std::string& folder)
{
    for (const CCliCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CRun run = RunCliIn(c.arguments, folder);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(Contains(run.err, c.says));
    }
}

testing::AssertionResult CliSucceeds(const std::string& arguments, const std::string& folder)
{
    const CRun r = RunCliIn(arguments, folder);
    if (r.status == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "delvorin-cli " << arguments << " exited with " << r.status << ":\n" << r.out << r.err;
}

int SpawnCli(const std::vector<std::string>& arguments, const std::string& stdinPath, const std::string& stderrPath,
             const std::string& tmpFolder)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    std::string cli = std::string(bin ? bin : "build/bin") + "/delvorin-cli";
    std::vector<std::string> args = {cli};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"TMPDIR=" + tmpFolder};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TMPDIR=", 0) != 0)
            env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitCli(int pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool WaitFor(const std::function<bool()>& test)
{
    auto start = std::chrono::steady_clock::now();
    while (!test()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20))
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
