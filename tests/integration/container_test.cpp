// The patch file container: header bytes, the gzip stream, the part prefix with
// splitting and reassembly, the self-extracting form and the refusals of damaged input.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "container/SelfExtractReader.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"
#include "support/PeProgram.h"
#include "support/ShownPrompt.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include "support/Gzip.h"
#include "support/TextLines.h"

namespace {

uint32_t U32(const std::vector<unsigned char>& b, size_t at) { return GetU32(b.data() + at); }
uint16_t U16(const std::vector<unsigned char>& b, size_t at) { return GetU16(b.data() + at); }

std::string Field(const std::vector<unsigned char>& b, size_t at, size_t width)
{
    std::string s(reinterpret_cast<const char*>(b.data()) + at, width);
    return s.substr(0, s.find('\0'));
}

bool AllZero(const std::vector<unsigned char>& b, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

std::vector<unsigned char> Concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<unsigned char> kZeroPrefix(8, 0);

// An image of the given size that starts with the magic and is zero after it.
std::vector<unsigned char> MagicImage(size_t size)
{
    std::vector<unsigned char> image(size, 0);
    std::memcpy(image.data(), "Delvorin_Version1abc.13", 23);
    return image;
}

class ContainerTest : public testing::Test {
protected:
    CTestFolder dir;
    std::string programFolder = dir.MakeFolder("prog");
    std::string tempFolder = dir.MakeFolder("tmp") + "/";
    CScriptedPrompt prompt;
    CAppCore core{&prompt, programFolder, tempFolder};
    CDirDiff dirDiff{core};

    // The header a build writes, read back from its work file.
    std::vector<unsigned char> HeaderBytes(CPatchDoc& doc)
    {
        EXPECT_TRUE(doc.WritePatchHeader());
        core.image.file.Close();
        return ReadFileBytes(doc.WorkFileName());
    }

    // A finished patch file with the given bytes standing in for the file records.
    void BuildPatch(CPatchDoc& doc, const std::vector<unsigned char>& records, uint16_t count)
    {
        ASSERT_TRUE(doc.WritePatchHeader());
        ASSERT_TRUE(core.image.file.Write(records.data(), records.size()));
        core.image.fileCount = count;
        ASSERT_TRUE(doc.FinishPatchFile(false));
    }

    std::string WriteStub(size_t size, unsigned mode = 0755)
    {
        std::string stub = dir.WriteBytes("prog/DvApply.exe", RandomBytes(size, 7));
        chmod(stub.c_str(), mode);
        return stub;
    }

    // Writes a patch file of the given bytes and reads its header as an apply does.
    bool ReadsHeader(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        dir.WriteBytes(name, bytes);
        CPatchDoc doc(core, dirDiff, dir / name);
        return doc.ReadPatchHeader();
    }

    size_t Shown() const { return prompt.Shown().size(); }
    const CPromptRecord& Last() const { return prompt.Shown().back(); }
};

TEST_F(ContainerTest, EmptyHeaderFieldsAndLimits)
{
    core.userName = std::string(70, 'N');
    core.userOrganization = std::string(70, 'O');
    core.settings.defaultFolder = "/srv/app";
    core.settings.dialogText = std::string(300, 'D');
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    std::vector<unsigned char> h = HeaderBytes(doc);
    EXPECT_EQ(doc.WorkFileName(), dir / "update.~dvp");

    ASSERT_EQ(h.size(), 732u);
    EXPECT_EQ(Field(h, 0, 64), "Delvorin_Version1abc.13");
    EXPECT_TRUE(AllZero(h, 23, 64));
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    EXPECT_EQ(static_cast<int32_t>(U32(h, 64)), local.tm_year + 1900 + local.tm_mon + 1 + local.tm_mday);
    EXPECT_EQ(Field(h, 68, 68), std::string(64, 'N'));
    EXPECT_EQ(Field(h, 136, 68), std::string(65, 'O'));
    EXPECT_EQ(Field(h, 204, 260), "/srv/app");
    EXPECT_EQ(Field(h, 464, 260), std::string(256, 'D'));
    EXPECT_TRUE(AllZero(h, 464 + 256, 724));
    EXPECT_EQ(U16(h, 724), 0); // RemoveCount
    EXPECT_EQ(U16(h, 726), 0); // FileCount
    EXPECT_EQ(U32(h, 728), 732u);
}

TEST_F(ContainerTest, RemoveEntriesAreStoredRelativeToTheDefaultFolder)
{
    core.settings.defaultFolder = "/srv/app";
    dirDiff.AddRemoveFile("/srv/app/sub/a.txt");
    dirDiff.AddRemoveFile("/srv/app/b.txt");
    dirDiff.AddRemoveFile("rel/c.txt"); // already relative to the target
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    std::vector<unsigned char> h = HeaderBytes(doc);

    ASSERT_EQ(h.size(), 732u + 3 * 260);
    EXPECT_EQ(U16(h, 724), 3);
    EXPECT_EQ(Field(h, 726, 260), "sub\\a.txt");
    EXPECT_EQ(Field(h, 726 + 260, 260), "b.txt");
    EXPECT_EQ(Field(h, 726 + 520, 260), "rel\\c.txt");
    EXPECT_EQ(U16(h, 726 + 780), 0);
    EXPECT_EQ(U32(h, 728 + 780), 732u + 780);

    // Without a default folder, entries below the build's old folder are stored relative to it.
    core.settings.defaultFolder.clear();
    CPatchDoc noDefault(core, dirDiff, dir / "other.dvp");
    noDefault.SetOldFolder("/srv/app/");
    h = HeaderBytes(noDefault);
    EXPECT_EQ(Field(h, 726, 260), "sub\\a.txt");
}

// An entry no apply could use is refused when the build starts, before any work file
// exists, and a file that merely has the work file's name is left alone.
TEST_F(ContainerTest, RemoveEntriesNoApplyCouldUseAreRefused)
{
    core.settings.defaultFolder = "/srv/app";
    dir.Write("update.~dvp", "the user's own file");
    const struct {
        const char* entry;
        const char* says;
    } cases[] = {
        {"/other/b.txt", "neither in the default apply folder nor in the old files folder"},
        {"/srv/apple/c.txt", "neither in the default apply folder nor in the old files folder"},
        {"/srv/app/../etc/passwd", "neither in the default apply folder nor in the old files folder"},
        {"/build/old/sub//x.txt", "neither in the default apply folder nor in the old files folder"},
        {"/build/old/sub\\x.txt", "holds a backslash"},
        {"../up.txt", "neither in the default apply folder nor in the old files folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        dirDiff.ClearRemoveList();
        dirDiff.AddRemoveFile("/srv/app/fine.txt");
        dirDiff.AddRemoveFile(c.entry);
        CPatchDoc doc(core, dirDiff, dir / "update.dvp");
        doc.SetOldFolder("/build/old");
        const size_t before = Shown();
        EXPECT_FALSE(doc.WritePatchHeader());
        doc.AbandonPatchFile(); // what a front end does after a failed start
        ASSERT_EQ(Shown(), before + 1);
        EXPECT_EQ(Last().title, "Delvorin Error");
        EXPECT_TRUE(Contains(Last().text, c.says));
        EXPECT_TRUE(Contains(Last().text, c.entry));
        EXPECT_EQ(ReadFileText(dir / "update.~dvp"), "the user's own file");
        EXPECT_FALSE(fsys::PathExists(dir / "update.dvp"));
    }
}

TEST_F(ContainerTest, RemoveEntriesOutsideTheDefaultFolderFallBackToTheOldFolderAndEmptyOnesAreLeftOut)
{
    // The choosers offer the old folder's files; with a default folder of the end user's
    // machine those entries are still stored relative, so an apply can use them.
    core.settings.defaultFolder = "/opt/product";
    dirDiff.AddRemoveFile("/build/old/sub/gone.txt");
    dirDiff.AddRemoveFile("");
    dirDiff.AddRemoveFile("/opt/product/also.txt");
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    doc.SetOldFolder("/build/old");
    std::vector<unsigned char> h = HeaderBytes(doc);

    ASSERT_EQ(h.size(), 732u + 2 * 260);
    EXPECT_EQ(U16(h, 724), 2);
    EXPECT_EQ(Field(h, 726, 260), "sub\\gone.txt");
    EXPECT_EQ(Field(h, 726 + 260, 260), "also.txt");
}

TEST_F(ContainerTest, RemoveEntryTooLongIsRefusedBeforeAnythingIsWritten)
{
    core.settings.defaultFolder = "/srv";
    dirDiff.AddRemoveFile("/srv/" + std::string(256, 'x')); // fits exactly
    CPatchDoc fits(core, dirDiff, dir / "fits.dvp");
    EXPECT_EQ(Field(HeaderBytes(fits), 726, 260), std::string(256, 'x'));

    dirDiff.AddRemoveFile("/srv/" + std::string(257, 'y'));
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    EXPECT_FALSE(doc.WritePatchHeader());
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().title, "Delvorin Error");
    EXPECT_TRUE(Contains(Last().text, std::string(257, 'y')));
    EXPECT_FALSE(fsys::PathExists(dir / "update.~dvp"));
}

TEST_F(ContainerTest, FinishedPatchIsGzipBehindZeroPrefixAndReadsBack)
{
    core.userName = "Pub";
    core.userOrganization = "Org";
    core.settings.defaultFolder = "/srv/app";
    core.settings.dialogText = "line one\nline two";
    dirDiff.AddRemoveFile("/srv/app/old/gone.txt");
    std::vector<unsigned char> records = RandomBytes(5000, 3);
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    BuildPatch(doc, records, 3);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_FALSE(fsys::PathExists(dir / "update.~dvp"));

    std::vector<unsigned char> file = ReadFileBytes(dir / "update.dvp");
    ASSERT_GT(file.size(), 18u);
    EXPECT_TRUE(AllZero(file, 0, 8));
    EXPECT_EQ(file[8], 0x1f);
    EXPECT_EQ(file[9], 0x8b);
    EXPECT_EQ(file[11] & 0x08, 0); // no file name in the gzip header
    std::vector<unsigned char> image = Gunzip(file.data() + 8, file.size() - 8);
    ASSERT_EQ(image.size(), 732u + 260 + records.size());
    EXPECT_EQ(U16(image, 986), 3);
    EXPECT_EQ(std::vector<unsigned char>(image.begin() + 992, image.end()), records);

    // Read back as an apply does.
    core.image.fileCount = 0;
    CDirDiff reader(core);
    CPatchDoc in(core, reader, dir / "update.dvp");
    ASSERT_TRUE(in.ReadPatchHeader());
    EXPECT_EQ(core.image.fileCount, 3);
    EXPECT_EQ(in.Header().publisherName, "Pub");
    EXPECT_EQ(in.Header().publisherOrganization, "Org");
    EXPECT_EQ(in.Header().defaultFolder, "/srv/app");
    EXPECT_EQ(in.Header().dialogText, "line one\nline two");
    EXPECT_EQ(in.Header().recordsOffset, 992u);
    EXPECT_EQ(in.FirstRecordPosition(), 992u);
    ASSERT_EQ(reader.RemoveCount(), 1u);
    EXPECT_EQ(reader.RemoveItem(0), "old/gone.txt");
    EXPECT_EQ(in.WorkFileName(), tempFolder + "tempUCPathc.dvp");
    EXPECT_EQ(in.AssembledFileName(), tempFolder + "AssyTempfile.tmp");
    unsigned char first[4];
    ASSERT_TRUE(core.image.file.ReadExact(first, 4));
    ASSERT_TRUE(in.RewindToFileRecords());
    EXPECT_EQ(core.image.file.Tell(), 992u);
    in.ClosePatchFile();
    EXPECT_FALSE(fsys::PathExists(in.WorkFileName()));
    EXPECT_FALSE(fsys::PathExists(in.AssembledFileName()));
}

TEST_F(ContainerTest, NoRecordsGivesTheIdenticalFoldersWarningAndNoFiles)
{
    dir.Write("update.dvp", "an older patch");
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    ASSERT_TRUE(doc.WritePatchHeader());
    EXPECT_FALSE(doc.FinishPatchFile(false));
    EXPECT_TRUE(ShowedOnly(prompt, {"The old file folder and the new file folder are identical.\nNo Delvorin file was "
                                    "created.",
                                    "Delvorin Warning", {}, {}, PromptIcon::Stop}));
    EXPECT_FALSE(fsys::PathExists(dir / "update.dvp"));
    EXPECT_FALSE(fsys::PathExists(dir / "update.~dvp"));
}

TEST_F(ContainerTest, AbandonedBuildLeavesNoWorkFile)
{
    {
        CPatchDoc doc(core, dirDiff, dir / "a.dvp");
        ASSERT_TRUE(doc.WritePatchHeader());
        EXPECT_TRUE(doc.FinishPatchFile(true));
        EXPECT_FALSE(fsys::PathExists(dir / "a.~dvp"));
    }
    {
        CPatchDoc doc(core, dirDiff, dir / "c.dvp"); // destroyed unfinished
        ASSERT_TRUE(doc.WritePatchHeader());
    }
    EXPECT_FALSE(fsys::PathExists(dir / "c.~dvp"));
    EXPECT_FALSE(core.image.file.IsOpen());
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(ContainerTest, WorkFileThatCannotBeCreatedFailsWithoutMessage)
{
    CPatchDoc doc(core, dirDiff, dir / "missing/update.dvp");
    EXPECT_FALSE(doc.WritePatchHeader());
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(ContainerTest, MagicIsComparedAsZeroTerminatedTextCaseSensitively)
{
    std::vector<unsigned char> image = MagicImage(732);
    std::memset(image.data() + 24, 0x55, 40); // bytes after the terminating zero
    image[728] = 0xdc; // RecordsOffset 732
    image[729] = 0x02;
    EXPECT_TRUE(ReadsHeader("ok.dvp", Concat(kZeroPrefix, Gzip(image))));

    image[0] = 'd';
    EXPECT_FALSE(ReadsHeader("case.dvp", Concat(kZeroPrefix, Gzip(image))));
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_FALSE(core.image.file.IsOpen());
    EXPECT_FALSE(fsys::PathExists(tempFolder + "tempUCPathc.dvp"));
}

TEST_F(ContainerTest, UncompressedImageBehindZeroPrefixReadsAsItself)
{
    std::vector<unsigned char> image = MagicImage(732 + 10);
    image[726] = 2;
    dir.WriteBytes("plain.dvp", Concat(kZeroPrefix, image));
    CPatchDoc doc(core, dirDiff, dir / "plain.dvp");
    ASSERT_TRUE(doc.ReadPatchHeader());
    EXPECT_EQ(core.image.fileCount, 2);
    EXPECT_EQ(ReadFileBytes(doc.WorkFileName()), image);
    doc.ClosePatchFile();
}

TEST_F(ContainerTest, DamagedHeadersAreRefused)
{
    // Magic right, header cut short; then a remove count that runs past the end.
    std::vector<unsigned char> image = MagicImage(700);
    EXPECT_FALSE(ReadsHeader("short.dvp", Concat(kZeroPrefix, Gzip(image))));
    ASSERT_EQ(Shown(), 1u);
    EXPECT_TRUE(Contains(Last().text, "damaged"));

    image.resize(732 + 260);
    image[724] = 0xff;
    image[725] = 0xff;
    EXPECT_FALSE(ReadsHeader("count.dvp", Concat(kZeroPrefix, Gzip(image))));
    EXPECT_EQ(Shown(), 2u);
    EXPECT_FALSE(core.image.file.IsOpen());
}

TEST_F(ContainerTest, TruncatedOrCorruptGzipIsRefused)
{
    std::vector<unsigned char> image = MagicImage(732);
    std::vector<unsigned char> records = RandomBytes(200000, 5);
    image.insert(image.end(), records.begin(), records.end());
    std::vector<unsigned char> gz = Gzip(image);

    EXPECT_FALSE(ReadsHeader("cut.dvp", Concat(kZeroPrefix, std::vector<unsigned char>(gz.begin(), gz.end() - 1000))));
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().title, "Delvorin Error");
    EXPECT_TRUE(Contains(Last().text, dir / "cut.dvp"));
    EXPECT_FALSE(fsys::PathExists(tempFolder + "tempUCPathc.dvp"));

    std::vector<unsigned char> corrupt = gz;
    for (size_t i = 100; i < 140; ++i)
        corrupt[i] ^= 0xa5;
    EXPECT_FALSE(ReadsHeader("corrupt.dvp", Concat(kZeroPrefix, corrupt)));
    EXPECT_EQ(Shown(), 2u);
    EXPECT_FALSE(fsys::PathExists(tempFolder + "tempUCPathc.dvp"));
}

TEST_F(ContainerTest, FullTemporaryFolderIsReported)
{
    if (!fsys::PathExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to stand in for a full disk";
    ASSERT_EQ(symlink("/dev/full", (tempFolder + "tempUCPathc.dvp").c_str()), 0);
    EXPECT_FALSE(ReadsHeader("update.dvp", Concat(kZeroPrefix, Gzip(MagicImage(732 + 100000)))));
    ASSERT_EQ(Shown(), 1u);
    EXPECT_TRUE(Contains(Last().text, "temporary folder could not be written"));
}

TEST_F(ContainerTest, CompressionFailuresAreReportedAndLeaveNoPatchFile)
{
    // A work file that cannot be read: the build fails, the program goes on.
    CPatchDoc doc(core, dirDiff, dir / "update.dvp");
    ASSERT_TRUE(doc.WritePatchHeader());
    core.image.file.Close();
    ASSERT_TRUE(fsys::DeleteFile(doc.WorkFileName()));
    ASSERT_TRUE(fsys::CreateFolder(doc.WorkFileName()));
    EXPECT_FALSE(doc.CompressWorkFile());
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().text.rfind("Error reading file:\n" + doc.WorkFileName() + "\nfor compression", 0), 0u);
    rmdir(doc.WorkFileName().c_str());

    // A patch file that cannot be written to the end (a full disk).
    if (fsys::PathExists("/dev/full")) {
        ASSERT_EQ(symlink("/dev/full", (dir / "full.dvp").c_str()), 0);
        CPatchDoc full(core, dirDiff, dir / "full.dvp");
        ASSERT_TRUE(full.WritePatchHeader());
        std::vector<unsigned char> records = RandomBytes(300000, 9);
        ASSERT_TRUE(core.image.file.Write(records.data(), records.size()));
        core.image.fileCount = 1;
        EXPECT_FALSE(full.FinishPatchFile(false));
        ASSERT_EQ(Shown(), 2u);
        EXPECT_EQ(Last().text, "Error writing file:\n" + (dir / "full.dvp") + "\nfor compression.");
        EXPECT_FALSE(fsys::PathExists(dir / "full.~dvp"));
    }
}

TEST_F(ContainerTest, PartNames)
{
    EXPECT_EQ(CPatchDoc::PartName("/d/update.dvp", 1), "/d/update.dv001");
    EXPECT_EQ(CPatchDoc::PartName("/d/update.dvp", 10), "/d/update.dv010");
    EXPECT_EQ(CPatchDoc::PartName("/d/update.dvp", 100), "/d/update.dv100");
    EXPECT_EQ(CPatchDoc::PartName("/d/update.exe", 2), "/d/update.dv002");
    EXPECT_EQ(CPatchDoc::PartName("/d/update", 1), "/d/update.dv001");
    EXPECT_EQ(CPatchDoc::PartName("/d.x/update", 1), "/d.x/update.dv001");
    EXPECT_EQ(CPatchDoc::PartName("/d/.patch", 1), "/d/.patch.dv001");
}

class SplitTest : public ContainerTest {
protected:
    // Splits a stand-in compressed stream of the given size and returns the file sizes.
    std::vector<unsigned char> stream;
    std::string patch = dir / "update.dvp";

    void Split(size_t size, uint16_t splitSize)
    {
        stream = RandomBytes(size, 11);
        stream[0] = 0x1f; // it starts like a gzip stream
        stream[1] = 0x8b;
        dir.WriteBytes("update.dvp", stream);
        core.settings.splitSize = splitSize;
        CPatchDoc doc(core, dirDiff, patch);
        ASSERT_TRUE(doc.SplitPatchFile());
        EXPECT_FALSE(fsys::PathExists(dir / "TempFile.tmp"));
    }

    // Joins the parts as an apply does and compares with the stream.
    void ExpectAssembles()
    {
        CPatchDoc doc(core, dirDiff, patch);
        ASSERT_TRUE(doc.AssemblePatchFile());
        EXPECT_EQ(ReadFileBytes(doc.AssembledFileName()), stream);
    }
};

// A million bytes at split size 720, and exactly the split size, which gives a second
// part of only its eight-byte prefix.
TEST_F(SplitTest, TwoPartsAtSplitSize720)
{
    for (const auto& [size, second] : {std::pair<size_t, size_t>{1000000, 280008}, {720000, 8}}) {
        SCOPED_TRACE(size);
        Split(size, 720);
        std::vector<unsigned char> first = ReadFileBytes(patch);
        ASSERT_EQ(first.size(), 720000u);
        EXPECT_EQ(U32(first, 0), 2u);
        EXPECT_EQ(U32(first, 4), 720000u);
        EXPECT_EQ(ReadFileBytes(dir / "update.dv001").size(), second);
        EXPECT_FALSE(fsys::PathExists(dir / "update.dv002"));
        ExpectAssembles();
    }
}

TEST_F(SplitTest, SmallerThanTheSplitSizeIsStoredWholeBehindZeroPrefix)
{
    Split(5000, 720);
    std::vector<unsigned char> file = ReadFileBytes(patch);
    EXPECT_EQ(file, Concat(kZeroPrefix, stream));
    EXPECT_FALSE(fsys::PathExists(dir / "update.dv001"));
    ExpectAssembles();

    Split(5000, 0);
    EXPECT_EQ(ReadFileBytes(patch), Concat(kZeroPrefix, stream));
}

TEST_F(SplitTest, MoreThan255PartsAreRefused)
{
    stream = RandomBytes(300000, 1);
    dir.WriteBytes("update.dvp", stream);
    core.settings.splitSize = 1;
    CPatchDoc doc(core, dirDiff, patch);
    EXPECT_FALSE(doc.SplitPatchFile());
    ASSERT_EQ(Shown(), 1u);
    EXPECT_TRUE(Contains(Last().text, "255"));
    EXPECT_FALSE(fsys::PathExists(patch));
    EXPECT_FALSE(fsys::PathExists(dir / "update.dv001"));

    // 255 parts exactly are fine.
    Split(255 * 1000 - 8, 1);
    EXPECT_EQ(U32(ReadFileBytes(patch), 0), 255u);
    EXPECT_TRUE(fsys::PathExists(dir / "update.dv254"));
    ExpectAssembles();
}

// Answers a part prompt by putting the part in place first, as a user would.
class RestoringPrompt : public IUserPrompt {
public:
    std::vector<CPromptRecord> shown;
    std::string from, to;
    PromptAnswer answer = PromptAnswer::OK;
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        shown.push_back({owner, text, title, buttons, icon});
        if (answer == PromptAnswer::OK && shown.size() == 2)
            fsys::RenameFile(from, to); // the second OK finds the part
        return answer;
    }
};

TEST_F(SplitTest, MissingPartIsAskedForUntilItIsThere)
{
    Split(3000, 1); // three parts
    ASSERT_TRUE(fsys::PathExists(dir / "update.dv002"));
    dir.MakeFolder("away");
    ASSERT_TRUE(fsys::RenameFile(dir / "update.dv002", dir / "away/update.dv002"));

    RestoringPrompt restoring;
    restoring.from = dir / "away/update.dv002";
    restoring.to = dir / "update.dv002";
    core.prompts = &restoring;
    ExpectAssembles();
    ASSERT_EQ(restoring.shown.size(), 2u);
    const CPromptRecord& p = restoring.shown[0];
    EXPECT_EQ(p.text, "Please put file update.dv002 into the folder " + dir.Path() + "/. Press OK when done.");
    EXPECT_EQ(p.title, "Delvorin Message");
    EXPECT_EQ(p.buttons, PromptButtons::OKCancel);
    EXPECT_EQ(p.owner, PromptOwner::MainWindow);

    // Cancel ends the reassembly without a further message.
    ASSERT_TRUE(fsys::RenameFile(dir / "update.dv002", dir / "away/update.dv002"));
    restoring.shown.clear();
    restoring.answer = PromptAnswer::Cancel;
    CPatchDoc doc(core, dirDiff, patch);
    EXPECT_FALSE(doc.AssemblePatchFile());
    EXPECT_EQ(restoring.shown.size(), 1u);
    core.prompts = &prompt;
}

TEST_F(ContainerTest, DisketteTextForDriveLetters)
{
    CPatchDoc doc(core, dirDiff, "A:/update.dvp");
    prompt.Script(PromptAnswer::Cancel);
    EXPECT_FALSE(doc.PromptForPart("a:/dist/update.dv002"));
    EXPECT_EQ(Last().text, "Please put the diskette with patch file update.dv002 into drive A:\nand press OK when done.");
    prompt.Script(PromptAnswer::OK);
    EXPECT_TRUE(doc.PromptForPart("Archive/update.dv002"));
    EXPECT_EQ(Last().text, "Please put file update.dv002 into the folder Archive/. Press OK when done.");
}

TEST_F(ContainerTest, ReassemblyRefusesShortAndMissingFiles)
{
    dir.Write("short.dvp", "12345");
    CPatchDoc shortDoc(core, dirDiff, dir / "short.dvp");
    EXPECT_FALSE(shortDoc.AssemblePatchFile());
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().title, "Delvorin Error");
    EXPECT_EQ(Last().icon, PromptIcon::None);

    // A missing file is left to the caller's one message, with the cause below it.
    CPatchDoc missing(core, dirDiff, dir / "none.dvp");
    EXPECT_FALSE(missing.ReadPatchHeader());
    EXPECT_EQ(Shown(), 1u);
    EXPECT_FALSE(missing.Reported());
    EXPECT_EQ(missing.WithFailureCause("Error opening patch file"),
              "Error opening patch file\n" + (dir / "none.dvp") + "\nNo such file or directory");

    // A file that is no patch, whose first byte reads as a count of three parts: what
    // follows its prefix is no gzip stream, so no part is asked for and the reader
    // leaves the message to its caller.
    dir.Write("notes.txt", "\x03 shopping list: bread, milk, a new folder tree\n");
    const size_t before = Shown();
    CPatchDoc notes(core, dirDiff, dir / "notes.txt");
    EXPECT_FALSE(notes.ReadPatchHeader());
    EXPECT_EQ(Shown(), before);
    EXPECT_FALSE(fsys::PathExists(notes.AssembledFileName()));
}

class SelfExtractTest : public ContainerTest {
protected:
    std::string program = dir / "update.exe";

