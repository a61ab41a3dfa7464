// The application core: the Settings record in the profile, the log file, the string
// helpers and the percentage labels of the progress bars.
#include "app/AppCore.h"
#include "app/Profile.h"
#include "app/StringHelpers.h"
#include "platform/ByteBuffer.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompt.h"
#include "support/ScopedEnv.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    CTestFolder folder;
    std::string ProfilePath() const { return folder / "config/Quenmark/delvorin.ini"; }
    CSettings Reload() const
    {
        CProfile profile("delvorin", ProfilePath());
        profile.Load();
        CSettings s;
        s.Load(profile);
        return s;
    }
};

void ExpectSame(const CSettings& a, const CSettings& b)
{
    EXPECT_EQ(a.logFile, b.logFile);
    EXPECT_EQ(a.backupExt, b.backupExt);
    EXPECT_EQ(a.newFolder, b.newFolder);
    EXPECT_EQ(a.oldFolder, b.oldFolder);
    EXPECT_EQ(a.applyFolder, b.applyFolder);
    EXPECT_EQ(a.patchFile, b.patchFile);
    EXPECT_EQ(a.applyPatchFile, b.applyPatchFile);
    EXPECT_EQ(a.backup, b.backup);
    EXPECT_EQ(a.selfExtract, b.selfExtract);
    EXPECT_EQ(a.defaultEqualsNew, b.defaultEqualsNew);
    EXPECT_EQ(a.splitSize, b.splitSize);
    EXPECT_EQ(a.defaultFolder, b.defaultFolder);
    EXPECT_EQ(a.dialogText, b.dialogText);
    EXPECT_EQ(a.thorough, b.thorough);
    EXPECT_EQ(a.forWindows, b.forWindows);
}

TEST_F(SettingsTest, EmptyProfileGivesTheDefaults)
{
    CProfile profile("delvorin", ProfilePath()); // the file does not exist
    profile.Load();
    CSettings s;
    s.logFile = 1;
    s.backupExt = "old";
    s.newFolder = "/n";
    s.defaultEqualsNew = 0;
    s.splitSize = 1440;
    s.dialogText = "text";
    s.thorough = 1;
    s.Load(profile);
    EXPECT_EQ(s.logFile, 0);
    EXPECT_EQ(s.backupExt, "bak");
    EXPECT_EQ(s.defaultEqualsNew, 1);
    EXPECT_EQ(s.backup, 0);
    EXPECT_EQ(s.selfExtract, 0);
    EXPECT_EQ(s.splitSize, 0);
    EXPECT_EQ(s.thorough, 0);
    for (const std::string* text : {&s.newFolder, &s.oldFolder, &s.applyFolder, &s.patchFile, &s.applyPatchFile,
                                    &s.defaultFolder, &s.dialogText})
        EXPECT_EQ(*text, "");
}

TEST_F(SettingsTest, EveryKeyRoundTripsThroughTheProfileFile)
{
    CSettings s;
    s.logFile = 1;
    s.backupExt = "orig";
    s.newFolder = "/home/pub/release 2.0";
    s.oldFolder = "/home/pub/release=1.0 [old]";
    s.applyFolder = ""; // empty stays empty
    s.patchFile = "/home/pub/out\\odd.dvp";
    s.applyPatchFile = "/tmp/update.dvp";
    s.backup = 1;
    s.selfExtract = 1;
    s.defaultEqualsNew = 0;
    s.splitSize = 65535;
    s.thorough = 1;
    s.forWindows = 1;
    s.defaultFolder = "/opt/app";
    s.dialogText = "Welcome to the update.\nLine two\\n is not a break.\r\n\n  indented\n";
    {
        CProfile profile("delvorin", ProfilePath());
        s.Save(profile); // creates the folders on the way
    }
    ASSERT_TRUE(fsys::FileExists(ProfilePath()));
    ExpectSame(Reload(), s);

    // The empty strings are stored, not left out.
    CProfile profile("delvorin", ProfilePath());
    profile.Load();
    EXPECT_EQ(profile.GetString("Settings", "ApplyFolder", "absent"), "");
    s.dialogText = "";
    s.Save(profile);
    EXPECT_EQ(Reload().dialogText, "");
    CProfile again("delvorin", ProfilePath());
    again.Load();
    EXPECT_EQ(again.GetString("Settings", "DialogText", "absent"), "");
}

