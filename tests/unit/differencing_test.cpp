// File differencing: separator choice, block cutting, the block index, widening of
// hits, the objects and log lines of CreatePatch, cancel and failure handling.
#include "app/AppCore.h"
#include "engine/build/BlockBounds.h"
#include "engine/build/BlockCutter.h"
#include "engine/common/CFilePatch.h"
#include "engine/build/ScanAhead.h"
#include "engine/build/ThoroughMatcher.h"
#include "platform/FileTimes.h"
#include "platform/ScriptedPrompt.h"
#include "support/PatchObjects.h"
#include "support/RecordingProgress.h"
#include "support/ShownPrompt.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const std::string P(66, '+');

// A line of 39 letters from a 13-letter alphabet and a line feed. Files made of such
// lines get the line feed as separator: every letter is too frequent (mean gap < 20),
// the line feed has a mean gap of about 40, every other byte value never occurs.
std::string Line(std::mt19937& gen)
{
    std::string s;
    for (int i = 0; i < 39; ++i)
        s += static_cast<char>('A' + gen() % 13);
    return s + "\n";
}

std::vector<std::string> Lines(int n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Line(gen));
    return out;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l;
    return s;
}

const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::vector<std::pair<size_t, size_t>> CutAll(const std::string& s, unsigned char sep)
{
    std::vector<std::pair<size_t, size_t>> out;
    const unsigned char* cursor = Bytes(s);
    const unsigned char* end = cursor + s.size();
    CBlockNode b;
    while (b.Cut(cursor, end, sep)) {
        size_t from = static_cast<size_t>(b.start - Bytes(s));
        EXPECT_EQ(b.byteSum, ByteSum(b.start, b.length));
        out.push_back({from, from + b.length});
    }
    return out;
}

// oldText with random edits: insertions and deletions of up to maxRun bytes, changed
// bytes and, with copies, 500 bytes of oldText inserted elsewhere.
std::string WithRandomEdits(const std::string& oldText, int edits, size_t maxRun, bool copies, std::mt19937& gen)
{
    std::string newText = oldText;
    for (int e = 0; e < edits; ++e) {
        size_t at = gen() % newText.size();
        switch (gen() % (copies ? 4 : 3)) {
        case 0: newText.insert(at, std::string(1 + gen() % maxRun, char(gen()))); break;
        case 1: newText.erase(at, 1 + gen() % maxRun); break;
        case 3: newText.insert(at, oldText, gen() % oldText.size(), 500); break;
        default: newText[at] = char(newText[at] + 1); break;
        }
    }
    return newText;
}

class Differencing : public ::testing::Test {
protected:
    void SetUp() override
    {
        core = std::make_unique<CAppCore>(&prompt, folder.Path(), folder.Path() + "/");
        core->settings.logFile = 1;
        core->log.SetPath(folder / "log.txt");
        record = std::make_unique<CFilePatch>(*core);
    }

    std::vector<std::string> LogLines() const { return SplitLines(ReadFileText(folder / "log.txt")); }

    int Diff(const std::string& oldText, const std::string& newText, IBuildProgress* progress = nullptr)
    {
        oldFile = folder.Write("old/f.txt", oldText);
        newFile = folder.Write("new/f.txt", newText);
        return record->CreatePatch(oldFile, newFile, folder / "new", progress);
    }

    // Rebuilds the new file from the old one and the objects, as an apply does.
    static std::string Rebuild(const CFilePatch& r, const std::string& oldText, const std::string& newText)
    {
        std::string out(r.newLength, '\0');
        for (const auto& o : r.oldPatches) {
            EXPECT_LE(uint64_t(o.oldOffset) + o.length, oldText.size());
            EXPECT_LE(uint64_t(o.newOffset) + o.length, newText.size());
            out.replace(o.newOffset, o.length, oldText, o.oldOffset, o.length);
        }
        for (const auto& n : r.newPatches) {
            EXPECT_LE(uint64_t(n.newOffset) + n.length, newText.size());
            out.replace(n.newOffset, n.length, newText, n.newOffset, n.length);
        }
        return out;
    }

    CTestFolder folder;
    CScriptedPrompt prompt;
    std::unique_ptr<CAppCore> core;
    std::unique_ptr<CFilePatch> record;
    std::string oldFile, newFile;
};

// ---- separator and blocks ----

TEST(Separator, WorkedExampleOfTenLines)
{
    std::string text;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 39; ++j)
            text += static_cast<char>('A' + (i * 7 + j) % 13);
        text += '\n';
    }
    ASSERT_EQ(text.size(), 400u);
    CGapStats stats[256];
    GapStatistics(Bytes(text), text.size(), stats);
    EXPECT_EQ(stats['\n'].numberOfGaps, 11u);
    EXPECT_EQ(stats['\n'].sumOfGaps, 401u);
    EXPECT_NEAR(stats['\n'].meanGap, 401.0 / 11, 1e-12);
    EXPECT_EQ(stats['\n'].lastPosition, 399);
    // A value that never occurs has one gap of the length plus one.
    EXPECT_EQ(stats['z'].numberOfGaps, 1u);
    EXPECT_EQ(stats['z'].meanGap, 401.0);
    EXPECT_EQ(stats['z'].deviation, 0.0);

    unsigned char sep = ChooseSeparator(Bytes(text), text.size());
    EXPECT_EQ(sep, '\n');
    std::vector<std::pair<size_t, size_t>> expected{{0, 79}, {79, 159}, {159, 239}, {239, 319}, {319, 400}};
    EXPECT_EQ(CutAll(text, sep), expected);
}

