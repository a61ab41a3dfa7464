// delvorin-cli build: one build from the command line, for scripted releases.
#include "app/AppCore.h"
#include "app/ProjectFile.h"
#include "app/StringHelpers.h"
#include "app/UserIdentity.h"
#include "cli/Commands.h"
#include "engine/common/CDirDiff.h"
#include "jobs/BuildJob.h"
#include "platform/FileSystem.h"
#include "terminal/Terminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

struct CBuildOptions {
    std::string oldFolder, newFolder, patchFile;
    std::vector<std::string> excludes, removes;
    std::string defaultFolder, dialogText, publisher, organization, logFile, project;
    bool hasDefaultFolder = false, hasPublisher = false, hasOrganization = false;
    bool hasDialogText = false, hasSplit = false, hasSelfExtract = false; // given on the command line
    bool hasThorough = false;
    unsigned long split = 0;
    bool selfExtract = false;
    bool thorough = false;
    bool compact = false, hasFormat = false;
    bool forWindows = false, hasFor = false; // the system the self-extracting program runs on
};

std::string CurrentFolder()
{
    std::vector<char> buf(PATH_MAX + 1);
    return getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string();
}

// An absolute form of path: relative paths are taken from base (no links resolved).
std::string Absolute(const std::string& path, const std::string& base)
{
    if (path.empty() || path.front() == '/')
        return path;
    std::string p = path;
    while (p.rfind("./", 0) == 0)
        p.erase(0, 2);
    if (p == ".")
        return base;
    return fsys::Join(base, p);
}

// Fills what the command line left open from the project file o.project: the folders
// and patch file unless all three are given, the options not given, and the project's
// two lists ahead of the command line's entries. Returns -1 when the project serves,
// else the exit status.
int TakeProject(CBuildOptions& o, const std::vector<std::string>& positional)
{
    if (!positional.empty() && positional.size() != 3) {
        PrintError("with --project give all three of OLD_FOLDER NEW_FOLDER PATCH_FILE, or none of them");
        return kExitUsage;
    }
    const std::string path = Absolute(o.project, CurrentFolder());
    CProjectData p;
    if (!ReadProjectFile(path, p)) {
        PrintError("cannot read the project file " + path);
        return kExitFailure;
    }
    if (!p.overlongKeys.empty()) {
        PrintError("project file " + path + ": the value of " + p.overlongKeys.front() +
                   " is longer than 254 characters");
        return kExitFailure;
    }
    // Paths of a project are full paths; any that is not is taken from the project's folder.
    const std::string base = fsys::FolderOf(path);
    if (positional.empty()) {
        o.oldFolder = Absolute(p.oldFolder, base);
        o.newFolder = Absolute(p.newFolder, base);
        o.patchFile = Absolute(p.patchFile, base);
    } else {
        o.oldFolder = positional[0];
        o.newFolder = positional[1];
        o.patchFile = positional[2];
    }
    if (o.oldFolder.empty() || o.newFolder.empty()) {
        PrintError("You must specify two folders to build a patch file.");
        return kExitUsage;
    }
    if (o.patchFile.empty()) {
        PrintError("Please specify a patch file name.");
        return kExitUsage;
    }
    if (!o.hasDialogText)
        o.dialogText = p.dialogText;
    if (!o.hasSplit)
        o.split = p.splitSize;
    if (!o.hasSelfExtract)
        o.selfExtract = p.selfExtract;
    if (!o.hasThorough)
        o.thorough = p.thorough;
    if (!o.hasFormat)
        o.compact = p.compact;
    if (!o.hasFor)
        o.forWindows = p.forWindows;
    // With "DefaultEqualsNew" on, the default folder follows the old folder in use.
    if (!o.hasDefaultFolder && !p.defaultEqualsNew) {
        o.defaultFolder = p.defaultFolder;
        o.hasDefaultFolder = true;
    }
    // A list entry whose key the file lacks reads as an empty name, which names no file.
    auto take = [&](const std::vector<std::string>& from, std::vector<std::string>& into, const char* what,
                    const char* countKey) {
        std::vector<std::string> names;
        for (const auto& name : from)
            if (!name.empty())
                names.push_back(name);
        if (names.size() != from.size())
            PrintError("project file " + path + ": the list of files " + what + " holds an empty name (" + countKey +
                       " says more names than the file holds); it is left out");
        names.insert(names.end(), into.begin(), into.end());
        into = std::move(names);
    };
    take(p.removeList, o.removes, "to remove", "NumberOfNamesToDelete");
    take(p.excludeList, o.excludes, "to exclude", "NumberOfNamesToExclude");
    return -1;
}

