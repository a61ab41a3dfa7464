// Names a Windows file system cannot hold, and names it takes for one.
#include "engine/common/WindowsNames.h"

#include <gtest/gtest.h>

namespace {

using P = WindowsNameProblem;

TEST(WindowsNames, ProblemOfOneComponent)
{
    const struct {
        const char* name;
        P problem;
    } rows[] = {
        {"readme.txt", P::None},
        {"CON", P::Reserved},
        {"con.txt", P::Reserved},          // any extension
        {"Nul.tar.gz", P::Reserved},       // the part before the first dot counts
        {"aux .log", P::Reserved},         // blanks before the dot are dropped by Windows
        {"COM1", P::Reserved},
        {"lpt9.dat", P::Reserved},
        {"COM\xC2\xB9", P::Reserved},      // superscript one
        {"conout$", P::Reserved},
        {"COM0", P::None},
        {"COM10", P::None},
        {"LPT", P::None},
        {"console", P::None},
        {"CONx.txt", P::None},
        {"prn_driver", P::None},
        {"a<b", P::ForbiddenCharacter},
        {"a>b", P::ForbiddenCharacter},
        {"c:d", P::ForbiddenCharacter},
        {"say \"hi\"", P::ForbiddenCharacter},
        {"a|b", P::ForbiddenCharacter},
        {"why?", P::ForbiddenCharacter},
        {"*.bak", P::ForbiddenCharacter},
        {"tab\there", P::ControlCharacter},
        {"\x1f", P::ControlCharacter},
        {"ends.", P::TrailingDotOrBlank},
        {"ends ", P::TrailingDotOrBlank},
        {"CON.", P::TrailingDotOrBlank}, // the first problem found is named
        {".htaccess", P::None},
        {"caf\xC3\xA9", P::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WindowsNameProblemOf(row.name), row.problem) << row.name;
}

TEST(WindowsNames, CaseFoldingOfTheAlphabetsInUse)
{
    EXPECT_EQ(WindowsCaseFold("Readme.TXT"), "README.TXT");
    EXPECT_EQ(WindowsCaseFold("caf\xC3\xA9"), "CAF\xC3\x89");                // é -> É
    EXPECT_EQ(WindowsCaseFold("\xC5\x82\xC3\xB3" "d\xC5\xBA"), "\xC5\x81\xC3\x93" "D\xC5\xB9"); // łódź -> ŁÓDŹ
    EXPECT_EQ(WindowsCaseFold("\xD0\xB6\xD1\x91"), "\xD0\x96\xD0\x81");      // жё -> ЖЁ
    EXPECT_EQ(WindowsCaseFold("\xCE\xB1\xCF\x89"), "\xCE\x91\xCE\xA9");      // αω -> ΑΩ
    EXPECT_EQ(WindowsCaseFold("\xC3\xBF"), "\xC5\xB8");                      // ÿ -> Ÿ
    EXPECT_EQ(WindowsCaseFold("\xC3\xB7"), "\xC3\xB7");                      // the division sign stays
    // Not UTF-8 (a Latin-1 é): only the ASCII letters are folded, the byte stays.
    EXPECT_EQ(WindowsCaseFold("caf\xE9"), "CAF\xE9");
    // An overlong form is no UTF-8 either.
    EXPECT_EQ(WindowsCaseFold("a\xC1\xA1"), "A\xC1\xA1");
}

TEST(WindowsNames, ReportListsUnfitNamesAndCaseTwinsOnce)
{
    const CWindowsNameReport report = FindWindowsNameProblems({
        "bin/app.exe",
        "docs/readme.txt",
        "Docs/Guide.pdf",    // the folder "Docs" is "docs" to Windows
        "Docs/other.pdf",    // the same pair is not listed again
        "data\\Read.me",
        "data\\read.ME",     // either separator
        "logs/aux.log",
        "trail./x.txt",      // a folder's problem marks each name below it
        "caf\xC3\xA9.txt",
        "CAF\xC3\x89.TXT",
    });
    ASSERT_EQ(report.unfit.size(), 2u);
    EXPECT_EQ(report.unfit[0], std::make_pair(std::string("logs/aux.log"), P::Reserved));
    EXPECT_EQ(report.unfit[1], std::make_pair(std::string("trail./x.txt"), P::TrailingDotOrBlank));
    const std::vector<std::pair<std::string, std::string>> twins = {
        {"docs", "Docs"}, {"data/Read.me", "data/read.ME"}, {"caf\xC3\xA9.txt", "CAF\xC3\x89.TXT"}};
    EXPECT_EQ(report.caseTwins, twins);
    EXPECT_TRUE(FindWindowsNameProblems({"a/b", "a/c", "B"}).Empty());
}

} // namespace
