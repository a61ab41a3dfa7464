// Reading ahead for a build: which pairs the helpers read and which they leave to the
// build, and the order in which the build takes them.
#include "engine/common/FileContent.h"
#include "engine/build/FilePrefetch.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

std::string Text(const CFileContent& content)
{
    return std::string(reinterpret_cast<const char*>(content.data()), content.size());
}

TEST(FilePrefetchTest, ReadsSmallPairsAndLeavesEverythingElseToTheBuild)
{
    CTestFolder dir;
    dir.WritePair("a.txt", "old a", "new a, longer");
    dir.Write("new/fresh.txt", "only new");
    dir.WritePair("empty.txt", "", "");

    auto pair = CFilePrefetch::ReadPair(dir / "old/a.txt", dir / "new/a.txt");
    ASSERT_TRUE(pair);
    EXPECT_TRUE(pair->oldFile.present);
    EXPECT_EQ(Text(pair->oldFile.content), "old a");
    EXPECT_EQ(pair->oldFile.length, 5u);
    EXPECT_EQ(Text(pair->newFile.content), "new a, longer");
    EXPECT_NE(pair->newFile.times.lastWrite, 0u);

    // No old file: a new file, with no old times.
    pair = CFilePrefetch::ReadPair(dir / "old/fresh.txt", dir / "new/fresh.txt");
    ASSERT_TRUE(pair);
    EXPECT_FALSE(pair->oldFile.present);
    EXPECT_EQ(pair->oldFile.times.lastWrite, 0u);
    EXPECT_EQ(Text(pair->newFile.content), "only new");

    pair = CFilePrefetch::ReadPair(dir / "old/empty.txt", dir / "new/empty.txt");
    ASSERT_TRUE(pair);
    EXPECT_TRUE(pair->oldFile.present && pair->oldFile.content.empty() && pair->newFile.content.empty());

    // Left to the build, which maps large files and reports what it cannot read: a new
    // file that is missing, large or a named pipe (not waited on), an old one that is
    // large or a folder.
    dir.WriteBytes("new/large.bin", RandomBytes(CFileContent::kMapFrom, 3));
    dir.WriteBytes("old/large.bin", RandomBytes(CFileContent::kMapFrom + 1, 4));
    ASSERT_EQ(mkfifo((dir / "new/pipe").c_str(), 0600), 0);
    dir.MakeFolder("old/folder");
    dir.Write("new/folder", "a file where the old tree has a folder");
    EXPECT_FALSE(CFilePrefetch::ReadPair(dir / "old/nothing", dir / "new/nothing"));
    EXPECT_FALSE(CFilePrefetch::ReadPair(dir / "old/large.bin", dir / "new/large.bin"));
    EXPECT_FALSE(CFilePrefetch::ReadPair(dir / "old/a.txt", dir / "new/pipe"));
    EXPECT_FALSE(CFilePrefetch::ReadPair(dir / "old/large.bin", dir / "new/a.txt"));
    EXPECT_FALSE(CFilePrefetch::ReadPair(dir / "old/folder", dir / "new/folder"));
}

TEST(FilePrefetchTest, ItemsComeInOrderWhateverTheBuildSkips)
{
    CTestFolder dir;
    constexpr size_t kCount = 700; // several runs of the helpers and more than they read ahead
    for (size_t i = 0; i < kCount; ++i)
        dir.Write("new/" + std::to_string(i), "file " + std::to_string(i));
    auto pairOf = [&](size_t index, std::string& oldPath, std::string& newPath) {
        if (index % 7 == 3)
            return false; // skipped by the build, like an excluded file
        oldPath = dir / ("old/" + std::to_string(index));
        newPath = dir / ("new/" + std::to_string(index));
        return true;
    };
    CFilePrefetch prefetch(kCount, pairOf);
    // Time for the helpers to start and read ahead, as they do while a build reads and
    // differences its first files.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t readAhead = 0;
    for (size_t i = 0; i < kCount; i += (i % 5 == 0 ? 3 : 1)) {
        if (i % 7 == 3)
            continue;
        std::unique_ptr<CPrefetchedPair> pair = prefetch.Take(i);
        if (pair) {
            ++readAhead;
        } else {
            // The build reads this one itself.
            pair = CFilePrefetch::ReadPair(dir / ("old/" + std::to_string(i)), dir / ("new/" + std::to_string(i)));
            ASSERT_TRUE(pair);
        }
        EXPECT_EQ(Text(pair->newFile.content), "file " + std::to_string(i));
        EXPECT_FALSE(pair->oldFile.present);
    }
    EXPECT_GT(readAhead, 0u);

    // A build that stops early (a cancel, an error) ends the helpers without waiting for
    // the rest; a single item needs no helpers at all.
    {
        CFilePrefetch stopped(kCount, pairOf);
        stopped.Take(0);
    }
    CFilePrefetch single(1, pairOf);
    EXPECT_FALSE(single.Take(0));
}

} // namespace
