// The self-extracting patch program: built with delvorin-cli from trees made here,
// copied elsewhere and run on the terminal against copies of the old tree, whole and
// split into parts, with a part missing, cut short, renamed, and against folders it
// does not fit; run in a root that holds nothing but the C library; what it needs to
// start; and its session driven here through a scripted face. Skipped when the build
// has no DvApply.exe.
#include "platform/FileSystem.h"
#include "stub/AdministratorOffer.h"
#include "stub/StubSession.h"
#include "support/CliRun.h"
#include "support/RecordingProgress.h"
#include "support/TestFolder.h"
#include "support/TreeDifferences.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef DELVORIN_STUB_SHIPPING_FORM
#define DELVORIN_STUB_SHIPPING_FORM 0
#endif

namespace {

std::string BinFolder()
{
    const char* bin = std::getenv("DELVORIN_BIN");
    return bin ? bin : "build/bin";
}

std::string StubPath()
{
    return BinFolder() + "/DvApply.exe";
}

#define REQUIRE_SHIPPING_FORM()                                                                                     \
    do {                                                                                                            \
        if (!DELVORIN_STUB_SHIPPING_FORM)                                                                           \
            GTEST_SKIP() << "a sanitized or debugging build: DvApply.exe is not in the form it ships in";         \
    } while (0)

// No display: the program works on the terminal even without --console.
const char* const kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY ";

void Copy(const std::string& from, const std::string& to)
{
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(fsys::ReadWholeFile(from, bytes)) << from;
    ASSERT_TRUE(fsys::WriteWholeFile(to, bytes.data(), bytes.size())) << to;
    ASSERT_TRUE(fsys::SetPermissions(to, 0755));
}

// An old and a new tree with a changed, an unchanged, a new (deep) and a removed file.
void MakeTrees(CTestFolder& dir)
{
    dir.WritePair("readme.txt", "Frobnicator 1.0\n", "Frobnicator 2.0, now with more frobs\n");
    dir.WritePair("same.txt", "never changes\n", "never changes\n");
    dir.Write("old/obsolete.cfg", "old setting\n");
    std::vector<unsigned char> core = RandomBytes(40000, 1);
    core.insert(core.begin() + 1000, 500, 'x');
    dir.WriteBytesPair("lib/core.bin", RandomBytes(40000, 1), core);
    dir.Write("new/plugins/extra/new.txt", "a new file\n");
}

// Builds dir/dist/update.exe from dir/old and dir/new (by default removing the file the
// new tree no longer has).
void BuildProgram(CTestFolder& dir, const std::string& options = "--remove obsolete.cfg")
{
    ASSERT_TRUE(CliSucceeds("build old new dist/update.exe --self-extract --dialog-text 'This updates Frobnicator to "
                            "2.0.' --publisher 'Ann Smith' --organization 'Acme Ltd' " + options,
                            dir.Path()));
}

// A copy of the old tree to apply to.
std::string OldCopy(CTestFolder& dir, const std::string& name)
{
    std::string target = dir / name;
    EXPECT_TRUE(CopyTree(dir / "old", target));
    return target;
}

// A face of the apply program that answers from a script and keeps what it was shown.
class CScriptedStubUi : public IStubUi {
public:
    std::vector<CStubChoice> choices; // given in turn; after the last the user gives up
    std::vector<PromptAnswer> answers; // to the questions, in turn; then the safe answer
    bool mayRetry = true;
    CStubIntro intro;
    std::vector<std::string> proposals; // the folder each question proposed
    std::vector<std::string> messages;  // every text of a message box, in order
    std::vector<CStubResult> results;
    CRecordingApplyProgress progress;

