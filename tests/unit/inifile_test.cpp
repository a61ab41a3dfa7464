// The INI reader and writer behind project files, on real files.
#include "app/IniFile.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every test has a scratch folder for its files.
class IniFile : public testing::Test {
protected:
    CIniFile LoadFrom(const std::string& text)
    {
        CIniFile ini;
        EXPECT_TRUE(ini.Load(dir.Write("test.ini", text)));
        return ini;
    }
    CTestFolder dir;
};

} // namespace

TEST_F(IniFile, ReadsValuesBySectionAndKeyIgnoringLetterCase)
{
    CIniFile ini = LoadFrom("[First]\nName=one\n[Second]\nname=two\r\n  Spaced  =  x y  \n");
    EXPECT_EQ(ini.GetString("First", "Name"), "one");
    EXPECT_EQ(ini.GetString("FIRST", "nAmE"), "one");
    EXPECT_EQ(ini.GetString("second", "NAME"), "two"); // the "\r" of a Windows line end is not part of it
    EXPECT_EQ(ini.GetString("Second", "Spaced"), "x y");
    // A key of another section, a missing key and a missing section all read as empty.
    EXPECT_EQ(ini.GetString("Second", "Other"), "");
    EXPECT_EQ(ini.GetString("Third", "Name"), "");
    EXPECT_FALSE(ini.HasKey("First", "Missing"));
    EXPECT_EQ(ini.GetInt("First", "Missing"), 0u);
}

TEST_F(IniFile, ValueIsReadIntoA255CharacterBuffer)
{
    std::string value(300, 'v');
    for (size_t i = 0; i < value.size(); ++i)
        value[i] = static_cast<char>('a' + i % 26);
    CIniFile ini = LoadFrom("[S]\nLong=" + value + "\nExact=" + value.substr(0, 254) + "\n");
    EXPECT_EQ(ini.GetString("S", "Long"), value.substr(0, 254));
    EXPECT_EQ(ini.GetString("S", "Exact"), value.substr(0, 254));
    EXPECT_EQ(ini.GetWholeString("S", "Long"), value);
}

TEST_F(IniFile, NumbersAreReadFromTheRightEnd)
{
    struct Case {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"", 0},        {"0", 0},      {"42", 42},        {"12x34", 34},   {"20L", 20},
        {"20l", 20},    {"-5", 5},     {"abc", 0},        {"3 4", 4},       {"0x1F", 31},
        {"0X1f", 31},   {"0xffL", 255}, {"0x", 0},        {"1F", 0},       {"0xZ", 0},
        {"4294967296", 0}, // wraps modulo 2^32
    };
    for (const Case& c : cases)
        EXPECT_EQ(CIniFile::ParseNumber(c.text), c.expected) << '"' << c.text << '"';

    CIniFile ini = LoadFrom("[N]\nA=12x34\nB=0x1F\nC=20L\nD=\n");
    EXPECT_EQ(ini.GetInt("N", "A"), 34u);
    EXPECT_EQ(ini.GetInt("N", "B"), 31u);
    EXPECT_EQ(ini.GetInt("N", "C"), 20u);
    EXPECT_EQ(ini.GetInt("N", "D"), 0u);
}

TEST_F(IniFile, WritesSectionsAndKeysInTheOrderWritten)
{
    CIniFile ini;
    ini.WriteString("Alpha", "One", "1");
    ini.WriteString("Beta", "Two", "2");
    ini.WriteString("Alpha", "Three", "3"); // goes to the end of its own section
    ini.WriteString("alpha", "ONE", "uno"); // replaces in place, whatever the letter case
    ini.WriteString("Beta", "Empty", "");
    std::string path = dir / "out.ini";
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(SplitLines(ReadFileText(path)),
              (std::vector<std::string>{"[Alpha]", "One=uno", "Three=3", "[Beta]", "Two=2", "Empty="}));

    CIniFile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.GetString("Alpha", "One"), "uno");
    EXPECT_EQ(back.GetString("Beta", "Empty"), "");
    EXPECT_TRUE(back.HasKey("Beta", "Empty"));
}

TEST_F(IniFile, WritingIntoAnExistingFileKeepsEverythingElse)
{
    CIniFile ini = LoadFrom("; a comment\n[A]\nx = 1\n\n[B]\ny=2\n");
    ini.WriteString("A", "X", "10");
    ini.WriteString("A", "z", "3"); // before the blank line that parts A from B
    ini.WriteString("C", "w", "4");
    EXPECT_EQ(SplitLines(ini.Text()),
              (std::vector<std::string>{"; a comment", "[A]", "x=10", "z=3", "", "[B]", "y=2", "[C]", "w=4"}));
}

TEST_F(IniFile, AValueWithALineBreakReadsBackOnlyToTheBreak)
{
    CIniFile ini;
    ini.WriteString("S", "Text", "first line\nsecond line");
    ini.WriteString("S", "After", "a");
    // The document answers as the saved file will, also before it is saved.
    EXPECT_EQ(ini.GetString("S", "Text"), "first line");
    std::string path = dir / "break.ini";
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(SplitLines(ReadFileText(path)),
              (std::vector<std::string>{"[S]", "Text=first line", "second line", "After=a"}));
    CIniFile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.GetString("S", "Text"), "first line");
    EXPECT_EQ(back.GetString("S", "After"), "a");
}

TEST_F(IniFile, DuplicatesAndOddLines)
{
    CIniFile ini = LoadFrom("Stray=0\n[S]\nK=first\nK=second\nno equals sign\n=nameless\n[s]\nK=third\nL=other\n"
                            "[Open\nM=m");
    EXPECT_EQ(ini.GetString("S", "K"), "first"); // the first of duplicates wins
    EXPECT_EQ(ini.GetString("S", "L"), "other"); // a section named twice is searched whole
    EXPECT_EQ(ini.GetString("Open", "M"), "m");  // a header without "]" and a last line without "\n"
    EXPECT_EQ(ini.GetString("", "Stray"), "");   // keys before any section belong to none
    EXPECT_EQ(ini.KeyNames("S"), (std::vector<std::string>{"K", "L"}));
}

TEST_F(IniFile, MissingOrUnwritableFiles)
{
    CIniFile ini;
    EXPECT_FALSE(ini.Load(dir / "absent.ini"));
    EXPECT_EQ(ini.GetString("S", "K"), "");
    ini.WriteString("S", "K", "v");
    EXPECT_FALSE(ini.Save(dir / "no/such/folder/x.ini"));
}