TEST(Separator, ShortBuffersAndTies)
{
    std::string text = "ab\ncd\nef\n";
    EXPECT_EQ(ChooseSeparator(Bytes(text), text.size()), 0);
    std::string eighty(80, 'a');
    for (size_t i = 0; i < 80; i += 30)
        eighty[i] = 'x';
    EXPECT_EQ(ChooseSeparator(Bytes(eighty), eighty.size()), 0);
    EXPECT_EQ(ChooseSeparator(nullptr, 0), 0);

    // 'p' and 'q' occur with exactly the same gaps (mirror images): the lower value wins.
    std::string mirror(200, '.');
    for (size_t i = 10; i < 100; i += 30) {
        mirror[i] = 'q';
        mirror[199 - i] = 'p';
    }
    CGapStats stats[256];
    GapStatistics(Bytes(mirror), mirror.size(), stats);
    ASSERT_EQ(stats['p'].deviation, stats['q'].deviation);
    EXPECT_EQ(ChooseSeparator(Bytes(mirror), mirror.size()), 'p');
}

TEST(Separator, ThresholdIsRaisedUntilAValueFits)
{
    // Only 'x' stands out, with a mean gap of about 100: too large for 80, fine for 130.
    std::string text(1000, 'a');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 7);
    for (size_t i = 50; i < text.size(); i += 100)
        text[i] = 'x';
    EXPECT_EQ(ChooseSeparator(Bytes(text), text.size()), 'x');
}

TEST(Cut, BlockLengthRules)
{
    std::string small(50, 'x');
    EXPECT_EQ(CutAll(small, 'x'), (std::vector<std::pair<size_t, size_t>>{{0, 50}}));
    EXPECT_TRUE(CutAll("", 'x').empty());

    // A run of separators: the boundary is the last one of the run.
    std::string run(200, 'a');
    run[30] = '|';
    run[60] = run[61] = run[62] = '|';
    run[150] = '|';
    EXPECT_EQ(CutAll(run, '|'), (std::vector<std::pair<size_t, size_t>>{{0, 62}, {62, 150}, {150, 200}}));

    // A separator in the last position does not end a block.
    std::string tail(120, 'a');
    tail[119] = '|';
    EXPECT_EQ(CutAll(tail, '|'), (std::vector<std::pair<size_t, size_t>>{{0, 120}}));
}

// ---- block index ----

// The unbalanced byte-sum tree: equal sums go to the lower child, a lookup takes the
// first node on its path with the same content.
struct ReferenceTree {
    struct Node {
        CBlockNode block;
        int lower = -1, higher = -1;
    };
    std::vector<Node> nodes;
    void Insert(const CBlockNode& b)
    {
        nodes.push_back({b});
        int added = static_cast<int>(nodes.size()) - 1;
        if (added == 0)
            return;
        int at = 0;
        for (;;) {
            int& child = b.byteSum > nodes[at].block.byteSum ? nodes[at].higher : nodes[at].lower;
            if (child < 0) {
                child = added;
                return;
            }
            at = child;
        }
    }
    const CBlockNode* Find(const CBlockNode& b) const
    {
        int at = nodes.empty() ? -1 : 0;
        while (at >= 0) {
            const Node& n = nodes[at];
            if (b.byteSum < n.block.byteSum)
                at = n.lower;
            else if (b.byteSum > n.block.byteSum)
                at = n.higher;
            else if (n.block.SameContent(b))
                return &n.block;
            else
                at = n.lower;
        }
        return nullptr;
    }
};

// count patterns for block indexes: 50 to 50 + spread - 1 bytes, the separator 3 first,
// then values from first to first + values - 1.
std::vector<std::vector<unsigned char>> PatternPool(std::mt19937& gen, int count, unsigned spread, unsigned first,
                                                    unsigned values)
{
    std::vector<std::vector<unsigned char>> pool;
    for (int i = 0; i < count; ++i) {
        std::vector<unsigned char> p(50 + gen() % spread);
        for (auto& c : p)
            c = static_cast<unsigned char>(first + gen() % values);
        p[0] = 3;
        pool.push_back(p);
    }
    return pool;
}

// The blocks of data between consecutive cut positions, with their byte sums.
std::vector<CBlockNode> BlocksOf(const std::vector<unsigned char>& data, const std::vector<size_t>& cuts)
{
    std::vector<CBlockNode> out;
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        CBlockNode b;
        b.start = data.data() + cuts[i];
        b.length = static_cast<uint32_t>(cuts[i + 1] - cuts[i]);
        b.byteSum = ByteSum(b.start, b.length);
        out.push_back(b);
    }
    return out;
}