    // A stand-in compressed patch: it starts like a gzip stream.
    std::vector<unsigned char> Stream(size_t size)
    {
        std::vector<unsigned char> s = RandomBytes(size, 21);
        s[0] = 0x1f;
        s[1] = 0x8b;
        return s;
    }
};

TEST_F(SelfExtractTest, LayoutBehindTheStub)
{
    WriteStub(40000);
    std::vector<unsigned char> stream = Stream(100000);
    dir.WriteBytes("update.exe", stream);
    CPatchDoc doc(core, dirDiff, program);
    ASSERT_TRUE(doc.MakeSelfExtracting());

    std::vector<unsigned char> out = ReadFileBytes(program);
    ASSERT_EQ(out.size(), 140026u);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 40000), RandomBytes(40000, 7));
    EXPECT_EQ(std::string(out.begin() + 40000, out.begin() + 40018), "@Amber@Opal@xyzzy@");
    EXPECT_TRUE(AllZero(out, 40018, 40026));
    EXPECT_EQ(std::vector<unsigned char>(out.begin() + 40026, out.end()), stream);
    unsigned mode = 0;
    ASSERT_TRUE(fsys::GetPermissions(program, mode));
    EXPECT_EQ(mode, 0755u);
    EXPECT_FALSE(fsys::PathExists(dir / "NewFile.tmp"));

    uint64_t marker = 0;
    ASSERT_TRUE(FindSelfExtractPayload(program, marker));
    EXPECT_EQ(marker, 40000u);
}