// Returns -1 when the arguments parse, else the exit status.
int Parse(const std::vector<std::string>& args, CBuildOptions& o)
{
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                PrintError(a + " needs a value");
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--exclude") {
            if (!value(v)) return kExitUsage;
            o.excludes.push_back(v);
        } else if (a == "--remove") {
            if (!value(v)) return kExitUsage;
            o.removes.push_back(v);
        } else if (a == "--default-folder") {
            if (!value(o.defaultFolder)) return kExitUsage;
            o.hasDefaultFolder = true;
        } else if (a == "--dialog-text") {
            if (!value(o.dialogText)) return kExitUsage;
            o.hasDialogText = true;
        } else if (a == "--publisher") {
            if (!value(o.publisher)) return kExitUsage;
            o.hasPublisher = true;
        } else if (a == "--organization") {
            if (!value(o.organization)) return kExitUsage;
            o.hasOrganization = true;
        } else if (a == "--split") {
            if (!value(v)) return kExitUsage;
            char* end = nullptr;
            errno = 0;
            o.split = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end != 0 || errno != 0 || v[0] == '-' || o.split > 65535) {
                PrintError("--split takes a number of 1000-byte units from 0 to 65535");
                return kExitUsage;
            }
            o.hasSplit = true;
        } else if (a == "--self-extract" || a == "--no-self-extract") {
            o.selfExtract = a == "--self-extract";
            o.hasSelfExtract = true;
        } else if (a == "--thorough" || a == "--no-thorough") {
            o.thorough = a == "--thorough";
            o.hasThorough = true;
        } else if (a == "--format") {
            std::string v;
            if (!value(v)) return kExitUsage;
            if (v != "classic" && v != "compact") {
                PrintError("--format takes classic or compact");
                return kExitUsage;
            }
            o.compact = v == "compact";
            o.hasFormat = true;
        } else if (a == "--for") {
            std::string v;
            if (!value(v)) return kExitUsage;
            if (v != "windows" && v != "linux") {
                PrintError("--for takes windows or linux");
                return kExitUsage;
            }
            o.forWindows = v == "windows";
            o.hasFor = true;
        } else if (a == "--log") {
            if (!value(o.logFile)) return kExitUsage;
        } else if (a == "--project") {
            if (!value(o.project)) return kExitUsage;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            PrintError("unknown option " + a + " (see --help)");
            return kExitUsage;
        } else {
            positional.push_back(a);
        }
    }
    if (!o.project.empty()) {
        int taken = TakeProject(o, positional);
        if (taken >= 0)
            return taken;
    } else if (positional.size() != 3) {
        PrintError("build needs OLD_FOLDER NEW_FOLDER PATCH_FILE (see --help)");
        return kExitUsage;
    } else {
        o.oldFolder = positional[0];
        o.newFolder = positional[1];
        o.patchFile = positional[2];
    }
    return -1;
}

// The exit status of a build refused before it began, its message printed. The command
// line words two of the refusals its own way.
int Refused(const CBuildRefusal& refusal)
{
    using Reason = CBuildRefusal::Reason;
    switch (refusal.reason) {
    case Reason::NotProgramName:
        PrintError("To create a self-extracting patch program, the file name extension must be \".exe\"");
        return kExitUsage;
    case Reason::PatchInsideNewFolder:
        PrintError("the patch file must not lie inside the new files folder");
        return kExitUsage;
    case Reason::FoldersMissing:
    case Reason::SameFolders:
        // Folders that cannot be built from are a failure, as when they do not exist.
        PrintError(refusal.text);
        return kExitFailure;
    default:
        PrintError(refusal.text);
        return kExitUsage;
    }
}