    PromptAnswer Ask(PromptOwner, const std::string& text, const std::string&, PromptButtons buttons,
                     PromptIcon) override
    {
        messages.push_back(text);
        if (buttons == PromptButtons::OK || answered_ == answers.size())
            return SafeAnswer(buttons);
        return answers[answered_++];
    }
    bool AskFolder(const CStubIntro& shown, CStubChoice& choice) override
    {
        intro = shown;
        proposals.push_back(choice.folder);
        if (next_ == choices.size())
            return false;
        choice = choices[next_++];
        return true;
    }
    IApplyProgress& BeginProgress() override { return progress; }
    void EndProgress() override {}
    void ShowResult(const CStubResult& result) override { results.push_back(result); }
    bool MayRetry() const override { return mayRetry; }
    IAdministratorRestart* AdministratorRestart() override { return administrator; }
    IAdministratorRestart* administrator = nullptr;

private:
    size_t next_ = 0;
    size_t answered_ = 0;
};

// Folders closed to this user, and restarts that end in turn with a status, fail, or are
// declined at the system's question.
class CScriptedAdministrator : public IAdministratorRestart {
public:
    std::set<std::string> closed;
    struct Restart {
        bool ran;
        int status;
        std::string why;
    };
    std::vector<Restart> restarts;
    std::vector<CStubChoice> asked; // the choice of each restart

    bool NeedsAdministrator(const std::string& folder) override { return closed.count(folder) != 0; }
    bool RestartAsAdministrator(const CStubChoice& choice, int& status, std::string& why) override
    {
        const Restart r = restarts.at(asked.size());
        asked.push_back(choice);
        status = r.status;
        why = r.why;
        return r.ran;
    }
};

// Keeps /proc mounted in a test's root folder while it lives.
struct CProcMount {
    std::string path;
    bool mounted = false;
    ~CProcMount()
    {
        if (mounted)
            umount2(path.c_str(), MNT_DETACH);
    }
};

// A test of the apply program, skipped when the build has none, with a scratch folder
// that holds a folder dist for what it builds.
class SelfExtracting : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fsys::FileExists(StubPath()))
            GTEST_SKIP() << "no DvApply.exe in " << BinFolder() << " (built without the windows)";
        dir.MakeFolder("dist");
    }
    CTestFolder dir;
};

} // namespace

TEST_F(SelfExtracting, NeedsNothingButTheCLibraryAndFitsAPart)
{
    REQUIRE_SHIPPING_FORM();
    uint64_t length = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), length));
    // Every self-extracting patch carries the program: it must stay within the size it has had.
    EXPECT_LE(length, 565000u) << "DvApply.exe has grown: a 720 KB first part must carry as much of the patch as before";

    // Every library the loader must find.
    const std::string dynamic = CommandOutput("readelf -d " + Quoted(StubPath()));
    ASSERT_TRUE(Contains(dynamic, "(NEEDED)"));
    const std::vector<std::string> allowed = {"libc.so.6",         "libm.so.6",       "libdl.so.2",
                                              "libpthread.so.0",   "librt.so.1",      "ld-linux-x86-64.so.2",
                                              "ld-linux-aarch64.so.1", "ld-linux.so.2"};
    std::istringstream lines(dynamic);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t open = line.find("(NEEDED)") != std::string::npos ? line.find('[') : std::string::npos;
        if (open == std::string::npos)
            continue;
        const std::string library = line.substr(open + 1, line.find(']') - open - 1);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), library), allowed.end()) << library;
    }

    // The newest C library it asks for: 2.34 at most.
    const std::string symbols = CommandOutput("objdump -T " + Quoted(StubPath()));
    ASSERT_TRUE(Contains(symbols, "GLIBC_2."));
    for (size_t at = symbols.find("GLIBC_2."); at != std::string::npos; at = symbols.find("GLIBC_2.", at + 1)) {
        const int minor = std::atoi(symbols.c_str() + at + 8);
        EXPECT_LE(minor, 34) << symbols.substr(at, symbols.find_first_of(" )\n", at) - at);
    }
}