TEST_F(SettingsTest, TheWindowsChoiceIsStoredOnlyOnceMade)
{
    // A profile that never chose Windows is saved without the key, as before it existed.
    CSettings s;
    {
        CProfile profile("delvorin", ProfilePath());
        s.Save(profile);
    }
    CProfile before("delvorin", ProfilePath());
    before.Load();
    EXPECT_EQ(before.GetString("Settings", "SelfExtractFor", "absent"), "absent");
    // Chosen and then given up: the key says so instead of staying "windows".
    s.forWindows = 1;
    s.Save(before);
    EXPECT_EQ(Reload().forWindows, 1);
    s.forWindows = 0;
    s.Save(before);
    EXPECT_EQ(Reload().forWindows, 0);
}

TEST_F(SettingsTest, SplitSizeKeepsItsLow16Bits)
{
    CProfile profile("delvorin", ProfilePath());
    profile.WriteInt("Settings", "SplitSize", 65536 + 720);
    ASSERT_TRUE(profile.Flush());
    EXPECT_EQ(Reload().splitSize, 720);
    profile.WriteInt("Settings", "SplitSize", 1457);
    ASSERT_TRUE(profile.Flush());
    EXPECT_EQ(Reload().splitSize, 1457);
}

class LogFileTest : public ::testing::Test {
protected:
    CTestFolder folder;
    CScriptedPrompt prompt;
    CAppCore core{&prompt, folder.Path(), folder.Path() + "/tmp"};
    std::string LogPath() const { return folder / "DelvorinLogFile.txt"; }
};

TEST_F(LogFileTest, HeaderNamesTheLocalDateAndTime)
{
    {
        CScopedEnv tz("TZ", "UTC");
        tzset();
        EXPECT_EQ(CLogFile::HeaderLine(0), "Delvorin Log File created on... Thursday, January 01, 1970 at 00:00:00");
        EXPECT_EQ(CLogFile::HeaderLine(1709647629),
                  "Delvorin Log File created on... Tuesday, March 05, 2024 at 14:07:09");
    }
    tzset();
}