TEST(BlockIndex, AnswersLikeTheByteSumTree)
{
    std::mt19937 gen(12345);
    // Blocks of 50 to 52 bytes: the separator 3, then the values 0..2. Few distinct
    // byte sums, many blocks per sum, and many exact repeats (drawn from a pool).
    const auto pool = PatternPool(gen, 300, 3, 0, 3);
    std::vector<unsigned char> oldData, newData;
    std::vector<size_t> oldCuts{0}, newCuts{0};
    for (int i = 0; i < 4000; ++i) {
        const auto& p = pool[gen() % pool.size()];
        oldData.insert(oldData.end(), p.begin(), p.end());
        oldCuts.push_back(oldData.size());
    }
    for (int i = 0; i < 4000; ++i) {
        std::vector<unsigned char> q = pool[gen() % pool.size()];
        if (gen() % 4 == 0) // a permutation: the same byte sum, mostly other content
            std::shuffle(q.begin() + 1, q.end(), gen);
        newData.insert(newData.end(), q.begin(), q.end());
        newCuts.push_back(newData.size());
    }
    std::vector<CBlockNode> oldBlocks = BlocksOf(oldData, oldCuts), newBlocks = BlocksOf(newData, newCuts);

    // One index filled block by block, one built from the buffer (which cuts it at the
    // same places, as every pattern starts with the separator).
    CBlockIndex index, built;
    ReferenceTree tree;
    EXPECT_EQ(index.Find(oldBlocks[0]), nullptr);
    for (const auto& b : oldBlocks) {
        index.Insert(b);
        tree.Insert(b);
    }
    built.Build(oldData.data(), oldData.size(), 3);
    EXPECT_EQ(index.Size(), oldBlocks.size());
    EXPECT_EQ(built.Size(), oldBlocks.size());
    size_t hits = 0;
    for (const auto* set : {&oldBlocks, &newBlocks}) {
        for (const auto& b : *set) {
            const CBlockNode* want = tree.Find(b);
            for (const CBlockIndex* ix : {&index, &built}) {
                const CBlockNode* got = ix->Find(b);
                ASSERT_EQ(want == nullptr, got == nullptr);
                if (want) {
                    EXPECT_EQ(got->start, want->start);
                    EXPECT_EQ(got->length, want->length);
                }
            }
            hits += want != nullptr;
        }
    }
    EXPECT_GT(hits, oldBlocks.size());            // every old block finds itself
    EXPECT_LT(hits, oldBlocks.size() + newBlocks.size()); // and some new blocks miss
    index.Clear();
    EXPECT_TRUE(index.Empty());
    EXPECT_EQ(index.Find(oldBlocks[0]), nullptr);
}

TEST(BlockIndex, LargeBufferCutAheadAndBoundsOnTheNumberOfBlocks)
{
    // Over 4 MiB, so that a helper cuts and hashes the blocks ahead of the index. Blocks
    // of a small pool, each starting with the separator 3, so that most recur.
    std::mt19937 gen(5);
    const auto pool = PatternPool(gen, 5000, 200, 4, 250);
    std::vector<unsigned char> data;
    std::vector<size_t> cuts{0};
    while (data.size() < (size_t{5} << 20)) {
        const auto& p = pool[gen() % pool.size()];
        data.insert(data.end(), p.begin(), p.end());
        cuts.push_back(data.size());
    }
    const size_t separators = static_cast<size_t>(std::count(data.begin(), data.end(), 3));

    // The helper hands over the blocks of each of its stretches, in order, cut from the
    // stretch's start, the last one starting before the stretch's end; one stopped early
    // ends without waiting for the rest.
    {
        CBlockCutter cutter(data.data(), data.size(), 3);
        const unsigned char* end = data.data() + data.size();
        size_t stretches = 0;
        for (size_t m = 0;; ++m) {
            size_t begin = 0, stop = 0;
            CBlockCutter::HelperStretch(data.size(), m, begin, stop);
            const auto& given = cutter.TakeStretch();
            if (begin == data.size()) {
                EXPECT_TRUE(given.empty());
                break;
            }
            ++stretches;
            ASSERT_FALSE(given.empty());
            const unsigned char* c = data.data() + begin;
            for (const CBlockCutter::CBlock& b : given) {
                ASSERT_LT(c, data.data() + stop);
                EXPECT_EQ(b.offset, static_cast<size_t>(c - data.data()));
                c = blocks::BlockEnd(c, end, 3);
                EXPECT_EQ(b.offset + b.length, static_cast<size_t>(c - data.data()));
            }
            EXPECT_GE(c, data.data() + stop);
        }
        EXPECT_EQ(stretches, 1u); // 5 MiB: one 4 MiB stretch after the first 2 MiB
        CBlockCutter stopped(data.data(), data.size(), 3);
    }

    const std::vector<CBlockNode> blocks = BlocksOf(data, cuts);
    CBlockIndex inserted;
    for (const CBlockNode& b : blocks)
        inserted.Insert(b);
    // Without a bound (the blocks are counted), with the true bound (the separators plus
    // one) and with a bound too small, which must not overfill the table.
    for (size_t bound : {size_t{0}, separators + 1, size_t{1000}}) {
        SCOPED_TRACE(bound);
        CBlockIndex built;
        built.Build(data.data(), data.size(), 3, bound);
        EXPECT_EQ(built.Size(), cuts.size() - 1);
        for (size_t i = 0; i < blocks.size(); i += 7) {
            const CBlockNode& b = blocks[i];
            const CBlockNode* want = inserted.Find(b);
            const CBlockNode* got = built.Find(b);
            ASSERT_TRUE(want && got);
            ASSERT_EQ(got->start, want->start) << i; // the earliest block of that content
            EXPECT_EQ(got->length, want->length);
        }
    }
}

