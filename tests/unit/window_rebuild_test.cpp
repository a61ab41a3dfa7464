// The window-at-a-time rebuild of large files must produce what applying every object to
// the whole file in turn produces, whatever the objects' order, overlaps and gaps, and
// must report a read that comes short or a write that fails.
#include "engine/apply/WindowRebuild.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

constexpr size_t kWindow = CWindowRebuild::kWindow;

// The whole-file rebuild: zeros, the old copies in order, then the new data in order.
std::vector<unsigned char> Reference(const std::vector<unsigned char>& old, const std::vector<unsigned char>& image,
                                     const std::vector<COldPatch>& olds, const std::vector<CNewPatch>& news,
                                     uint32_t newLength)
{
    std::vector<unsigned char> out(newLength, 0);
    for (const COldPatch& o : olds)
        std::memcpy(out.data() + o.newOffset, old.data() + o.oldOffset, o.length);
    for (const CNewPatch& n : news)
        std::memcpy(out.data() + n.newOffset, image.data() + n.dataPosition, n.length);
    return out;
}

class WindowRebuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = RandomBytes(3 * kWindow + 777, 11);
        image = RandomBytes(2 * kWindow, 12);
        oldFd = open(dir.WriteBytes("old", old).c_str(), O_RDONLY);
        imageFd = open(dir.WriteBytes("image", image).c_str(), O_RDONLY);
        ASSERT_GE(oldFd, 0);
        ASSERT_GE(imageFd, 0);
    }
    void TearDown() override
    {
        close(oldFd);
        close(imageFd);
    }

    // Runs the rebuild into memory; the writes must come a window at a time, in order.
    // With dataInMemory the new data come from the image's bytes in memory.
    bool Run(const std::vector<COldPatch>& olds, const std::vector<CNewPatch>& news, uint32_t newLength,
             std::vector<unsigned char>& out, uint32_t& sum, bool dataInMemory = false)
    {
        out.assign(newLength, 0xEE);
        uint64_t expectedOffset = 0;
        CWindowRebuild rebuild(olds, news, newLength);
        if (dataInMemory)
            rebuild.NewDataInMemory(image.data(), 0, image.size());
        const bool ok = rebuild.Run(CFileRef(oldFd), CFileRef(imageFd), window, [&](const unsigned char* data, size_t length,
                                                                 uint64_t offset) {
            EXPECT_EQ(offset, expectedOffset);
            EXPECT_TRUE(length == kWindow || offset + length == newLength);
            std::memcpy(out.data() + offset, data, length);
            expectedOffset += length;
            return true;
        });
        sum = rebuild.Sum();
        return ok;
    }

    CTestFolder dir;
    std::vector<unsigned char> old;
    std::vector<unsigned char> image;
    CByteBuffer window;
    int oldFd = -1;
    int imageFd = -1;
};

TEST_F(WindowRebuildTest, MatchesTheWholeFileRebuildForObjectsInAnyOrder)
{
    // Random objects of all sizes, in no particular order: they overlap each other, span
    // windows or end exactly at a window boundary, leave gaps, and some are empty.
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const uint32_t newLength = round == 0 ? 0 : static_cast<uint32_t>(random() % (4 * kWindow) + 1);
        std::vector<COldPatch> olds;
        std::vector<CNewPatch> news;
        // Every fourth round has hundreds of objects, as a thorough patch of a binary does.
        const int objects = newLength == 0 ? 0 : static_cast<int>(random() % (round % 4 == 3 ? 2000 : 30));
        for (int i = 0; i < objects; ++i) {
            const uint32_t maxLength = std::min<uint32_t>(newLength, random() % 2 ? 5000 : 2 * kWindow);
            uint32_t length = i % 9 == 0 ? 0 : static_cast<uint32_t>(random() % (maxLength + 1));
            uint32_t at = static_cast<uint32_t>(random() % (newLength - length + 1));
            if (i % 7 == 0 && newLength > kWindow) // ends on a window boundary
                at = static_cast<uint32_t>(kWindow) - std::min<uint32_t>(length, kWindow);
            if (random() % 2) {
                length = std::min<uint32_t>(length, static_cast<uint32_t>(old.size()));
                COldPatch o;
                o.oldOffset = static_cast<uint32_t>(random() % (old.size() - length + 1));
                o.newOffset = at;
                o.length = length;
                olds.push_back(o);
            } else {
                length = std::min<uint32_t>(length, static_cast<uint32_t>(image.size()));
                CNewPatch n;
                n.newOffset = at;
                n.length = length;
                n.dataPosition = random() % (image.size() - length + 1);
                news.push_back(n);
            }
        }
        std::vector<unsigned char> out;
        uint32_t sum = 0;
        ASSERT_TRUE(Run(olds, news, newLength, out, sum, round % 2 == 1)) << round;
        const std::vector<unsigned char> expected = Reference(old, image, olds, news, newLength);
        ASSERT_EQ(out, expected) << "round " << round;
        EXPECT_EQ(sum, ByteSum(expected.data(), expected.size())) << round;
    }
}

TEST_F(WindowRebuildTest, ShortReadsAndFailedWritesAreReported)
{
    const uint32_t newLength = static_cast<uint32_t>(2 * kWindow);
    // An old copy that runs past the end of the old file (the file shrank since its check).
    std::vector<COldPatch> olds(1);
    olds[0].oldOffset = static_cast<uint32_t>(old.size() - 10);
    olds[0].newOffset = static_cast<uint32_t>(kWindow + 5);
    olds[0].length = 20;
    std::vector<unsigned char> out;
    uint32_t sum = 0;
    EXPECT_FALSE(Run(olds, {}, newLength, out, sum));

    // New data past the end of the image.
    std::vector<CNewPatch> news(1);
    news[0].newOffset = 0;
    news[0].length = 100;
    news[0].dataPosition = image.size() - 50;
    EXPECT_FALSE(Run({}, news, newLength, out, sum));

    // A write that fails ends the rebuild at once.
    int writes = 0;
    CWindowRebuild rebuild({}, {}, newLength);
    EXPECT_FALSE(rebuild.Run(CFileRef(oldFd), CFileRef(imageFd), window, [&](const unsigned char*, size_t, uint64_t) {
        ++writes;
        return false;
    }));
    EXPECT_EQ(writes, 1);
}

} // namespace
