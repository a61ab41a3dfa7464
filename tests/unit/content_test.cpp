// The fast paths of the differencing must give exactly what the plain ones give: the
// gap statistics scanned in stretches and threads, and file contents that are mapped
// rather than read, including a file that shrinks while it is mapped.
#include "app/AppCore.h"
#include "engine/common/CFilePatch.h"
#include "engine/apply/Verification.h"
#include "platform/ScriptedPrompt.h"
#include "engine/common/FileContent.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The statistics the way they are defined: one pass, one byte at a time.
void PlainGapStatistics(const unsigned char* data, size_t length, CGapStats stats[256])
{
    int64_t last[256];
    uint64_t count[256] = {};
    uint64_t squares[256] = {};
    for (auto& l : last)
        l = -1;
    for (size_t i = 0; i < length; ++i) {
        unsigned b = data[i];
        uint64_t gap = static_cast<uint64_t>(static_cast<int64_t>(i) - last[b]);
        squares[b] += gap * gap;
        ++count[b];
        last[b] = static_cast<int64_t>(i);
    }
    for (int b = 0; b < 256; ++b) {
        CGapStats& s = stats[b];
        double gap = static_cast<double>(static_cast<int64_t>(length) - last[b]);
        s.numberOfGaps = count[b] + 1;
        s.sumOfGaps = length + 1;
        s.sumOfSquares = static_cast<double>(squares[b]) + gap * gap;
        s.lastPosition = last[b];
        s.meanGap = static_cast<double>(s.sumOfGaps) / static_cast<double>(s.numberOfGaps);
        double variance = s.sumOfSquares / static_cast<double>(s.numberOfGaps) - s.meanGap * s.meanGap;
        s.deviation = variance > 0.0 ? std::sqrt(variance) : 0.0;
    }
}

void ExpectSameStatistics(const std::vector<unsigned char>& data, const std::string& what)
{
    CGapStats fast[256], plain[256];
    GapStatistics(data.data(), data.size(), fast);
    PlainGapStatistics(data.data(), data.size(), plain);
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(what + ", byte value " + std::to_string(b));
        ASSERT_EQ(fast[b].numberOfGaps, plain[b].numberOfGaps);
        ASSERT_EQ(fast[b].sumOfGaps, plain[b].sumOfGaps);
        ASSERT_EQ(fast[b].sumOfSquares, plain[b].sumOfSquares);
        ASSERT_EQ(fast[b].lastPosition, plain[b].lastPosition);
        ASSERT_EQ(fast[b].deviation, plain[b].deviation);
    }
}

TEST(GapStatisticsTest, StretchesAndThreadsGiveThePlainSums)
{
    // Lengths around the four side-by-side stretches, and one large enough for two threads.
    for (size_t length : {0, 1, 3, 4, 5, 7, 80, 81, 1000, 4099}) {
        ExpectSameStatistics(RandomBytes(length, static_cast<uint32_t>(length)), "random " + std::to_string(length));
    }
    std::vector<unsigned char> text;
    while (text.size() < 300000) {
        const std::string line = "for (int i = 0; i < n; ++i) total += values[i];\n";
        text.insert(text.end(), line.begin(), line.end() - static_cast<long>(text.size() % 7));
    }
    ExpectSameStatistics(text, "text");
    // Two threads: values that occur only in one half, in both, at the very ends, and
    // one value repeated over long runs (gaps of 1) next to long stretches without it.
    std::vector<unsigned char> large = RandomBytes((9u << 20) + 3, 5);
    for (size_t i = 0; i < large.size(); ++i) {
        if (large[i] == 0xAA && i > large.size() / 2)
            large[i] = 0x55;
        if (large[i] == 0xBB && i < large.size() / 2)
            large[i] = 0x66;
    }
    std::fill(large.begin() + 1000, large.begin() + 3000000, 0x00);
    large.front() = 0xEE;
    large.back() = 0xEF;
    ExpectSameStatistics(large, "large");
    // Values that occur once, at the ends of the longest stretches a scan takes (2 MiB
    // and just below), where a squared gap is largest.
    std::vector<unsigned char> sparse(17u << 20, 0);
    for (size_t at : {(size_t{1} << 21) - 2, (size_t{1} << 21) - 1, size_t{1} << 21, (size_t{1} << 22) - 1})
        sparse[at] = static_cast<unsigned char>(at % 200 + 1);
    ExpectSameStatistics(sparse, "sparse");
}

TEST(ByteSumTest, AnyLengthAndStartGiveThePlainSum)
{
    // Every start within a row and lengths around the 16- and 64-byte steps, so each
    // tail case is met; bytes of 0xFF show that nothing narrower than the sum overflows.
    const std::vector<unsigned char> random = RandomBytes(4096, 77);
    for (size_t start = 0; start < 17; ++start) {
        for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 1000, 4000}) {
            uint32_t plain = 0;
            for (size_t i = 0; i < length; ++i)
                plain += random[start + i];
            EXPECT_EQ(ByteSum(random.data() + start, length), plain) << start << " + " << length;
        }
    }
    const std::vector<unsigned char> full((size_t{1} << 24) + 5, 0xFF);
    EXPECT_EQ(ByteSum(full.data(), full.size()), static_cast<uint32_t>(uint64_t{0xFF} * full.size()));
}