TEST_F(SelfExtractTest, SplitProgram)
{
    WriteStub(40000);
    std::vector<unsigned char> stream = Stream(960000);
    dir.WriteBytes("update.exe", stream);
    core.settings.splitSize = 720;
    CPatchDoc doc(core, dirDiff, program);
    ASSERT_TRUE(doc.MakeSelfExtracting());

    std::vector<unsigned char> first = ReadFileBytes(program);
    ASSERT_EQ(first.size(), 720000u);
    EXPECT_EQ(U32(first, 40018), 2u);
    EXPECT_EQ(U32(first, 40022), 720000u);
    std::vector<unsigned char> second = ReadFileBytes(dir / "update.dv001");
    ASSERT_EQ(second.size(), 280026u);
    std::vector<unsigned char> joined(first.begin() + 40026, first.end());
    joined.insert(joined.end(), second.begin(), second.end());
    EXPECT_EQ(joined, stream);

    CPatchDoc reader(core, dirDiff, program);
    ASSERT_TRUE(reader.AssemblePatchFile());
    EXPECT_EQ(ReadFileBytes(reader.AssembledFileName()), stream);
}

TEST_F(SelfExtractTest, RealPatchReadsBackFromTheProgram)
{
    WriteStub(40000);
    core.settings.splitSize = 41; // the first file holds the stub and about 1,000 bytes
    core.settings.dialogText = "Welcome";
    CPatchDoc doc(core, dirDiff, dir / "Update.EXE");
    doc.SetSelfExtract(true);
    BuildPatch(doc, RandomBytes(3000, 2), 1);
    EXPECT_TRUE(fsys::PathExists(dir / "Update.dv001"));

    core.image.fileCount = 0;
    CPatchDoc reader(core, dirDiff, dir / "Update.EXE");
    ASSERT_TRUE(reader.ReadPatchHeader());
    EXPECT_EQ(core.image.fileCount, 1);
    EXPECT_EQ(reader.Header().dialogText, "Welcome");
    EXPECT_EQ(core.image.file.Length(), 732u + 3000);
    reader.ClosePatchFile();
}