TEST_F(SelfExtracting, AppliesItsPatchFromAnotherFolderAndRefusesAFolderThatDoesNotFit)
{
    MakeTrees(dir);
    BuildProgram(dir);
    // Copied elsewhere under another name and started through a link, so neither its
    // name nor argv[0] says what it is.
    dir.MakeFolder("elsewhere");
    Copy(dir / "dist/update.exe", dir / "elsewhere/frobnicator-2.0-update");
    ASSERT_EQ(symlink((dir / "elsewhere/frobnicator-2.0-update").c_str(), (dir / "link.exe").c_str()), 0);
    const std::string program = dir / "link.exe";

    std::string target = OldCopy(dir, "target");
    CRun r = RunProgram(program, "--console " + Quoted(target), dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "This updates Frobnicator to 2.0."));
    EXPECT_TRUE(Contains(r.out, "Publisher: Ann Smith, Acme Ltd"));
    EXPECT_TRUE(Contains(r.out, "The Delvorin file has been applied successfully."));
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");

    // One file that is not the one the patch was made from: nothing changes, status 3.
    std::string wrong = OldCopy(dir, "wrong");
    dir.Write("wrong/readme.txt", "Frobnicator 1.0 (edited)\n");
    auto before = SnapshotTree(wrong);
    r = RunProgram(program, "--console " + Quoted(wrong), dir.Path());
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "The following file does not match the file to be updated:\n  " + wrong + "/readme.txt"));
    EXPECT_TRUE(Contains(r.err, "have not been changed"));
    EXPECT_TRUE(Contains(r.err, "contact the following company to resolve this problem:\n  Ann Smith, Acme Ltd"));
    EXPECT_EQ(TreeDifferences(SnapshotTree(wrong), before), "");

    // A folder that does not exist is not made.
    r = RunProgram(program, "--console " + Quoted(dir / "missing"), dir.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "does not exist"));
    EXPECT_FALSE(fsys::PathExists(dir / "missing"));

    // A compact patch: its frames go through the zstd decoder linked into the program.
    BuildProgram(dir, "--remove obsolete.cfg --format compact");
    target = OldCopy(dir, "compact");
    r = RunProgram(dir / "dist/update.exe", "--console " + Quoted(target), dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
}

TEST_F(SelfExtracting, WithoutADisplayItWorksOnTheTerminalAndProposesTheDefaultFolder)
{
    MakeTrees(dir);
    std::string target = OldCopy(dir, "installed");
    BuildProgram(dir, "--default-folder " + Quoted(target));

    // No folder on the command line: the default folder of the patch, with backups.
    CRun r = RunProgram(dir / "dist/update.exe", "--backup", dir.Path(), dir.Path(), kNoDisplay);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("update.exe: no window (no display", 0), 0u) << r.err;
    EXPECT_TRUE(Contains(r.out, "Folder to update: " + target));
    auto expected = SnapshotTree(dir / "new");
    expected["readme.bak"] = "Frobnicator 1.0\n";
    expected["lib/core.bak"] = ReadFileText(dir / "old/lib/core.bin");
    expected["obsolete.cfg"] = "old setting\n"; // this build removes nothing
    // A new file that did not exist has no backup, nor has same.txt, which only gets
    // its times.
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), expected), "");
    // The result, then where each backup went.
    const std::string applied = "The Delvorin file has been applied successfully.\nBackups of the replaced files:\n";
    const size_t report = r.out.find(applied);
    ASSERT_NE(report, std::string::npos) << r.out;
    std::string lines = r.out.substr(report + applied.size());
    for (const std::string& line : {"readme.txt: " + target + "/readme.bak\n", "lib/core.bin: " + target + "/lib/core.bak\n"})
        EXPECT_TRUE(Contains(lines, line));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;

    // A relative folder on the command line, a backup extension of its own.
    OldCopy(dir, "relative");
    r = RunProgram(dir / "dist/update.exe", "relative --backup orig", dir.Path(), dir.Path(), kNoDisplay);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileText(dir / "relative/readme.orig"), "Frobnicator 1.0\n");

    // Neither a folder nor a default one: the usage.
    dir.MakeFolder("nodefault");
    ASSERT_TRUE(CliSucceeds("build old new nodefault/update.exe --self-extract --default-folder ''", dir.Path()));
    r = RunProgram(dir / "nodefault/update.exe", "", dir.Path(), dir.Path(), kNoDisplay);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "usage: update.exe"));

    // Bad command lines.
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console --frobnicate", dir.Path()).status, 2);
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console a b", dir.Path()).status, 2);
    EXPECT_EQ(RunProgram(dir / "dist/update.exe", "--console a --backup=x/y", dir.Path()).status, 2);
}

