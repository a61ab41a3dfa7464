// delvorin-cli diff: the objects of one file pair on standard output, errors on
// standard error with their exit statuses.
#include "support/CliRun.h"
#include "support/TestFolder.h"

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
    EXPECT_NE(out.find("separator:   0x0A\n"), std::string::npos) << out;
    EXPECT_NE(out.find("old blocks:  10\n"), std::string::npos) << out;
    EXPECT_NE(out.find("old-copy objects: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  old-copy  old 0  new 0  length 405\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  old-copy  old 406  new 406  length 394\n"), std::string::npos) << out;
    EXPECT_NE(out.find("new-data objects: 1\n  new-data  new 405  length 1\n"), std::string::npos) << out;

    ASSERT_EQ(Diff(dir, Quoted(oldFile) + " " + Quoted(oldFile), out, err), 0) << err;
    EXPECT_NE(out.find("identical content"), std::string::npos) << out;

    ASSERT_EQ(Diff(dir, Quoted(dir / "none.txt") + " " + Quoted(newFile), out, err), 0) << err;
    EXPECT_NE(out.find("(absent"), std::string::npos) << out;
    EXPECT_NE(out.find("  new-data  new 0  length 800\n"), std::string::npos) << out;
}

TEST(CliDiff, ErrorsGoToStandardError)
{
    CTestFolder dir;
    std::string out, err;
    EXPECT_EQ(Diff(dir, "only-one", out, err), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("diff needs OLD_FILE NEW_FILE"), std::string::npos) << err;

    std::string oldFile = dir.Write("old.txt", "abc");
    EXPECT_EQ(Diff(dir, Quoted(oldFile) + " " + Quoted(dir / "missing.txt"), out, err), 1);
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_NE(err.find("Unable to open file:\n" + (dir / "missing.txt")), std::string::npos) << err;
}

} // namespace