// Files that merely carry the usual names of a build's work files are never written or
// deleted, plain or self-extracting, split or not, and no work file stays behind.
TEST_F(SelfExtractTest, WorkFilesLeaveUserFilesOfTheirNamesAlone)
{
    const std::vector<std::string> mine = {"update.~dvp", "Update.~dvp", "TempFile.tmp", "NewFile.tmp"};
    for (const auto& name : mine)
        dir.Write(name, "mine: " + name);
    WriteStub(40000);
    const struct {
        const char* name;
        bool selfExtract;
        uint16_t split;
    } builds[] = {{"update.dvp", false, 0}, {"update.dvp", false, 2}, {"Update.EXE", true, 0}, {"Update.EXE", true, 41}};
    for (const auto& b : builds) {
        SCOPED_TRACE(std::string(b.name) + " " + std::to_string(b.split));
        core.settings.splitSize = b.split;
        CPatchDoc doc(core, dirDiff, dir / b.name);
        doc.SetSelfExtract(b.selfExtract);
        BuildPatch(doc, RandomBytes(3000, 2), 1);
        CPatchDoc reader(core, dirDiff, dir / b.name);
        reader.SetSelfExtract(b.selfExtract);
        ASSERT_TRUE(reader.ReadPatchHeader());
        EXPECT_EQ(core.image.file.Length(), 732u + 3000);
        reader.ClosePatchFile();
    }
    for (const auto& name : mine)
        EXPECT_EQ(ReadFileText(dir / name), "mine: " + name);
    std::vector<fsys::DirEntry> entries;
    ASSERT_TRUE(fsys::ListFolder(dir.Path(), entries));
    for (const auto& e : entries) {
        bool expected = e.name == "." || e.name == ".." || e.name == "prog" || e.name == "tmp" || e.name.rfind("update.dv", 0) == 0 ||
                        e.name.rfind("Update.", 0) == 0 ||
                        std::find(mine.begin(), mine.end(), e.name) != mine.end();
        EXPECT_TRUE(expected) << e.name;
    }
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(SelfExtractTest, ElfStubEndsWhereItsHeadersSay)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    std::string elf = bin ? std::string(bin) + "/delvorin-cli" : fsys::ProgramPath();
    std::vector<unsigned char> stub = ReadFileBytes(elf);
    ASSERT_GT(stub.size(), 64u);
    dir.WriteBytes("prog/DvApply.exe", stub);
    chmod((programFolder + "/DvApply.exe").c_str(), 0755);
    dir.WriteBytes("update.exe", Stream(5000));
    CPatchDoc doc(core, dirDiff, program);
    ASSERT_TRUE(doc.MakeSelfExtracting());
    uint64_t marker = 0;
    ASSERT_TRUE(FindSelfExtractPayload(program, marker));
    EXPECT_EQ(marker, stub.size());

    // A marker anywhere else is not taken.
    std::vector<unsigned char> moved = ReadFileBytes(program);
    moved.insert(moved.begin() + static_cast<long>(stub.size()), 4, 0);
    dir.WriteBytes("moved.exe", moved);
    EXPECT_FALSE(FindSelfExtractPayload(dir / "moved.exe", marker));
    CPatchDoc reader(core, dirDiff, dir / "moved.exe");
    EXPECT_FALSE(reader.AssemblePatchFile());
    EXPECT_TRUE(Contains(Last().text, "marker"));
}