int RunBuild(const std::vector<std::string>& args)
{
    CBuildOptions o;
    int parsed = Parse(args, o);
    if (parsed >= 0)
        return parsed;

    const std::string cwd = CurrentFolder();
    CBuildInputs inputs;
    inputs.oldFolder = fsys::WithoutTrailingSlash(Absolute(o.oldFolder, cwd));
    inputs.newFolder = fsys::WithoutTrailingSlash(Absolute(o.newFolder, cwd));
    inputs.patchFile = Absolute(o.patchFile, cwd);
    inputs.selfExtract = o.selfExtract;
    inputs.checkNameCharacters = false;

    CTerminalPrompt prompt;
    CAppCore core(&prompt, fsys::ProgramFolder());
    core.userName = o.hasPublisher ? o.publisher : AccountFullName();
    core.userOrganization = o.organization;
    core.settings.oldFolder = inputs.oldFolder;
    core.settings.newFolder = inputs.newFolder;
    core.settings.patchFile = inputs.patchFile;
    core.settings.defaultFolder = o.hasDefaultFolder ? o.defaultFolder : inputs.oldFolder;
    core.settings.dialogText = o.dialogText;
    core.settings.splitSize = static_cast<uint16_t>(o.split);
    core.settings.selfExtract = o.selfExtract ? 1 : 0;
    core.settings.thorough = o.thorough ? 1 : 0;
    core.settings.compact = o.compact ? 1 : 0;
    core.settings.forWindows = o.forWindows ? 1 : 0;

    CDirDiff dirDiff(core);
    CBuildJob job(core, dirDiff, inputs);
    if (const CBuildRefusal refusal = job.Check())
        return Refused(refusal);
    if (!o.logFile.empty()) {
        core.settings.logFile = 1;
        core.log.SetPath(Absolute(o.logFile, cwd));
        if (!core.log.Start())
            return kExitFailure;
    }
    for (const auto& e : o.excludes)
        dirDiff.AddExcludeFile(Absolute(e, inputs.newFolder));
    for (const auto& r : o.removes)
        dirDiff.AddRemoveFile(Absolute(r, inputs.oldFolder));

    InstallCancelHandler();
    CBuildOutcome outcome;
    {
        // The compression and packaging show on the same line and take Ctrl-C as well.
        CTerminalBuildProgress progress;
        outcome = job.Run(&progress);
    }
    switch (outcome.kind) {
    case CBuildOutcome::Kind::Built:
        std::cout << "The Patch File: " << inputs.patchFile << " was successfully created." << std::endl;
        return kExitOk;
    case CBuildOutcome::Kind::Identical: return kExitNothingToDo;
    case CBuildOutcome::Kind::Refused: return Refused(outcome.refusal);
    case CBuildOutcome::Kind::Cancelled:
        PrintError("build cancelled; no patch file was created");
        return CancelledStatus();
    case CBuildOutcome::Kind::Failed: break;
    }
    // A step that said why itself left no message here.
    if (!outcome.message.empty())
        PrintError(outcome.message);
    return kExitFailure;
}

CCommandRegistration g_build({
    "build",
    "  build OLD_FOLDER NEW_FOLDER PATCH_FILE [options]\n"
    "  build --project FILE.dvj [OLD_FOLDER NEW_FOLDER PATCH_FILE] [options]\n"
    "        builds a patch file that turns OLD_FOLDER into NEW_FOLDER\n"
    "        --exclude FILE        leave FILE of NEW_FOLDER out (relative to NEW_FOLDER or full)\n"
    "        --remove FILE         have the apply remove FILE (relative to OLD_FOLDER or full)\n"
    "        --default-folder DIR  the folder the apply program proposes (default: OLD_FOLDER,\n"
    "                              or the project's)\n"
    "        --dialog-text TEXT    the text the apply program shows\n"
    "        --publisher NAME      publisher name (default: your account's full name)\n"
    "        --organization NAME   publisher organisation\n"
    "        --split KB            split into parts of KB x 1000 bytes (0: no split)\n"
    "        --self-extract        make a self-extracting patch program (PATCH_FILE ends in .exe)\n"
    "        --no-self-extract     make a plain patch file (when the project asks for a program)\n"
    "        --for SYSTEM          the system the self-extracting program runs on: linux (the\n"
    "                              default) or windows\n"
    "        --thorough            match at byte granularity and compress harder: a smaller\n"
    "                              patch that any apply reads, built more slowly\n"
    "        --no-thorough         the usual matching (when the project asks for thorough)\n"
    "        --format FORMAT       classic (the default: read by every reader of the format) or\n"
    "                              compact (smallest patches; applied by this program and its\n"
    "                              self-extracting programs)\n"
    "        --log FILE            write the build log to FILE\n"
    "        --project FILE.dvj    take the folders, patch file, options and both lists from a\n"
    "                              project file; the command line overrides its values and\n"
    "                              --exclude and --remove add to its lists",
    RunBuild,
});

} // namespace
