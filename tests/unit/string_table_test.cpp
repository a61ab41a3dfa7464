// The string table and the account's full name.
#include "app/StringTable.h"
#include "app/UserIdentity.h"

#include <gtest/gtest.h>

TEST(StringTable, HoldsTheProgramTextsUnderTheirNumbers)
{
    EXPECT_EQ(LoadString(101), "&About Delvorin...");
    EXPECT_EQ(LoadString(103), "Delvorin 1.2");
    EXPECT_EQ(LoadString(104), "Building Patch File");
    EXPECT_EQ(LoadString(114), "Applying Patch");
    EXPECT_EQ(LoadString(120), "Delvorin Error");
    EXPECT_EQ(LoadString(122), "Wizard");
    EXPECT_EQ(LoadString(128), "The value you typed in must be numeric.  Please correct before choosing OK.");
    EXPECT_EQ(LoadString(107), "You must specify different folder names for the old files folder\n"
                               "and the new files folder to build a patch file.");
    EXPECT_EQ(LoadString(125), "To create a self-extracting patch program,\nthe file name extension must be \".exe\"");
    // The two name-check messages list the characters with the backslash and the quote.
    EXPECT_EQ(LoadString(129), "A folder name cannot contain any of the following characters:\n/:*?\\\"<>|");
    EXPECT_EQ(LoadString(130), "A file name cannot contain any of the following characters:\n\\/:*?\\\"<>|");
}

TEST(StringTable, UnknownNumbersGiveAnEmptyText)
{
    for (int id : {0, 100, 102, 106, 113, 116, 121, 131, -1})
        EXPECT_EQ(LoadString(id), "") << id;
}

TEST(UserIdentity, TheFullNameIsTheCommentUpToItsFirstCommaOrElseTheLogin)
{
    EXPECT_EQ(FullNameFromGecos("Ada Lovelace,Room 12,555-1234,,", "ada"), "Ada Lovelace");
    EXPECT_EQ(FullNameFromGecos("Ada Lovelace", "ada"), "Ada Lovelace");
    EXPECT_EQ(FullNameFromGecos("", "ada"), "ada");
    EXPECT_EQ(FullNameFromGecos(",Room 12", "ada"), "ada");
    EXPECT_FALSE(AccountFullName().empty()); // the account running the tests exists
}