TEST_F(SelfExtractTest, PeStubEndsAtItsLastSectionAndThePatchBeforeItsCertificates)
{
    const std::vector<unsigned char> stub = MinimalPeProgram(1024);
    dir.WriteBytes("prog/DvApply.exe", stub);
    const std::vector<unsigned char> stream = Stream(5000);
    dir.WriteBytes("update.exe", stream);
    CPatchDoc doc(core, dirDiff, program);
    ASSERT_TRUE(doc.MakeSelfExtracting());
    const std::vector<unsigned char> built = ReadFileBytes(program);
    uint64_t marker = 0, end = 0;
    ASSERT_TRUE(FindSelfExtractPayload(program, marker, end));
    EXPECT_EQ(marker, 1536u);
    EXPECT_EQ(end, built.size());

    // A certificate table behind the patch (as signing appends it, after padding to eight
    // bytes) is no part of the patch; one that the file cannot hold makes no program.
    auto withCertificate = [&](uint32_t at, uint32_t size) {
        std::vector<unsigned char> signedProgram = built;
        signedProgram.resize(at + 16, 0);
        const size_t entry = 0x40 + 4 + 20 + 112 + 4 * 8;
        for (int i = 0; i < 4; ++i) {
            signedProgram[entry + i] = static_cast<unsigned char>(at >> (8 * i));
            signedProgram[entry + 4 + i] = static_cast<unsigned char>(size >> (8 * i));
        }
        dir.WriteBytes("signed.exe", signedProgram);
        return dir / "signed.exe";
    };
    const uint32_t aligned = static_cast<uint32_t>((built.size() + 7) / 8 * 8);
    ASSERT_TRUE(FindSelfExtractPayload(withCertificate(aligned, 16), marker, end));
    EXPECT_EQ(end, aligned);
    CPatchDoc reader(core, dirDiff, dir / "signed.exe");
    ASSERT_TRUE(reader.AssemblePatchFile());
    std::vector<unsigned char> assembled = ReadFileBytes(reader.AssembledFileName());
    ASSERT_GE(assembled.size(), stream.size());
    EXPECT_EQ(std::vector<unsigned char>(assembled.begin(), assembled.begin() + static_cast<long>(stream.size())), stream);
    EXPECT_TRUE(AllZero(assembled, stream.size(), assembled.size())); // only the padding follows
    EXPECT_FALSE(FindSelfExtractPayload(withCertificate(aligned, 17), marker, end));
    EXPECT_FALSE(FindSelfExtractPayload(withCertificate(1000, 16), marker, end)); // inside the image

    // A marker anywhere but at the end of the last section is not taken.
    std::vector<unsigned char> moved = built;
    moved.insert(moved.begin() + 1536, 8, 0);
    dir.WriteBytes("moved.exe", moved);
    EXPECT_FALSE(FindSelfExtractPayload(dir / "moved.exe", marker));
}

