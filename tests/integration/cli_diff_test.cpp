// delvorin-cli diff: the objects of one file pair on standard output, errors on
// standard error with their exit statuses.
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>


namespace {

int Diff(const CTestFolder& dir, const std::string& arguments, std::string& out, std::string& err)
{
    return RunCli("diff " + arguments, dir.Path(), dir.Path(), out, err);
}

TEST(CliDiff, ListsTheObjects)
{
    CTestFolder dir;
    std::string text;
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 39; ++j)
            text += static_cast<char>('A' + (i * 5 + j * 3) % 13);
        text += '\n';
    }
    std::string changed = text;
    changed[405] = '#';
    std::string oldFile = dir.Write("old.txt", text);
    std::string newFile = dir.Write("new.txt", changed);
    std::string out, err;
    ASSERT_EQ(Diff(dir, Quoted(oldFile) + " " + Quoted(newFile), out, err), 0) << err;
    EXPECT_TRUE(Contains(out, "separator:   0x0A\n"));
    EXPECT_TRUE(Contains(out, "old blocks:  10\n"));
    EXPECT_TRUE(Contains(out, "old-copy objects: 2\n"));
    EXPECT_TRUE(Contains(out, "  old-copy  old 0  new 0  length 405\n"));
    EXPECT_TRUE(Contains(out, "  old-copy  old 406  new 406  length 394\n"));
    EXPECT_TRUE(Contains(out, "new-data objects: 1\n  new-data  new 405  length 1\n"));

    ASSERT_EQ(Diff(dir, Quoted(oldFile) + " " + Quoted(oldFile), out, err), 0) << err;
    EXPECT_TRUE(Contains(out, "identical content"));

    ASSERT_EQ(Diff(dir, Quoted(dir / "none.txt") + " " + Quoted(newFile), out, err), 0) << err;
    EXPECT_TRUE(Contains(out, "(absent"));
    EXPECT_TRUE(Contains(out, "  new-data  new 0  length 800\n"));
}

TEST(CliDiff, ErrorsGoToStandardError)
{
    CTestFolder dir;
    std::string out, err;
    EXPECT_EQ(Diff(dir, "only-one", out, err), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(Contains(err, "diff needs OLD_FILE NEW_FILE"));

    std::string oldFile = dir.Write("old.txt", "abc");
    EXPECT_EQ(Diff(dir, Quoted(oldFile) + " " + Quoted(dir / "missing.txt"), out, err), 1);
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_TRUE(Contains(err, "Unable to open file:\n" + (dir / "missing.txt")));
}

} // namespace