// The helper cuts stretches of a large buffer from starting points of its own; its cut
// must be used only from where it meets the cut from the start. With a separator every
// 10 bytes the cuts take every fifth one, and two cuts that start out of step stay out
// of step: through the whole buffer, or through its first half (the first of the
// helper's two stretches), after which the separators are sparse and the cuts meet.
TEST(BlockIndex, LargeBufferCutFromTwoStartsMeetsOnlyWhereTheCutsAgree)
{
    std::mt19937 gen(77);
    const size_t length = size_t{13} << 20;
    for (size_t periodic : {length, length / 2}) {
        SCOPED_TRACE(periodic);
        std::vector<unsigned char> data(length);
        for (size_t i = 0; i < length; ++i) {
            const bool sep = i < periodic ? i % 10 == 0 : gen() % 300 == 0;
            data[i] = sep ? 3 : static_cast<unsigned char>(4 + gen() % 250);
        }
        std::vector<CBlockNode> blocks;
        CBlockIndex inserted;
        for (const unsigned char* c = data.data(); blocks.emplace_back().Cut(c, data.data() + length, 3);)
            inserted.Insert(blocks.back());
        blocks.pop_back();

        CBlockIndex built;
        built.Build(data.data(), length, 3);
        ASSERT_EQ(built.Size(), blocks.size());
        for (size_t i = 0; i < blocks.size(); i += 3) {
            const CBlockNode* got = built.Find(blocks[i]);
            ASSERT_TRUE(got) << i;
            ASSERT_EQ(got->start, inserted.Find(blocks[i])->start) << i;
        }
        // Blocks of a cut out of step with the true one are not blocks of the buffer.
        for (size_t at : {size_t{5} << 20, size_t{9} << 20}) {
            CBlockNode stray;
            stray.start = data.data() + at + 22;
            const unsigned char* c = stray.start;
            ASSERT_TRUE(stray.Cut(c, data.data() + length, 3));
            EXPECT_EQ(inserted.Find(stray), nullptr);
            EXPECT_EQ(built.Find(stray), nullptr);
        }
    }
}

// The helper ahead of the matching scan hands over every block of the cut from the
// start, in order, and the sum of all bytes; one stopped early ends without waiting.
TEST(ScanAhead, HandsOverEveryBlockAndTheByteSum)
{
    std::vector<unsigned char> data(size_t{5} << 20);
    std::mt19937 gen(12);
    for (auto& c : data)
        c = static_cast<unsigned char>(gen() % 7 == 0 ? 9 : gen());
    std::vector<std::pair<size_t, size_t>> want;
    const unsigned char* cursor = data.data();
    CBlockNode b;
    while (b.CutBounds(cursor, data.data() + data.size(), 9))
        want.push_back({static_cast<size_t>(b.start - data.data()), b.length});
    ASSERT_GT(want.size(), 3 * CScanAhead::kRunBlocks);

    CScanAhead ahead(data.data(), data.size(), 9);
    size_t k = 0;
    for (const auto* run = &ahead.Next(); !run->empty(); run = &ahead.Next()) {
        for (const CScanAhead::CBounds& got : *run) {
            ASSERT_LT(k, want.size());
            ASSERT_EQ(got.offset, want[k].first) << k;
            ASSERT_EQ(got.length, want[k].second) << k;
            ++k;
        }
    }
    EXPECT_EQ(k, want.size());
    EXPECT_EQ(ahead.Sum(), ByteSum(data.data(), data.size()));

    CScanAhead stopped(data.data(), data.size(), 9);
    EXPECT_FALSE(stopped.Next().empty());
}

// ---- widening ----

TEST(Extend, MatchesByteByByteWidening)
{
    std::mt19937 gen(99);
    for (int round = 0; round < 2000; ++round) {
        size_t oldLen = 1 + gen() % 120, newLen = 1 + gen() % 120;
        std::vector<unsigned char> o(oldLen), n(newLen);
        for (auto& c : o)
            c = static_cast<unsigned char>(gen() % 2);
        for (auto& c : n)
            c = static_cast<unsigned char>(gen() % 2);
        uint32_t len = 1 + gen() % std::min<uint32_t>(10, std::min(oldLen, newLen));
        uint32_t oo = gen() % (oldLen - len + 1), no = gen() % (newLen - len + 1);
        // Make the hit real, and a long common stretch around it most of the time.
        int32_t shift = static_cast<int32_t>(no) - static_cast<int32_t>(oo);
        if (gen() % 4 != 0)
            for (size_t i = 0; i < oldLen; ++i)
                if (int64_t(i) + shift >= 0 && int64_t(i) + shift < int64_t(newLen) && gen() % 50 != 0)
                    n[i + shift] = o[i];
        std::memcpy(n.data() + no, o.data() + oo, len);

        uint32_t wo = oo, wn = no, wl = len;
        while (wo > 0 && wn > 0 && o[wo - 1] == n[wn - 1]) {
            --wo;
            --wn;
            ++wl;
        }
        while (wo + wl < oldLen && wn + wl < newLen && o[wo + wl] == n[wn + wl])
            ++wl;

        COldPatch p;
        p.Extend(o.data(), n.data(), oo, no, len, uint32_t(oldLen), uint32_t(newLen));
        ASSERT_EQ(Of(p), (Span{wo, wn, wl})) << "round " << round;
    }
}

// ---- CreatePatch ----