TEST_F(SelfExtractTest, ProgramWithoutMarkerIsRefused)
{
    EXPECT_FALSE(ReadsHeader("plain.exe", RandomBytes(10000, 4)));
    uint64_t marker = 0;
    EXPECT_FALSE(FindSelfExtractPayload(dir / "plain.exe", marker));
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().title, "Delvorin Error");
}

TEST_F(SelfExtractTest, Refusals)
{
    // No stub: string 127, the compressed patch stays.
    std::vector<unsigned char> stream = Stream(5000);
    dir.WriteBytes("update.exe", stream);
    CPatchDoc doc(core, dirDiff, program);
    EXPECT_FALSE(doc.MakeSelfExtracting());
    ASSERT_EQ(Shown(), 1u);
    EXPECT_EQ(Last().text.rfind("Cannot find the file \"DvApply.exe\" in the Delvorin folder.\n", 0), 0u);
    EXPECT_EQ(Last().icon, PromptIcon::Stop);
    EXPECT_EQ(ReadFileBytes(program), stream);

    // A split size that cannot hold the stub, the marker and the prefix.
    WriteStub(40000);
    core.settings.splitSize = 40; // 40,000 <= 40,026
    EXPECT_FALSE(doc.MakeSelfExtracting());
    EXPECT_EQ(Shown(), 2u);
    EXPECT_TRUE(Contains(Last().text, "too small"));
    EXPECT_FALSE(fsys::PathExists(program));
    EXPECT_FALSE(fsys::PathExists(dir / "update.dv001"));

    // More than 255 parts.
    WriteStub(100);
    dir.WriteBytes("update.exe", Stream(300000));
    core.settings.splitSize = 1;
    EXPECT_FALSE(doc.MakeSelfExtracting());
    EXPECT_EQ(Shown(), 3u);
    EXPECT_TRUE(Contains(Last().text, "255"));
    EXPECT_FALSE(fsys::PathExists(dir / "update.dv001"));
}

} // namespace