class FileContentTest : public testing::Test {
protected:
    CTestFolder dir;

    int Open(const std::string& path)
    {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        return fd;
    }
};

TEST_F(FileContentTest, SmallAndLargeFilesHoldTheirBytes)
{
    for (size_t length : {size_t{0}, size_t{10}, CFileContent::kMapFrom - 1, CFileContent::kMapFrom,
                          CFileContent::kMapFrom * 3 + 17}) {
        const std::vector<unsigned char> bytes = RandomBytes(length, 9);
        const std::string path = dir.WriteBytes("f" + std::to_string(length), bytes);
        int fd = Open(path);
        CFileContent content;
        ASSERT_EQ(content.Load(CFileRef(fd), length), CFileContent::LoadResult::Ok);
        ::close(fd);
        ASSERT_EQ(content.size(), length);
        EXPECT_EQ(content.empty(), length == 0);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), content.data()));
        EXPECT_FALSE(content.Damaged());
        content.clear();
        EXPECT_TRUE(content.empty());
    }
}

TEST_F(FileContentTest, PartsFromAnOffset)
{
    const std::vector<unsigned char> bytes = RandomBytes(CFileContent::kMapFrom * 3, 12);
    const std::string path = dir.WriteBytes("parts", bytes);
    int fd = Open(path);
    for (auto [offset, length] : {std::pair<size_t, size_t>{CFileContent::kMapFrom, CFileContent::kMapFrom * 2},
                                  {4096, 100}, {CFileContent::kMapFrom * 2, CFileContent::kMapFrom}}) {
        CFileContent part;
        ASSERT_EQ(part.Load(CFileRef(fd), length, offset), CFileContent::LoadResult::Ok);
        EXPECT_TRUE(std::equal(bytes.begin() + static_cast<long>(offset),
                               bytes.begin() + static_cast<long>(offset + length), part.data()));
    }
    ::close(fd);
}

TEST_F(FileContentTest, ByteSumCheckOfLargeFilesPieceByPiece)
{
    CScriptedPrompt prompt;
    CAppCore core(&prompt, dir.Path());
    // Halves shared out between two threads (from 16 MiB on), read in pieces of 256 KiB:
    // a short last piece, halves that meet at a piece boundary, and a file just below the
    // two-thread length.
    for (size_t size : {(40u << 20) + 5, (32u << 20) + 5, (16u << 20) + 1, (16u << 20) - 1}) {
        SCOPED_TRACE(size);
        std::vector<unsigned char> bytes = RandomBytes(size, 21);
        const std::string path = dir.WriteBytes("large", bytes);
        const uint32_t sum = ByteSum(bytes.data(), bytes.size());
        const int32_t length = static_cast<int32_t>(bytes.size());
        EXPECT_TRUE(CheckFileSum(core, path, length, sum));
        EXPECT_FALSE(CheckFileSum(core, path, length, sum + 1));
        EXPECT_FALSE(CheckFileSum(core, path, length - 1, sum));
        // One byte changed in the last piece, on either side of where the halves meet,
        // and near the start: each shows.
        const size_t half = size / 2 / (size_t{256} << 10) * (size_t{256} << 10);
        for (size_t at : {size - 1, half, half - 1, size_t{7}}) {
            if (at >= size)
                continue;
            bytes[at] ^= 0x5A;
            dir.WriteBytes("large", bytes);
            EXPECT_FALSE(CheckFileSum(core, path, length, sum)) << at;
            bytes[at] ^= 0x5A;
        }
    }
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(FileContentTest, ReadingMoreThanTheFileHoldsFails)
{
    const std::string path = dir.WriteBytes("short", RandomBytes(100, 1));
    int fd = Open(path);
    CFileContent content;
    EXPECT_EQ(content.Load(CFileRef(fd), 200), CFileContent::LoadResult::ReadError);
    EXPECT_TRUE(content.empty());
    ::close(fd);
}

TEST_F(FileContentTest, FileThatShrinksWhileMappedReadsZerosAndIsDamaged)
{
    const size_t length = CFileContent::kMapFrom * 4;
    const std::vector<unsigned char> bytes = RandomBytes(length, 3);
    const std::string path = dir.WriteBytes("shrinks", bytes);
    int fd = Open(path);
    CFileContent content;
    ASSERT_EQ(content.Load(CFileRef(fd), length), CFileContent::LoadResult::Ok);
    CFileContent other; // a second mapping that stays whole
    const std::string otherPath = dir.WriteBytes("stays", bytes);
    int otherFd = Open(otherPath);
    ASSERT_EQ(other.Load(CFileRef(otherFd), length), CFileContent::LoadResult::Ok);

    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(length / 4)), 0);
    uint64_t sum = 0;
    for (size_t i = length / 2; i < length; i += 4096)
        sum += content.data()[i];
    EXPECT_EQ(sum, 0u);
    EXPECT_TRUE(content.Damaged());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<long>(length / 4), content.data()));
    EXPECT_FALSE(other.Damaged());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), other.data()));
    ::close(fd);
    ::close(otherFd);
}

} // namespace