TEST_F(Differencing, OldFileAbsent)
{
    newFile = folder.Write("new/sub/f.bin", std::string(140, 'q'));
    ASSERT_EQ(record->CreatePatch(folder / "old/sub/f.bin", newFile, folder / "new", nullptr), 1);
    EXPECT_EQ(record->newFileFlag, 1u);
    EXPECT_EQ(record->name, "sub/f.bin");
    EXPECT_EQ(record->oldLength, 0u);
    EXPECT_EQ(record->oldByteSum, 0u);
    EXPECT_EQ(record->newLength, 140u);
    EXPECT_EQ(record->newByteSum, 140u * 'q');
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_EQ(Of(record->newPatches), (std::vector<DataSpan>{{0, 140}}));
    EXPECT_EQ(record->newContent.size(), 140u);
    CFileTimes t;
    ASSERT_TRUE(GetFileTimes(newFile, t));
    EXPECT_EQ(record->newTimes.lastWrite, t.lastWrite);
    EXPECT_EQ(record->oldTimes.lastWrite, 0u);
    std::vector<std::string> expected{P,
                                      "Number patches: 0, Tot size: 0",
                                      P,
                                      "+++++++++Creating patch objects from new file+++++++++++++++++++++",
                                      P,
                                      P,
                                      "New Patch start in new file ( sub/f.bin ): 0",
                                      "New Patch size: 140",
                                      "Size of object: 140",
                                      P,
                                      "Number patches: 1, Tot size: 140",
                                      P};
    EXPECT_EQ(LogLines(), expected);
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(Differencing, ByteSumsOfChangedAndEqualFiles)
{
    // Bytes of every value, so a sum taken from value counts must weigh each one right;
    // an empty old file, an equal-length change and an unchanged file.
    std::string base;
    for (int i = 0; i < 20000; ++i)
        base += static_cast<char>((i * 131 + i / 7) & 0xFF);
    auto sum = [](const std::string& text) {
        return ByteSum(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    };
    std::string changed = base;
    changed[12345] = static_cast<char>(changed[12345] ^ 0x80);
    for (const auto& [oldText, newText] : std::vector<std::pair<std::string, std::string>>{
             {base, base.substr(100) + "tail"}, {"", base}, {base, changed}, {base, base}}) {
        ASSERT_EQ(Diff(oldText, newText), 1);
        EXPECT_EQ(record->oldByteSum, sum(oldText));
        EXPECT_EQ(record->newByteSum, sum(newText));
    }
}

TEST_F(Differencing, EmptyAndIdenticalFiles)
{
    // Old absent, new empty: nothing to describe, but still a new file.
    newFile = folder.Write("new/empty", "");
    ASSERT_EQ(record->CreatePatch(folder / "old/empty", newFile, folder / "new/", nullptr), 1);
    EXPECT_EQ(record->newFileFlag, 1u);
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_TRUE(record->newPatches.empty());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Skipping file: empty.  No patch is required"});

    // Identical content: only the one log line, and the contents are released.
    std::filesystem::remove(folder / "log.txt");
    std::string text = Join(Lines(20, 1));
    ASSERT_EQ(Diff(text, text), 1);
    EXPECT_EQ(record->newFileFlag, 0u);
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_TRUE(record->newPatches.empty());
    EXPECT_TRUE(record->newContent.empty());
    EXPECT_EQ(record->oldByteSum, record->newByteSum);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Skipping file: f.txt.  No patch is required"});

    // Old present, new empty: one new-data object of length 0.
    ASSERT_EQ(Diff(text, ""), 1);
    EXPECT_EQ(record->newFileFlag, 0u);
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_EQ(Of(record->newPatches), (std::vector<DataSpan>{{0, 0}}));

    // Old empty, new not: no blocks, the whole new file is new data.
    ASSERT_EQ(Diff("", text), 1);
    EXPECT_EQ(record->newFileFlag, 0u);
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_EQ(Of(record->newPatches), (std::vector<DataSpan>{{0, text.size()}}));
    EXPECT_TRUE(prompt.Shown().empty());
}

TEST_F(Differencing, OneObjectLogsBothGaps)
{
    auto oldLines = Lines(20, 2);
    auto newLines = Lines(10, 3);
    newLines[2] = oldLines[4];
    newLines[3] = oldLines[5];
    newLines[4] = oldLines[6];
    newLines[5] = oldLines[7];
    // The bytes on either side of the common stretch differ.
    oldLines[3][38] = 'A';
    newLines[1][38] = 'B';
    oldLines[8][0] = 'A';
    newLines[6][0] = 'B';
    std::string oldText = Join(oldLines), newText = Join(newLines);

    CRecordingBuildProgress progress;
    ASSERT_EQ(Diff(oldText, newText, &progress), 1);
    EXPECT_EQ(record->separator, '\n');
    EXPECT_EQ(Of(record->oldPatches), (std::vector<Span>{{159, 79, 161}}));
    ASSERT_EQ(record->newPatches.size(), 2u);
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
    std::vector<std::string> expected{"Old Patch start in old file ( " + oldFile + " ): 159",
                                      "Old Patch start in new file ( f.txt ): 79",
                                      "Old Patch size: 161",
                                      P,
                                      "Number patches: 1, Tot size: 161",
                                      P,
                                      "+++++++++Creating patch objects from new file+++++++++++++++++++++",
                                      P,
                                      P,
                                      "New Patch start in new file ( f.txt ): 0",
                                      "New Patch size: 79",
                                      "New Patch start in new file ( f.txt ): 240",
                                      "New Patch size: 160",
                                      P,
                                      "Number patches: 2, Tot size: 239",
                                      P};
    EXPECT_EQ(LogLines(), expected);
    // One cancel query and one bar position per hit: (79 + 161) / 400 * 90 = 54.
    ASSERT_EQ(progress.calls.size(), 2u);
    EXPECT_EQ(progress.calls[0].what, "cancel");
    EXPECT_EQ(progress.calls[1].what, "filepos");
    EXPECT_EQ(progress.calls[1].value, 54);
}

TEST_F(Differencing, TwoObjectsLeaveTheTrailingGapOutOfTheLog)
{
    auto oldLines = Lines(20, 4);
    auto newLines = Lines(14, 5);
    for (int i = 0; i < 4; ++i) {
        newLines[2 + i] = oldLines[4 + i];
        newLines[8 + i] = oldLines[12 + i];
    }
    oldLines[3][38] = oldLines[11][38] = 'A';
    newLines[1][38] = newLines[7][38] = 'B';
    oldLines[8][0] = oldLines[16][0] = 'A';
    newLines[6][0] = newLines[12][0] = 'B';
    std::string oldText = Join(oldLines), newText = Join(newLines);

    ASSERT_EQ(Diff(oldText, newText), 1);
    ASSERT_EQ(record->oldPatches.size(), 2u);
    EXPECT_EQ(Of(record->oldPatches[1]), (Span{479, 319, 161}));
    // Leading gap, middle gap and the trailing gap [480, 560) are all created...
    ASSERT_EQ(record->newPatches.size(), 3u);
    EXPECT_EQ(Of(record->newPatches[2]), (DataSpan{480, 80}));
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
    // ...but the trailing one is neither logged nor counted.
    auto log = LogLines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 2], "Number patches: 2, Tot size: 158");
    EXPECT_EQ(std::count(log.begin(), log.end(), "New Patch start in new file ( f.txt ): 480"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "New Patch start in new file ( f.txt ): 240"), 1);
}