TEST_F(SelfExtracting, JoinsItsPartsAndAsksForAMissingOne)
{
    dir.WriteBytes("old/data.bin", RandomBytes(100000, 7));
    std::vector<unsigned char> data = RandomBytes(250000, 8);
    std::vector<unsigned char> old = RandomBytes(100000, 7);
    data.insert(data.end(), old.begin(), old.end());
    dir.WriteBytes("new/data.bin", data);

    // Parts just larger than the apply program: the program and one more part.
    uint64_t stubLength = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), stubLength));
    const uint64_t split = stubLength / 1000 + 100;
    ASSERT_TRUE(CliSucceeds("build old new dist/update.exe --self-extract --split " + std::to_string(split), dir.Path()));
    ASSERT_TRUE(fsys::FileExists(dir / "dist/update.dv001"));
    ASSERT_FALSE(fsys::FileExists(dir / "dist/update.dv002"));
    uint64_t programLength = 0;
    ASSERT_TRUE(fsys::FileLength(dir / "dist/update.exe", programLength));
    EXPECT_EQ(programLength, split * 1000);

    dir.MakeFolder("disk");
    Copy(dir / "dist/update.exe", dir / "disk/update.exe");
    std::string target = OldCopy(dir, "target");

    CRun r = RunProgram(dir / "disk/update.exe", "--console " + Quoted(target), dir.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err,
                         "Please put file update.dv001 into the folder " + dir / "disk/" + ". Press OK when done."));
    EXPECT_TRUE(Contains(r.err, "Error opening patch file"));
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "old")), "");

    Copy(dir / "dist/update.dv001", dir / "disk/update.dv001");
    r = RunProgram(dir / "disk/update.exe", "--console " + Quoted(target), dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
}

TEST_F(SelfExtracting, RefusesAMissingOrDamagedPatchAndChangesNothing)
{
    MakeTrees(dir);
    BuildProgram(dir);
    std::string target = OldCopy(dir, "target");
    const auto before = SnapshotTree(target);
    std::vector<unsigned char> program = ReadFileBytes(dir / "dist/update.exe");
    uint64_t stubLength = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), stubLength));
    ASSERT_GT(program.size(), stubLength + 26);

    // The apply program on its own carries no patch (its code holds the marker text).
    CRun r = RunProgram(StubPath(), "--console " + Quoted(target), dir.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "does not carry a Delvorin patch"));

    struct {
        const char* name;
        size_t length;
        const char* message;
    } cuts[] = {
        {"stream.exe", program.size() - 100, "Error opening patch file"},
        {"prefix.exe", static_cast<size_t>(stubLength) + 22, "Error opening patch file"},
        {"marker.exe", static_cast<size_t>(stubLength) + 10, "does not carry a Delvorin patch"},
    };
    for (const auto& cut : cuts) {
        dir.WriteBytes(std::string("cut/") + cut.name,
                       std::vector<unsigned char>(program.begin(), program.begin() + cut.length));
        ASSERT_TRUE(fsys::SetPermissions(dir / "cut" + "/" + cut.name, 0755));
        r = RunProgram(dir / "cut" + "/" + cut.name, "--console " + Quoted(target), dir.Path());
        EXPECT_EQ(r.status, 1) << cut.name << r.err;
        EXPECT_TRUE(Contains(r.err, cut.message)) << cut.name;
    }
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), before), "");

    // A compact patch whose description frame bears the magic number of a zstd format
    // older than 1.0, which the program does not read: damaged, and nothing changes.
    BuildProgram(dir, "--remove obsolete.cfg --format compact");
    program = ReadFileBytes(dir / "dist/update.exe");
    const unsigned char magic[] = {0x28, 0xb5, 0x2f, 0xfd};
    auto frame = std::search(program.begin() + static_cast<std::ptrdiff_t>(stubLength), program.end(),
                             std::begin(magic), std::end(magic));
    ASSERT_NE(frame, program.end());
    *frame = 0x25; // v0.5
    dir.WriteBytes("cut/old-frame.exe", program);
    ASSERT_TRUE(fsys::SetPermissions(dir / "cut/old-frame.exe", 0755));
    r = RunProgram(dir / "cut/old-frame.exe", "--console " + Quoted(target), dir.Path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "is damaged or incomplete and cannot be decompressed"));
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), before), "");

}

