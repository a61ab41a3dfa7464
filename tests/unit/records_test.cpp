// File records: the exact bytes the writer produces, what the reader accepts, how it
// refuses damaged records, and the copies an apply makes with the patch objects.
#include "app/AppCore.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/Sha256.h"
#include "platform/ScriptedPrompt.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using image::Record;

// A record's bytes, written field by field independently of the engine's writer, so
// that a test can damage any one field.
std::vector<unsigned char> Bytes(const Record& r)
{
    const std::string bytes = r.Bytes();
    return {bytes.begin(), bytes.end()};
}

// A changed file "sub/dir/x.bin": old "0123456789", new "01234ab56789" + "XY".
Record ChangedRecord()
{
    Record r;
    r.storedName = "sub\\dir\\x.bin";
    r.oldSum = 525;
    r.newSum = 1000;
    r.oldLength = 10;
    r.newLength = 14;
    r.creation = 0x0102030405060708ULL;
    r.lastAccess = 0x1112131415161718ULL;
    r.lastWrite = 0x2122232425262728ULL;
    r.olds = {{0, 0, 5}, {5, 7, 5}};
    r.news = {{5, "ab"}, {12, "XY"}};
    return r;
}

class RecordsTest : public ::testing::Test {
protected:
    CTestFolder folder;
    CScriptedPrompt prompt;
    CAppCore core{&prompt, folder.Path(), folder.Path() + "/"};

    std::string ImagePath() const { return folder / "image.bin"; }

    void OpenImageForWriting() { ASSERT_TRUE(core.image.file.Open(ImagePath(), CBinFile::Mode::CreateAlways)); }
    std::vector<unsigned char> CloseAndReadImage()
    {
        EXPECT_TRUE(core.image.file.Close());
        return ReadFileBytes(ImagePath());
    }
    // Puts bytes into the image and opens it for reading at the start.
    void UseImage(const std::vector<unsigned char>& bytes)
    {
        core.image.file.Close();
        folder.WriteBytes("image.bin", bytes);
        ASSERT_TRUE(core.image.file.Open(ImagePath(), CBinFile::Mode::Read));
    }
    // Reads one record from bytes; on failure returns the one message shown.
    std::string ReadFailure(const std::vector<unsigned char>& bytes)
    {
        UseImage(bytes);
        prompt.Clear();
        CFilePatch r(core);
        EXPECT_FALSE(r.ReadWrite(false));
        EXPECT_EQ(prompt.Shown().size(), 1u);
        if (prompt.Shown().size() != 1)
            return "";
        const CPromptRecord& shown = prompt.Shown()[0];
        EXPECT_EQ(shown.title, "Delvorin");
        EXPECT_EQ(shown.owner, PromptOwner::MainWindow);
        EXPECT_EQ(shown.buttons, PromptButtons::OK);
        return shown.text;
    }
};