TEST_F(Differencing, RepeatedBlockTakesTheEarliestAndEdgesStopWidening)
{
    auto oldLines = Lines(20, 6);
    // Old block [79, 159) recurs as [399, 479).
    oldLines[10] = oldLines[2];
    oldLines[11] = oldLines[3];
    oldLines[1][38] = 'A';
    oldLines[9][38] = 'C';
    oldLines[4][0] = 'A';
    oldLines[12][0] = 'C';
    auto newLines = Lines(10, 7);
    newLines[4] = oldLines[2];
    newLines[5] = oldLines[3];
    newLines[3][38] = 'B';
    newLines[6][0] = 'B';
    std::string oldText = Join(oldLines), newText = Join(newLines);
    ASSERT_EQ(Diff(oldText, newText), 1);
    EXPECT_EQ(Of(record->oldPatches), (std::vector<Span>{{79, 159, 81}}));

    // A hit at the start of the new file is not widened backwards.
    std::string tailOfOld = oldText.substr(79);
    ASSERT_EQ(Diff(oldText, tailOfOld), 1);
    EXPECT_EQ(Of(record->oldPatches), (std::vector<Span>{{79, 0, tailOfOld.size()}}));
    EXPECT_TRUE(record->newPatches.empty());

    // Widening backwards stops at the start of the old file.
    std::string prefixed = Join(Lines(2, 8)) + oldText;
    ASSERT_EQ(Diff(oldText, prefixed), 1);
    EXPECT_EQ(Of(record->oldPatches), (std::vector<Span>{{0, 80, oldText.size()}}));
    EXPECT_EQ(Of(record->newPatches), (std::vector<DataSpan>{{0, 80}}));
}

TEST_F(Differencing, RandomEditsRebuildExactly)
{
    core->settings.logFile = 0;
    std::mt19937 gen(2024);
    for (int round = 0; round < 6; ++round) {
        std::vector<unsigned char> bytes = RandomBytes(30000 + round * 7000, 100 + round);
        std::string oldText(bytes.begin(), bytes.end());
        if (round % 2)
            oldText = Join(Lines(1500, round));
        const std::string newText = WithRandomEdits(oldText, 12, 40, false, gen);
        ASSERT_EQ(Diff(oldText, newText), 1);
        EXPECT_FALSE(record->oldPatches.empty());
        EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
        // Every old-copy object really copies equal bytes, and their ends increase.
        uint64_t lastEnd = 0;
        size_t copied = 0;
        for (const auto& o : record->oldPatches) {
            EXPECT_EQ(oldText.compare(o.oldOffset, o.length, newText, o.newOffset, o.length), 0);
            EXPECT_GT(o.newOffset + o.length, lastEnd);
            lastEnd = o.newOffset + o.length;
            copied += o.length;
        }
        // Random bytes have rare separators and resynchronise after every edit; lines
        // of text may lose the phase of their blocks after an insertion.
        if (round % 2 == 0) {
            EXPECT_GT(copied, newText.size() * 9 / 10) << "round " << round;
        }
        // Thorough matching rebuilds the same pair, and one with pieces copied around.
        core->settings.thorough = 1;
        std::mt19937 other(7 + round);
        for (const std::string& edited : {newText, WithRandomEdits(oldText, 60, 40, true, other)}) {
            ASSERT_EQ(Diff(oldText, edited), 1);
            EXPECT_EQ(Rebuild(*record, oldText, edited), edited) << "round " << round;
        }
        core->settings.thorough = 0;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "log.txt"));
}