// The published pair of a real package, when the release test has fetched it.
TEST_F(SelfExtracting, ReleasePairRoundTripInBothFormats)
{
    std::string cache = fsys::FolderOf(fsys::WithoutTrailingSlash(BinFolder())) + "/npm-cache";
    const std::string oldTarball = cache + "/prettier-3.2.4.tgz", newTarball = cache + "/prettier-3.2.5.tgz";
    if (!fsys::FileExists(oldTarball) || !fsys::FileExists(newTarball))
        GTEST_SKIP() << "the release pair has not been fetched into " << cache;

    dir.MakeFolder("old");
    dir.MakeFolder("new");
    ASSERT_EQ(std::system(("tar xzf " + Quoted(oldTarball) + " -C " + Quoted(dir / "old")).c_str()), 0);
    ASSERT_EQ(std::system(("tar xzf " + Quoted(newTarball) + " -C " + Quoted(dir / "new")).c_str()), 0);
    auto oldFiles = SnapshotTree(dir / "old/package"), newFiles = SnapshotTree(dir / "new/package");
    std::string removes;
    for (const auto& entry : oldFiles)
        if (!newFiles.count(entry.first))
            removes += " --remove " + Quoted(entry.first);

    for (const std::string format : {"classic", "compact"}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(CliSucceeds(
            "build old/package new/package prettier-update.exe --self-extract --format " + format + removes, dir.Path()));
        const std::string installed = dir / ("installed-" + format);
        ASSERT_TRUE(CopyTree(dir / "old/package", installed));
        CRun r = RunProgram(dir / "prettier-update.exe", "--console " + Quoted(installed), dir.Path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(TreeDifferences(SnapshotTree(installed), newFiles), "");
    }
}

// Split onto 720 KB media and run where nothing but the C library is: in console mode,
// and with a display named but no GTK there, when it must fall back to the terminal.
TEST_F(SelfExtracting, RunsFromMediaInARootHoldingOnlyTheCLibrary)
{
    REQUIRE_SHIPPING_FORM(); // a sanitized or debugging program is far larger than a part
    if (geteuid() != 0)
        GTEST_SKIP() << "chroot and mounting /proc need root";
    dir.WriteBytes("old/data/a.bin", RandomBytes(300000, 21));
    dir.WriteBytes("old/b.bin", RandomBytes(100000, 22));
    dir.WriteBytes("new/data/a.bin", RandomBytes(1200000, 23)); // random: it does not compress
    std::vector<unsigned char> b = RandomBytes(100000, 22);
    b.insert(b.begin() + 5000, 900000, 'z');
    std::vector<unsigned char> noise = RandomBytes(900000, 24);
    b.insert(b.end(), noise.begin(), noise.end());
    dir.WriteBytes("new/b.bin", b);
    dir.Write("new/docs/readme.txt", "new\n");
    ASSERT_TRUE(CliSucceeds("build old new dist/update.exe --self-extract --split 720", dir.Path()));
    uint64_t length = 0, stubLength = 0, total = 0;
    ASSERT_TRUE(fsys::FileLength(StubPath(), stubLength));
    ASSERT_TRUE(fsys::FileLength(dir / "dist/update.exe", length));
    EXPECT_EQ(length, 720000u);
    for (const char* part : {"update.exe", "update.dv001", "update.dv002", "update.dv003"}) {
        ASSERT_TRUE(fsys::FileLength(dir / "dist" + "/" + part, length)) << part;
        total += length;
    }
    EXPECT_GT(total - stubLength, 2000000u) << "the compressed patch must exceed 2 MB";

    // The root: the program and its parts, the C library's files, /proc and /tmp.
    const std::string root = dir.MakeFolder("root");
    dir.MakeFolder("root/tmp");
    dir.MakeFolder("root/proc");
    auto place = [&](const std::string& from, const std::string& to) {
        ASSERT_TRUE(fsys::SetPermissions(dir.WriteBytes("root" + to, ReadFileBytes(from)), 0755)) << to;
    };
    for (const std::string part : {"update.exe", "update.dv001", "update.dv002", "update.dv003"})
        place(dir / "dist/" + part, "/disk/" + part);
    std::istringstream loaded(CommandOutput("ldd " + Quoted(StubPath())));
    std::string word;
    while (loaded >> word) {
        if (word[0] == '/')
            place(word, word);
    }
    ASSERT_TRUE(fsys::FileExists(root + "/disk/update.exe"));
    CProcMount proc{root + "/proc"};
    if (mount("proc", proc.path.c_str(), "proc", 0, nullptr) != 0)
        GTEST_SKIP() << "/proc cannot be mounted here: " << std::strerror(errno);
    proc.mounted = true;

    struct {
        const char* environment;
        const char* arguments;
        const char* folder;
    } runs[] = {{"env -i ", "--console /console", "console"}, {"env -i DISPLAY=:0 ", "/window", "window"}};
    for (const auto& run : runs) {
        ASSERT_TRUE(CopyTree(dir / "old", root + "/" + run.folder));
        CRun r = RunProgram("/usr/sbin/chroot", Quoted(root) + " /disk/update.exe " + run.arguments, dir.Path(), "/",
                            run.environment);
        if (r.status == 125 && r.err.find("chroot:") != std::string::npos)
            GTEST_SKIP() << "chroot is not allowed here: " << r.err;
        ASSERT_EQ(r.status, 0) << run.folder << "\n" << r.err;
        EXPECT_EQ(TreeDifferences(SnapshotTree(root + "/" + run.folder), SnapshotTree(dir / "new")), "")
            << run.folder;
        if (std::string(run.folder) == "window") {
            EXPECT_TRUE(Contains(r.err, "going on in the terminal."));
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    std::vector<fsys::DirEntry> left;
    ASSERT_TRUE(fsys::ListFolder(root + "/tmp", left));
    EXPECT_EQ(left.size(), 2u) << "only . and .. stay in /tmp";
}

// The session that the terminal and the window share: the choice is checked before
// anything is applied, a folder that does not fit lets the user choose another where
// the face can ask again, and the right folder is updated.
TEST_F(SelfExtracting, SessionChecksTheChoiceAndOffersAnotherFolderAfterOneThatDoesNotFit)
{
    MakeTrees(dir);
    BuildProgram(dir);
    const std::string target = OldCopy(dir, "target");
    const std::string wrong = OldCopy(dir, "wrong");
    dir.Write("wrong/readme.txt", "Frobnicator 1.0 (edited)\n");
    const auto wrongBefore = SnapshotTree(wrong);

    CStubOptions options;
    options.folder = wrong;
    CScriptedStubUi ui;
    CStubChoice backupToElsewhere{wrong, true, "../x"};
    ui.choices = {CStubChoice{""}, CStubChoice{dir / "missing"}, backupToElsewhere, CStubChoice{wrong},
                  CStubChoice{target}};
    EXPECT_EQ(RunStubSession(ui, options, dir / "dist/update.exe"), 0);
    EXPECT_EQ(ui.intro.publisher, "Ann Smith, Acme Ltd");
    EXPECT_EQ(ui.intro.dialogText, "This updates Frobnicator to 2.0.");
    ASSERT_FALSE(ui.proposals.empty());
    EXPECT_EQ(ui.proposals[0], wrong); // the command line's folder
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0], "Please specify a folder name to apply the patch file to.");
    EXPECT_TRUE(Contains(ui.messages[1], "does not exist"));
    EXPECT_TRUE(Contains(ui.messages[2], "must not hold"));
    EXPECT_FALSE(fsys::PathExists(dir / "missing"));
    ASSERT_EQ(ui.results.size(), 2u);
    EXPECT_EQ(ui.results[0].kind, CStubResult::Kind::NotMatching);
    EXPECT_EQ(ui.results[0].contact, "Ann Smith, Acme Ltd");
    ASSERT_EQ(ui.results[0].lines.size(), 2u);
    EXPECT_EQ(ui.results[0].lines[0], "The following file does not match the file to be updated:");
    EXPECT_EQ(ui.results[0].lines[1], wrong + "/readme.txt");
    EXPECT_EQ(TreeDifferences(SnapshotTree(wrong), wrongBefore), "");
    EXPECT_EQ(ui.results[1].kind, CStubResult::Kind::Applied);
    EXPECT_EQ(ui.results[1].message, "The Delvorin file has been applied successfully.");
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
    EXPECT_FALSE(ui.progress.calls.empty());

    // A face that cannot ask again ends with the refusal; one that gives up at once
    // changes nothing either.
    CScriptedStubUi once;
    once.mayRetry = false;
    once.choices = {CStubChoice{wrong}, CStubChoice{target}};
    EXPECT_EQ(RunStubSession(once, CStubOptions{}, dir / "dist/update.exe"), 3);
    EXPECT_EQ(once.results.size(), 1u);
    CScriptedStubUi givesUp;
    EXPECT_EQ(RunStubSession(givesUp, CStubOptions{}, dir / "dist/update.exe"), 1);
    EXPECT_TRUE(givesUp.results.empty());
    EXPECT_EQ(TreeDifferences(SnapshotTree(wrong), wrongBefore), "");
}

// A folder closed to this user: the session asks whether to start again as an
// administrator. No, or a restart that did not run, brings back the choice with nothing
// changed; a restart that ran ends this program with its status, and this program applies
// nothing itself.
TEST_F(SelfExtracting, SessionOffersAnAdministratorForAFolderClosedToTheUser)
{
    MakeTrees(dir);
    BuildProgram(dir);
    const std::string closed = OldCopy(dir, "closed");
    const std::string open = OldCopy(dir, "open");
    const auto before = SnapshotTree(closed);

    CScriptedAdministrator administrator;
    administrator.closed = {closed};
    administrator.restarts = {{false, 0, ""}, {false, 0, "It could not be started."}, {true, 3, ""}};
    CScriptedStubUi ui;
    ui.administrator = &administrator;
    const CStubChoice withBackup{closed, true, "orig"};
    ui.choices = {CStubChoice{closed}, CStubChoice{closed}, CStubChoice{closed}, withBackup};
    ui.answers = {PromptAnswer::No, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes};
    EXPECT_EQ(RunStubSession(ui, CStubOptions{}, dir / "dist/update.exe"), 3);
    const std::string question = AdministratorQuestion(closed);
    EXPECT_TRUE(Contains(question, closed));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{question, question, question, "It could not be started.", question}));
    ASSERT_EQ(administrator.asked.size(), 3u);
    EXPECT_EQ(administrator.asked[2].folder, closed);
    EXPECT_TRUE(administrator.asked[2].backup);
    EXPECT_EQ(administrator.asked[2].backupExt, "orig");
    EXPECT_TRUE(ui.results.empty());
    EXPECT_TRUE(ui.progress.calls.empty());
    EXPECT_EQ(TreeDifferences(SnapshotTree(closed), before), "");

    // After No another folder is chosen, and that one is updated here.
    CScriptedStubUi other;
    other.administrator = &administrator;
    other.choices = {CStubChoice{closed}, CStubChoice{open}};
    other.answers = {PromptAnswer::No};
    EXPECT_EQ(RunStubSession(other, CStubOptions{}, dir / "dist/update.exe"), 0);
    EXPECT_EQ(administrator.asked.size(), 3u);
    EXPECT_EQ(TreeDifferences(SnapshotTree(open), SnapshotTree(dir / "new")), "");
    EXPECT_EQ(TreeDifferences(SnapshotTree(closed), before), "");
}

// The restarted program's command line gives back the folder and the backup exactly, as
// the C runtime of Windows splits it.
TEST(StubRestart, CommandLineKeepsTheChoiceWhole)
{
    const struct {
        CStubChoice choice;
        const char* line;
    } rows[] = {
        {{"C:\\Frob"}, "-- C:\\Frob"},
        {{"C:\\Program Files\\Frob\\"}, "-- \"C:\\Program Files\\Frob\\\\\""},
        {{"-odd", true, "old bak"}, "\"--backup=old bak\" -- -odd"},
        {{"a\\\"b c"}, "-- \"a\\\\\\\"b c\""},
        {{"D:\\x", true, "bak"}, "--backup=bak -- D:\\x"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RestartCommandLine(row.choice), row.line) << row.choice.folder;
    EXPECT_EQ(QuoteWindowsArgument(""), "\"\"");
}