TEST_F(RecordsTest, WorkedExampleIsWrittenByteForByte)
{
    OpenImageForWriting();
    CFilePatch r(core);
    r.name = "a.txt";
    r.newFileFlag = 1;
    r.newContent = {'a', 'b', 'c'};
    r.newLength = 3;
    r.newByteSum = ByteSum(r.newContent.data(), 3);
    r.newTimes = {0x0102030405060708ULL, 0x1112131415161718ULL, 0x2122232425262728ULL};
    r.newPatches.push_back(CNewPatch{0, 3, 0});
    ASSERT_TRUE(r.ReadWrite(true));
    EXPECT_EQ(r.newByteSum, 294u);
    EXPECT_EQ(r.oldCopyCount, 0u);
    EXPECT_EQ(r.newDataCount, 1u);

    const std::vector<unsigned char> expected = {
        0x66, 0x69, 0x6C, 0x65, 0, 0, 0, 0,             // check block
        0x06, 0x00,                                     // L
        0x61, 0x2E, 0x74, 0x78, 0x74, 0x00,             // a.txt
        1, 0, 0, 0,                                     // new file
        0, 0, 0, 0,                                     // old byte sum
        0x26, 0x01, 0, 0,                               // new byte sum 294
        0, 0, 0, 0,                                     // old length
        3, 0, 0, 0,                                     // new length
        8, 7, 6, 5, 4, 3, 2, 1,                         // creation, low half first
        0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11, // last access
        0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21, // last write
        0, 0, 0, 0,                                     // N_old
        1, 0, 0, 0,                                     // N_new
        0x6E, 0x65, 0x77, 0x70, 0x74, 0x63, 0x68, 0x00, // newptch
        0, 0, 0, 0,                                     // new offset
        3, 0, 0, 0,                                     // length
        0x61, 0x62, 0x63};
    std::vector<unsigned char> written = CloseAndReadImage();
    EXPECT_EQ(written.size(), 87u);
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(RecordsTest, RoundTripOfBothObjectKindsAndDataPositions)
{
    const Record raw = ChangedRecord();
    OpenImageForWriting();
    CFilePatch w(core);
    w.name = "sub/dir/x.bin"; // stored with backslashes
    w.oldByteSum = raw.oldSum;
    w.newByteSum = raw.newSum;
    w.oldLength = raw.oldLength;
    w.newLength = raw.newLength;
    w.newTimes = {raw.creation, raw.lastAccess, raw.lastWrite};
    w.oldTimes = {1, 2, 3}; // not stored
    const std::string newText = "01234ab56789XY";
    w.newContent.assign(newText.begin(), newText.end());
    for (const auto& o : raw.olds)
        w.oldPatches.push_back(COldPatch{o.oldOffset, o.newOffset, o.length});
    for (const auto& n : raw.news)
        w.newPatches.push_back(CNewPatch{n.newOffset, static_cast<uint32_t>(n.bytes.size()), 0});
    ASSERT_TRUE(w.ReadWrite(true));
    // A second record right behind it: an unchanged file with no objects.
    CFilePatch empty(core);
    empty.name = "same.txt";
    empty.oldLength = empty.newLength = 4;
    ASSERT_TRUE(empty.ReadWrite(true));
    std::vector<unsigned char> image = CloseAndReadImage();

    std::vector<unsigned char> first = Bytes(raw);
    ASSERT_GE(image.size(), first.size());
    EXPECT_EQ(std::vector<unsigned char>(image.begin(), image.begin() + first.size()), first);

    UseImage(image);
    CFilePatch r(core);
    r.oldPatches.push_back(COldPatch{9, 9, 9}); // replaced by the read
    ASSERT_TRUE(r.ReadWrite(false));
    EXPECT_EQ(r.name, "sub/dir/x.bin");
    EXPECT_EQ(r.newFileFlag, 0u);
    EXPECT_EQ(r.oldByteSum, raw.oldSum);
    EXPECT_EQ(r.newByteSum, raw.newSum);
    EXPECT_EQ(r.oldLength, 10u);
    EXPECT_EQ(r.newLength, 14u);
    EXPECT_EQ(r.newTimes.creation, raw.creation);
    EXPECT_EQ(r.newTimes.lastAccess, raw.lastAccess);
    EXPECT_EQ(r.newTimes.lastWrite, raw.lastWrite);
    EXPECT_EQ(r.oldCopyCount, 2u);
    EXPECT_EQ(r.newDataCount, 2u);
    ASSERT_EQ(r.oldPatches.size(), 2u);
    EXPECT_EQ(r.oldPatches[1].oldOffset, 5u);
    EXPECT_EQ(r.oldPatches[1].newOffset, 7u);
    EXPECT_EQ(r.oldPatches[1].length, 5u);
    ASSERT_EQ(r.newPatches.size(), 2u);
    // A data position is just after the object's length field.
    const uint64_t objectsStart = 8 + 2 + raw.storedName.size() + 1 + 52 + 2 * 20;
    EXPECT_EQ(r.newPatches[0].dataPosition, objectsStart + 16);
    EXPECT_EQ(r.newPatches[1].dataPosition, objectsStart + 16 + 2 + 16);
    EXPECT_EQ(r.newPatches[1].newOffset, 12u);
    // The image is left at the next record, which reads as a record without objects.
    EXPECT_EQ(core.image.file.Tell(), first.size());
    CFilePatch next(core);
    ASSERT_TRUE(next.ReadWrite(false));
    EXPECT_EQ(next.name, "same.txt");
    EXPECT_TRUE(next.oldPatches.empty());
    EXPECT_TRUE(next.newPatches.empty());
    EXPECT_EQ(core.image.file.Tell(), image.size());
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(RecordsTest, EmptyNewDataObjectAndLooseCheckBlockRead)
{
    Record raw;
    raw.storedName = "a.txt";
    raw.checkBlock = std::string("file\0xyz", 8); // only "file" and its zero byte count
    raw.newFile = 1;
    raw.news = {{0, ""}};
    std::vector<unsigned char> bytes = Bytes(raw);
    EXPECT_EQ(bytes.size(), 8 + 2 + 6 + 52 + 16u);
    UseImage(bytes);
    CFilePatch r(core);
    ASSERT_TRUE(r.ReadWrite(false));
    EXPECT_EQ(r.name, "a.txt");
    EXPECT_EQ(r.newFileFlag, 1u);
    ASSERT_EQ(r.newPatches.size(), 1u);
    EXPECT_EQ(r.newPatches[0].length, 0u);
    EXPECT_EQ(r.newPatches[0].dataPosition, bytes.size());
    EXPECT_EQ(core.image.file.Tell(), bytes.size());
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(RecordsTest, ReaderRefusesDamagedRecords)
{
    const std::string damaged = "The patch file is damaged:\n";
    struct Case {
        const char* what;
        std::function<void(Record&)> damage;
        std::string message; // exact, or a prefix when it ends in '\n'
    };
    const std::vector<Case> cases = {
        {"check block", [](Record& r) { r.checkBlock = std::string("fil\0\0\0\0\0", 8); },
         "Check block error occurred reading patch file!"},
        {"check block without zero", [](Record& r) { r.checkBlock = "filesxyz"; },
         "Check block error occurred reading patch file!"},
        {"old tag", [](Record& r) { r.olds[1].tag = std::string("oldptcx\0", 8); },
         "OldPatch Error occurred reading patch file!"},
        {"old tag last byte", [](Record& r) { r.olds[0].tag = "oldptch!"; },
         "OldPatch Error occurred reading patch file!"},
        {"new tag", [](Record& r) { r.news[0].tag = std::string("NEWPTCH\0", 8); },
         "NewPatch Error occurred reading patch file!"},
        {"name length 0", [](Record& r) { r.nameField = 0; }, damaged},
        {"name length 261", [](Record& r) { r.nameField = 261; r.storedName = std::string(260, 'n'); }, damaged},
        {"name length 65535", [](Record& r) { r.nameField = 65535; }, damaged},
        {"name without zero",
         [](Record& r) { r.nameZero = false; r.nameField = static_cast<uint16_t>(r.storedName.size()); },
         damaged + "A file name has no terminating zero byte."},
        {"huge old count", [](Record& r) { r.oldCount = 0xFFFFFFFF; }, damaged},
        {"huge new count", [](Record& r) { r.newCount = 0xFFFFFFFF; }, damaged},
        {"one object too many", [](Record& r) { r.newCount = 3; }, damaged},
        {"old range past old length", [](Record& r) { r.olds[1].length = 6; }, damaged},
        {"old range past new length", [](Record& r) { r.olds[1].newOffset = 10; }, damaged},
        {"old offset wraps 32 bits", [](Record& r) { r.olds[0].oldOffset = 0xFFFFFFFE; }, damaged},
        {"new range past new length", [](Record& r) { r.news[1].newOffset = 13; }, damaged},
        {"new offset wraps 32 bits", [](Record& r) { r.news[1].newOffset = 0xFFFFFFFF; }, damaged},
        {"new data past the image", [](Record& r) { r.newLength = 0x7FFFFFFF; r.news[1].length = 0x10000000; },
         damaged + "A file record runs past the end of the patch file."},
        {"new file with old-copy objects", [](Record& r) { r.newFile = 1; }, damaged},
        {"unknown new-file flag", [](Record& r) { r.newFile = 2; }, damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record raw = ChangedRecord();
        c.damage(raw);
        std::string text = ReadFailure(Bytes(raw));
        if (c.message.back() == '\n')
            EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
        else
            EXPECT_EQ(text, c.message);
    }
}

TEST_F(RecordsTest, EveryTruncationIsRefusedAsPastTheEnd)
{
    const std::vector<unsigned char> whole = Bytes(ChangedRecord());
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::string text = ReadFailure(std::vector<unsigned char>(whole.begin(), whole.begin() + cut));
        EXPECT_EQ(text.rfind("The patch file is damaged:\n", 0), 0u) << text;
    }
}

TEST_F(RecordsTest, WriterRefusesNamesItCannotStore)
{
    OpenImageForWriting();
    CFilePatch r(core);
    r.newFileFlag = 1;

    r.name = "dir/back\\slash.txt";
    EXPECT_FALSE(r.ReadWrite(true));
    r.name = std::string(260, 'n');
    EXPECT_FALSE(r.ReadWrite(true));
    ASSERT_EQ(prompt.Shown().size(), 2u);
    EXPECT_TRUE(Contains(prompt.Shown()[0].text, "dir/back\\slash.txt"));
    EXPECT_TRUE(Contains(prompt.Shown()[1].text, std::string(260, 'n')));
    EXPECT_EQ(prompt.Shown()[1].title, "Delvorin");

    r.name = std::string(259, 'n'); // the longest name that fits
    EXPECT_TRUE(r.ReadWrite(true));
    std::vector<unsigned char> image = CloseAndReadImage();
    EXPECT_EQ(image.size(), 8 + 2 + 260 + 52u);
    EXPECT_EQ(image[8], 4); // 260 = 0x0104
    EXPECT_EQ(image[9], 1);
    EXPECT_EQ(prompt.Shown().size(), 2u);
}

TEST_F(RecordsTest, FailedWritesAndInconsistentObjectsAreReported)
{
    CFilePatch r(core);
    r.name = "a.txt";
    r.newFileFlag = 1;
    r.newContent = {'a'};
    r.newLength = 1;
    r.newPatches.push_back(CNewPatch{0, 1, 0});
    EXPECT_FALSE(r.ReadWrite(true)); // no image open
    OpenImageForWriting();
    r.newPatches[0].length = 2;      // beyond the new content
    EXPECT_FALSE(r.ReadWrite(true));
    r.newPatches[0].length = 1;
    r.oldPatches.push_back(COldPatch{0, 0, 1}); // a new file copies nothing from an old one
    EXPECT_FALSE(r.ReadWrite(true));
    ASSERT_EQ(prompt.Shown().size(), 3u);
    for (const auto& shown : prompt.Shown())
        EXPECT_EQ(shown.text, "Error writing patch file!");
    EXPECT_TRUE(CloseAndReadImage().empty());
}

class ApplyToTest : public RecordsTest {
protected:
    std::vector<unsigned char> Rebuilt() { return ReadFileBytes(folder / "out.bin"); }
};

TEST_F(ApplyToTest, OldCopyObjectsAreCopiedInChunks)
{
    const std::vector<unsigned char> old = RandomBytes(200000, 7);
    folder.WriteBytes("old.bin", old);
    for (uint32_t length : {0u, 1u, 63999u, 64000u, 64001u, 128000u, 150001u}) {
        SCOPED_TRACE(length);
        CBinFile oldFile, out;
        ASSERT_TRUE(oldFile.Open(folder / "old.bin", CBinFile::Mode::Read));
        ASSERT_TRUE(out.Open(folder / "out.bin", CBinFile::Mode::CreateAlways));
        std::vector<unsigned char> buffer(CFilePatch::kCopyBufferSize);
        COldPatch o{40000, 3, length};
        ASSERT_TRUE(o.ApplyTo(oldFile, out, buffer));
        EXPECT_EQ(buffer.size(), CFilePatch::kCopyBufferSize);
        ASSERT_TRUE(out.Close());
        std::vector<unsigned char> got = Rebuilt();
        ASSERT_EQ(got.size(), length == 0 ? 0u : length + 3u);
        EXPECT_TRUE(std::equal(got.begin() + (length ? 3 : 0), got.end(), old.begin() + 40000));
    }
    // A range the old file does not hold fails instead of writing short.
    CBinFile oldFile, out;
    ASSERT_TRUE(oldFile.Open(folder / "old.bin", CBinFile::Mode::Read));
    ASSERT_TRUE(out.Open(folder / "out.bin", CBinFile::Mode::CreateAlways));
    std::vector<unsigned char> buffer;
    EXPECT_FALSE((COldPatch{150000, 0, 64001}.ApplyTo(oldFile, out, buffer)));
}

TEST_F(ApplyToTest, NewDataObjectsCopyFromTheImageAndRestoreItsPosition)
{
    std::vector<unsigned char> image(10);
    const std::vector<unsigned char> data = RandomBytes(130001, 3);
    image.insert(image.end(), data.begin(), data.end());
    image.resize(image.size() + 20, 0xEE);
    UseImage(image);
    ASSERT_TRUE(core.image.file.Seek(5));
    for (uint32_t length : {64000u, 64001u, 130001u}) {
        SCOPED_TRACE(length);
        CBinFile out;
        ASSERT_TRUE(out.Open(folder / "out.bin", CBinFile::Mode::CreateAlways));
        std::vector<unsigned char> buffer(CFilePatch::kCopyBufferSize);
        CNewPatch n{2, length, 10};
        ASSERT_TRUE(n.ApplyTo(core.image.file, out, buffer));
        EXPECT_EQ(core.image.file.Tell(), 5u);
        ASSERT_TRUE(out.Close());
        std::vector<unsigned char> got = Rebuilt();
        ASSERT_EQ(got.size(), length + 2u);
        EXPECT_TRUE(std::equal(got.begin() + 2, got.end(), data.begin()));
    }
    CBinFile out;
    ASSERT_TRUE(out.Open(folder / "out.bin", CBinFile::Mode::CreateAlways));
    std::vector<unsigned char> buffer(CFilePatch::kCopyBufferSize);
    EXPECT_FALSE((CNewPatch{0, 200000, 10}.ApplyTo(core.image.file, out, buffer)));
    EXPECT_EQ(core.image.file.Tell(), 5u);
}

TEST(RecordTest, NeedsRecordLooksAtSumsAndTimes)
{
    CAppCore core(nullptr, "/tmp", "/tmp/");
    CFilePatch r(core);
    r.oldByteSum = r.newByteSum = 77;
    r.oldTimes = r.newTimes = {10, 20, 30};
    EXPECT_FALSE(r.NeedsRecord());
    r.newTimes.creation = 11; // the creation time is not looked at
    EXPECT_FALSE(r.NeedsRecord());
    r.newFileFlag = 1;
    EXPECT_TRUE(r.NeedsRecord());
    r.newFileFlag = 0;
    r.newTimes.lastAccess = 20 + (1ULL << 32); // all 64 bits count
    EXPECT_TRUE(r.NeedsRecord());
    r.newTimes.lastAccess = 20;
    r.newTimes.lastWrite = 31;
    EXPECT_TRUE(r.NeedsRecord());
    r.newTimes.lastWrite = 30;
    r.newByteSum = 78;
    EXPECT_TRUE(r.NeedsRecord());
    // Same sums and times, but the differencing found other content.
    r.newByteSum = 77;
    r.newPatches.push_back(CNewPatch{0, 5, 0});
    EXPECT_TRUE(r.NeedsRecord());
}

TEST(RecordTest, ByteSumWrapsAt32Bits)
{
    const unsigned char abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(ByteSum(abc, 3), 294u);
    EXPECT_EQ(ByteSum(abc, 0), 0u);
    // Every length and alignment against a byte-by-byte sum.
    const std::vector<unsigned char> random = RandomBytes(5000, 11);
    for (size_t start : {0u, 1u, 7u})
        for (size_t length = 0; length + start <= random.size(); length += length < 40 ? 1 : 331) {
            uint32_t expected = 0;
            for (size_t i = start; i < start + length; ++i)
                expected += random[i];
            ASSERT_EQ(ByteSum(random.data() + start, length), expected) << start << " " << length;
        }
    // 2^32 / 255 + 1 bytes of 0xFF pass 2^32 once.
    const size_t n = (1ULL << 32) / 255 + 1;
    std::vector<unsigned char> ff(n, 0xFF);
    EXPECT_EQ(ByteSum(ff.data(), n), static_cast<uint32_t>(uint64_t{n} * 255));
}

// The strong checks must be the standard SHA-256, whichever compression the processor
// allows: known digests, across the padding boundaries and pieces of every size.
TEST(RecordTest, Sha256GivesTheStandardDigests)
{
    auto hex = [](const CSha256::Digest& d) {
        std::string out;
        for (unsigned char b : d)
            out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
        return out;
    };
    auto of = [&](const std::string& s) {
        return hex(CSha256::Of(reinterpret_cast<const unsigned char*>(s.data()), s.size()));
    };
    EXPECT_EQ(of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(of(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const std::vector<unsigned char> random = RandomBytes(5000, 12);
    const CSha256::Digest whole = CSha256::Of(random.data(), random.size());
    for (size_t piece : {1u, 55u, 63u, 64u, 65u, 1000u}) {
        CSha256 hash;
        for (size_t at = 0; at < random.size(); at += piece)
            hash.Update(random.data() + at, std::min(piece, random.size() - at));
        EXPECT_EQ(hash.Final(), whole) << piece;
    }
}

} // namespace