// From 4 MiB on, a helper cuts the new file and sums its bytes ahead of the matching
// scan. The objects must be those of the scan that cuts the file itself: every block
// not inside the previous hit looked up, the earliest old block of its content taken and
// widened. A cancel in the middle of the scan stops the helper before the contents go.
TEST_F(Differencing, LargeNewFileScannedAheadGivesTheObjectsOfTheOwnScan)
{
    core->settings.logFile = 0;
    std::vector<unsigned char> bytes = RandomBytes(size_t{5} << 20, 31);
    std::string oldText(bytes.begin(), bytes.end());
    // Lines in the middle: short blocks and repeated content.
    const std::string lines = Join(Lines(20000, 3));
    oldText.replace(size_t{2} << 20, lines.size(), lines);
    std::mt19937 gen(8);
    const std::string newText = WithRandomEdits(oldText, 300, 60, true, gen);
    ASSERT_EQ(Diff(oldText, newText), 1);
    EXPECT_EQ(record->newByteSum, ByteSum(Bytes(newText), newText.size()));
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);

    // The scan done here, block by block.
    const unsigned char sep = record->separator;
    CBlockIndex index;
    CBlockNode block;
    const unsigned char* cursor = Bytes(oldText);
    while (block.Cut(cursor, Bytes(oldText) + oldText.size(), sep))
        index.Insert(block);
    std::vector<COldPatch> expected;
    uint64_t hitEnd = 0;
    cursor = Bytes(newText);
    while (block.Cut(cursor, Bytes(newText) + newText.size(), sep)) {
        const uint32_t at = static_cast<uint32_t>(block.start - Bytes(newText));
        if (!expected.empty() && at < hitEnd)
            continue;
        if (const CBlockNode* hit = index.Find(block)) {
            COldPatch p;
            p.Extend(Bytes(oldText), Bytes(newText), static_cast<uint32_t>(hit->start - Bytes(oldText)), at,
                     hit->length, static_cast<uint32_t>(oldText.size()), static_cast<uint32_t>(newText.size()));
            expected.push_back(p);
            hitEnd = uint64_t{p.newOffset} + p.length;
        }
    }
    ASSERT_GT(expected.size(), 300u);
    ASSERT_EQ(record->oldPatches.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(Of(record->oldPatches[i]), Of(expected[i])) << i;
    }

    CRecordingBuildProgress cancel;
    cancel.CancelAtCheck(2);
    prompt.Script(PromptAnswer::Yes);
    ASSERT_EQ(Diff(oldText, newText, &cancel), -1);
    EXPECT_TRUE(record->newContent.empty());
}

TEST_F(Differencing, CancelDuringTheScan)
{
    auto oldLines = Lines(20, 9);
    auto newLines = oldLines;
    newLines[10][5] = newLines[10][5] == 'A' ? 'B' : 'A';
    std::string oldText = Join(oldLines), newText = Join(newLines);

    CRecordingBuildProgress yes;
    yes.CancelAtCheck(1);
    prompt.Script(PromptAnswer::Yes);
    ASSERT_EQ(Diff(oldText, newText, &yes), -1);
    ASSERT_TRUE(ShowedOnly(prompt, {kBuildCancelText, "Delvorin Warning", PromptButtons::YesNo,
                                    PromptOwner::ProgressDialog}));
    EXPECT_TRUE(record->oldPatches.empty());
    EXPECT_TRUE(record->oldContent.empty());
    EXPECT_TRUE(record->newContent.empty());

    prompt.Clear();
    CRecordingBuildProgress no;
    no.CancelAtCheck(1);
    prompt.Script(PromptAnswer::No);
    ASSERT_EQ(Diff(oldText, newText, &no), 1);
    EXPECT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(record->oldPatches.size(), 2u);
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
    EXPECT_EQ(no.checks, 2);
}

// Thorough matching: single-byte edits after a shift leave one old copy at one distance,
// with one new-data object per edit written over the copied bytes; one log line names
// the matcher and counts the objects; the scan of a large file honours a cancel.
TEST_F(Differencing, ThoroughMatchingCopiesAcrossEditsAndHonoursCancel)
{
    core->settings.thorough = 1;
    const std::vector<unsigned char> bytes = RandomBytes(size_t{3} << 20, 5);
    const std::string oldText(bytes.begin(), bytes.end());
    std::string newText = "head" + oldText;
    size_t edits = 0;
    for (size_t i = 1000; i < newText.size(); i += 100000, ++edits)
        newText[i] = static_cast<char>(newText[i] ^ 1);
    ASSERT_EQ(Diff(oldText, newText), 1);
    EXPECT_EQ(Of(record->oldPatches), (std::vector<Span>{{0, 4, oldText.size()}}));
    EXPECT_EQ(record->newPatches.size(), edits + 1);
    EXPECT_EQ(record->oldByteSum, ByteSum(Bytes(oldText), oldText.size()));
    EXPECT_EQ(record->newByteSum, ByteSum(Bytes(newText), newText.size()));
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Thorough matching ( " + oldFile + " -> f.txt ): 1 old patches, " +
                                                        std::to_string(oldText.size()) + " bytes; " +
                                                        std::to_string(edits + 1) + " new patches, " +
                                                        std::to_string(edits + 4) + " bytes"}));

    CRecordingBuildProgress yes;
    yes.CancelAtCheck(2);
    prompt.Script(PromptAnswer::Yes);
    ASSERT_EQ(Diff(oldText, newText, &yes), -1);
    EXPECT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(yes.checks, 2);
    EXPECT_TRUE(record->oldContent.empty());
    EXPECT_TRUE(record->newContent.empty());
}