TEST_F(LogFileTest, EveryStartBeginsANewLog)
{
    folder.Write("DelvorinLogFile.txt", "left over from an earlier run\n");
    for (int start = 0; start < 2; ++start) {
        time_t before = std::time(nullptr);
        ASSERT_TRUE(core.log.Start());
        time_t after = std::time(nullptr);
        std::string text = ReadFileText(LogPath());
        EXPECT_TRUE(text == CLogFile::HeaderLine(before) + "\n\n" || text == CLogFile::HeaderLine(after) + "\n\n")
            << text;
    }
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(LogFileTest, LinesAreAppendedOnlyWhileLoggingIsOn)
{
    ASSERT_TRUE(core.log.Start());
    const std::string header = ReadFileText(LogPath());
    core.AppendToLogFile("not written");
    EXPECT_EQ(ReadFileText(LogPath()), header);

    core.settings.logFile = 1;
    EXPECT_TRUE(core.LogEnabled());
    core.AppendToLogFile("first");
    core.AppendToLogFile("second line");
    EXPECT_EQ(ReadFileText(LogPath()), header + "first\nsecond line\n");

    // Deleted while the program runs: made again, without a header.
    ASSERT_TRUE(fsys::DeleteFile(LogPath()));
    core.AppendToLogFile("after deletion");
    EXPECT_EQ(ReadFileText(LogPath()), "after deletion\n");

    core.settings.logFile = 0;
    ASSERT_TRUE(fsys::DeleteFile(LogPath()));
    core.AppendToLogFile("nothing");
    EXPECT_FALSE(fsys::PathExists(LogPath()));
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(LogFileTest, LogThatCannotBeMadeIsReported)
{
    core.log.SetPath(folder / "missing/DelvorinLogFile.txt");
    EXPECT_FALSE(core.log.Start());
    core.settings.logFile = 1;
    core.AppendToLogFile("line");
    ASSERT_EQ(prompt.Shown().size(), 2u);
    EXPECT_EQ(prompt.Shown()[0].text, "Unable to create log file!!!");
    EXPECT_EQ(prompt.Shown()[0].buttons, PromptButtons::OK);
    EXPECT_EQ(prompt.Shown()[1].text, "Unable to open log file ");
    EXPECT_EQ(prompt.Shown()[1].buttons, PromptButtons::OK);
}

TEST(ProgramFilesTest, ShippedFilesAreFoundBesideTheProgramOrUnderItsPrefix)
{
    CTestFolder prefix;
    const std::string bin = prefix.MakeFolder("bin");
    // Found nowhere: the place beside the program, which the message names.
    EXPECT_EQ(fsys::FindProgramFile(bin, "DvApply.exe"), bin + "/DvApply.exe");
    prefix.WriteAll({{"lib/delvorin/DvApply.exe", "stub"}, {"share/delvorin/help/delvorin.hhp", "book"}});
    EXPECT_EQ(fsys::FindProgramFile(bin, "DvApply.exe"), prefix / "lib/delvorin/DvApply.exe");
    EXPECT_EQ(fsys::FindProgramFile(bin, "help/delvorin.hhp"), prefix / "share/delvorin/help/delvorin.hhp");
    // Beside the program (the build folder) comes first.
    prefix.Write("bin/DvApply.exe", "stub");
    EXPECT_EQ(fsys::FindProgramFile(bin, "DvApply.exe"), bin + "/DvApply.exe");
}

TEST(ProgramFilesTest, TheLogStaysOutOfAnInstallation)
{
    CTestFolder home;
    CScopedEnv homeEnv("HOME", home.Path().c_str());
    CScopedEnv state("XDG_STATE_HOME", nullptr);
    const std::string bin = home.MakeFolder("prefix/bin");
    EXPECT_EQ(fsys::LogFolder(bin), bin); // a writable folder outside an installation

    home.MakeFolder("prefix/share/delvorin");
    EXPECT_EQ(fsys::LogFolder(bin), home / ".local/state/delvorin");
    state.Set("relative/state"); // not absolute: ignored
    EXPECT_EQ(fsys::LogFolder(bin), home / ".local/state/delvorin");
    state.Set((home / "state/").c_str());
    EXPECT_EQ(fsys::LogFolder(bin), home / "state/delvorin");

    // The log file goes there, and its folder is made when the log starts.
    CScriptedPrompt prompt;
    CAppCore core(&prompt, bin, home / "tmp");
    EXPECT_EQ(core.log.Path(), home / "state/delvorin/DelvorinLogFile.txt");
    EXPECT_TRUE(core.StartLog());
    EXPECT_TRUE(fsys::FileExists(core.log.Path()));
    EXPECT_FALSE(fsys::PathExists(bin + "/DelvorinLogFile.txt"));
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST(StringHelpersTest, SetExtension)
{
    EXPECT_EQ(SetExtension("/p/update.dvp", "~dvp"), "/p/update.~dvp");
    EXPECT_EQ(SetExtension("/p/app.tar.gz", "bak"), "/p/app.tar.bak");
    EXPECT_EQ(SetExtension("/p/readme", "bak"), "/p/readme.bak");
    EXPECT_EQ(SetExtension("/p/name.", "bak"), "/p/name.bak");
    EXPECT_EQ(SetExtension("/p/my.folder/readme", "bak"), "/p/my.folder/readme.bak");
}

TEST(StringHelpersTest, LastComponentAndNames)
{
    EXPECT_EQ(LastComponent("/n/sub/app.dll"), "app.dll");
    EXPECT_EQ(LastComponent("app.dll"), "app.dll");

    EXPECT_FALSE(HasForbiddenNameChar("/home/pub/new files:2"));
    for (const char* bad : {"a?b", "a\"b", "a<b", "a>b", "a*b", "a|b", "a\\b"})
        EXPECT_TRUE(HasForbiddenNameChar(bad)) << bad;
}

TEST(PlatformTest, NamedPipesAreRefusedWithoutWaiting)
{
    CTestFolder folder;
    std::string pipe = folder / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    alarm(20); // a blocked open ends the test program instead of hanging it
    CBinFile file;
    EXPECT_FALSE(file.Open(pipe, CBinFile::Mode::Read));
    EXPECT_FALSE(file.Open(pipe, CBinFile::Mode::ReadWriteExisting));
    EXPECT_FALSE(file.Open(pipe, CBinFile::Mode::CreateAlways));
    std::vector<unsigned char> data;
    EXPECT_FALSE(fsys::ReadWholeFile(pipe, data));
    alarm(0);
    // Regular files open as before and read normally.
    std::string plain = folder.Write("plain", "abc");
    ASSERT_TRUE(file.Open(plain, CBinFile::Mode::Read));
    char buf[3];
    EXPECT_TRUE(file.ReadExact(buf, 3));
    EXPECT_TRUE(fsys::ReadWholeFile(plain, data));
    EXPECT_EQ(data.size(), 3u);
}

TEST(PlatformTest, SkipsShortAndLongStretchesAndStopsAtTheEnd)
{
    // Short skips are read through the buffer, long ones seek; both land on the right
    // byte, across buffer refills.
    CTestFolder folder;
    std::vector<unsigned char> bytes = RandomBytes(300000, 8);
    std::string path = folder.WriteBytes("data", bytes);
    CBinFile file;
    ASSERT_TRUE(file.Open(path, CBinFile::Mode::Read));
    uint64_t at = 0;
    for (uint64_t step : {0u, 1u, 4095u, 4096u, 4097u, 70000u, 3u, 65536u, 100000u}) {
        ASSERT_TRUE(file.Skip(step)) << step;
        at += step;
        EXPECT_EQ(file.Tell(), at);
        unsigned char b = 0;
        ASSERT_TRUE(file.ReadExact(&b, 1));
        EXPECT_EQ(b, bytes[at]) << at;
        ++at;
    }
    // Past the end a short skip fails; after a long one nothing more can be read.
    ASSERT_TRUE(file.Seek(bytes.size() - 10));
    EXPECT_FALSE(file.Skip(11));
    ASSERT_TRUE(file.Seek(0));
    unsigned char b = 0;
    EXPECT_TRUE(file.Skip(bytes.size() + 5000) && !file.ReadExact(&b, 1));
}

TEST(PlatformTest, PositionAndLengthFollowWritesSeeksAndShortReads)
{
    // The file keeps its own count of the position; it must agree with what was
    // written and read, in every mode, across buffer refills and at the end.
    CTestFolder folder;
    const std::string path = folder.Path() + "/data";
    std::vector<unsigned char> bytes = RandomBytes(200000, 9);
    {
        CBinFile file;
        ASSERT_TRUE(file.Open(path, CBinFile::Mode::CreateAlways));
        EXPECT_EQ(file.Tell(), 0u);
        ASSERT_TRUE(file.Write(bytes.data(), 70000));
        ASSERT_TRUE(file.Write(bytes.data() + 70000, bytes.size() - 70000));
        EXPECT_EQ(file.Tell(), bytes.size());
        EXPECT_EQ(file.Length(), bytes.size());
        // Back to patch a stretch in the middle, as the header writer does.
        ASSERT_TRUE(file.Seek(100));
        const unsigned char mark[3] = {1, 2, 3};
        ASSERT_TRUE(file.Write(mark, 3));
        EXPECT_EQ(file.Tell(), 103u);
        std::copy(mark, mark + 3, bytes.begin() + 100);
        ASSERT_TRUE(file.Seek(99990));
        unsigned char got[20];
        ASSERT_TRUE(file.ReadExact(got, 20));
        EXPECT_EQ(file.Tell(), 100010u);
        EXPECT_TRUE(std::equal(got, got + 20, bytes.begin() + 99990));
        ASSERT_TRUE(file.Close());
    }
    CBinFile file;
    ASSERT_TRUE(file.Open(path, CBinFile::Mode::ReadWriteExisting));
    EXPECT_EQ(file.Length(), bytes.size());
    ASSERT_TRUE(file.Skip(150000));
    unsigned char b = 0;
    ASSERT_TRUE(file.ReadExact(&b, 1));
    EXPECT_EQ(b, bytes[150000]);
    EXPECT_EQ(file.Tell(), 150001u);
    ASSERT_TRUE(file.Close());

    ASSERT_TRUE(file.Open(path, CBinFile::Mode::Read));
    EXPECT_EQ(file.Length(), bytes.size());
    std::vector<unsigned char> all(bytes.size());
    ASSERT_TRUE(file.ReadExact(all.data(), all.size()));
    EXPECT_EQ(all, bytes);
    // A read that runs past the end counts only what it got.
    ASSERT_TRUE(file.Seek(bytes.size() - 4));
    unsigned char tail[10];
    EXPECT_EQ(file.Read(tail, sizeof tail), 4u);
    EXPECT_EQ(file.Tell(), bytes.size());
    EXPECT_FALSE(file.ReadExact(tail, 1));
    EXPECT_EQ(file.Tell(), bytes.size());
}

// Buffers grow across the large-page boundary and back without losing bytes; large ones
// start at a large-page boundary, and each one given back leaves the others intact.
TEST(PlatformTest, ByteBuffersKeepTheirBytesAcrossTheLargePageBoundary)
{
    CByteBuffer small;
    small.assign(1000, 0x5A);
    CByteBuffer grown = small;
    grown.reserve(memory::kLargeFrom + 1); // moves into large pages
    EXPECT_EQ(reinterpret_cast<uintptr_t>(grown.data()) % memory::kLargeFrom, 0u);
    ASSERT_EQ(grown.size(), 1000u);
    EXPECT_TRUE(std::all_of(grown.begin(), grown.end(), [](unsigned char b) { return b == 0x5A; }));

    // Filled to an odd length past the boundary, with a pattern that shows a misplaced byte.
    const size_t length = 3 * memory::kLargeFrom + 12345;
    grown.resize(length);
    for (size_t i = 0; i < length; ++i)
        grown[i] = static_cast<unsigned char>(i * 131 + (i >> 13));
    CByteBuffer copy = grown; // a second large buffer
    {
        CByteBuffer other(memory::kLargeFrom * 2);
        other.assign(other.size(), 0xFF);
    } // given back while the others live
    grown.resize(length + memory::kLargeFrom); // reallocates: the bytes move along
    for (size_t i = 0; i < length; i += 4093)
        ASSERT_EQ(grown[i], static_cast<unsigned char>(i * 131 + (i >> 13))) << i;
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), grown.begin()));
    grown.resize(100);
    grown.shrink_to_fit(); // back below the boundary
    EXPECT_TRUE(std::equal(grown.begin(), grown.end(), copy.begin()));
}

TEST(ProgressTest, PercentLabel)
{
    EXPECT_EQ(PercentLabel(0), "0%");
    EXPECT_EQ(PercentLabel(37), "37%");
    EXPECT_EQ(PercentLabel(100), "100%");
    EXPECT_EQ(PercentLabel(150), "50%");
    EXPECT_EQ(PercentLabel(200), "0%");
    EXPECT_EQ(PercentLabel(15, 10, 20), "50%");
}

} // namespace