// Matches at two distances taking turns: a copy widened up to a later match at its
// distance must not reach over a match of a copy listed before it.
TEST_F(Differencing, ThoroughLayOutNeverWidensACopyOverMatchesOfEarlierCopies)
{
    const std::vector<unsigned char> bytes = RandomBytes(1000, 3);
    const std::string oldText(bytes.begin(), bytes.end());
    std::string newText;
    std::vector<COldPatch> matches;
    for (uint32_t from : {0u, 500u, 204u, 704u, 408u}) {
        newText += "ab";
        matches.push_back({from, static_cast<uint32_t>(newText.size()), 100});
        newText += oldText.substr(from, 100);
    }
    CThoroughMatcher::LayOut(matches, static_cast<uint32_t>(newText.size()), record->oldPatches, record->newPatches);
    record->newLength = static_cast<uint32_t>(newText.size());
    EXPECT_EQ(Rebuild(*record, oldText, newText), newText);
    EXPECT_EQ(record->newPatches.size(), 5u);
    EXPECT_EQ(record->oldPatches.size(), 3u); // the third and fifth matches widen the first copy
}

TEST_F(Differencing, FailuresAreReported)
{
    EXPECT_EQ(record->CreatePatch("", folder / "x", folder.Path(), nullptr), 0);
    EXPECT_EQ(record->CreatePatch(folder / "x", "", folder.Path(), nullptr), 0);
    EXPECT_TRUE(prompt.Shown().empty());

    // A missing new file, with a path far longer than any fixed message buffer.
    std::string missing = folder.Path();
    for (int i = 0; i < 40; ++i)
        missing += "/a-rather-long-folder-name-" + std::to_string(i);
    missing += "/file.txt";
    EXPECT_EQ(record->CreatePatch(folder / "old", missing, folder.Path(), nullptr), 0);
    EXPECT_TRUE(ShowedOnly(prompt, {"Unable to open file:\n" + missing, "Delvorin Error", {}, PromptOwner::MainWindow}));

    // A file of 4 GiB cannot be described by the record's 32-bit lengths (sparse, so
    // nothing is really written or read).
    std::string big = folder.Write("new/big.bin", "");
    std::filesystem::resize_file(big, 0x100000000ULL);
    std::string small = folder.Write("old/big.bin", "x");
    prompt.Clear();
    EXPECT_EQ(record->CreatePatch(small, big, folder / "new", nullptr), 0);
    EXPECT_TRUE(ShowedOnly(prompt, {"The following file is too large for a Delvorin file (4 GB or more):\n" + big,
                                    "Delvorin Error"}));
    prompt.Clear();
    EXPECT_EQ(record->CreatePatch(big, small, folder / "old", nullptr), 0);
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_TRUE(Contains(prompt.Shown()[0].text, big));
    EXPECT_TRUE(record->newContent.empty());
}

TEST_F(Differencing, ContentsThatCannotBeHeldAreReported)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#else
    // A sparse new file of 512 MiB, read in a child process whose address space ends
    // 64 MiB above what it already uses.
    std::string big = folder.Write("new/big.bin", "");
    std::filesystem::resize_file(big, 512ULL << 20);
    std::string small = folder.Write("old/big.bin", "x");
    auto run = [&] {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(f);
        }
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (64 << 20);
        setrlimit(RLIMIT_AS, &limit);
        int result = record->CreatePatch(small, big, folder / "new", nullptr);
        const bool told = ShowedOnly(prompt, {"Unable to allocate enough memory to build Delvorin file.\n\nOperation "
                                              "cancelled!",
                                              "Delvorin Error", {}, PromptOwner::ProgressDialog, PromptIcon::Stop});
        std::_Exit(result == 0 && told && record->oldContent.empty() && record->newContent.empty() ? 0 : 1);
    };
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(Differencing, RelativeNameAndOldFolderInPlaceOfAFile)
{
    newFile = folder.Write("new/a/b.txt", "data");
    folder.MakeFolder("old/a/b.txt"); // a folder where the old file would be: a new file
    ASSERT_EQ(record->CreatePatch(folder / "old/a/b.txt", newFile, folder / "new/", nullptr), 1);
    EXPECT_EQ(record->name, "a/b.txt");
    EXPECT_EQ(record->newFileFlag, 1u);
    // Only a whole folder component is stripped.
    ASSERT_EQ(record->CreatePatch(folder / "old/a/b.txt", newFile, folder / "ne", nullptr), 1);
    EXPECT_EQ(record->name, newFile);
    ASSERT_EQ(record->CreatePatch(folder / "old/a/b.txt", newFile, "", nullptr), 1);
    EXPECT_EQ(record->name, newFile);
}

} // namespace
