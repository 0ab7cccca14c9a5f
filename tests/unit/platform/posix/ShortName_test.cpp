#include "platform/posix/ShortName.h"

#include <gtest/gtest.h>

namespace kestovan::posix {
namespace {

TEST(ShortName, ValidEightDotThreeNamesAreRecognisedInAnyCase) {
    for (const char* name :
         {"TVIEWER.EXE", "readme.txt", "A", "12345678.123", "TAVORI~1.BMP", "$X&(1)'!.{}", "NOEXT"})
        EXPECT_TRUE(IsValidShortName(name)) << name;
    for (const char* name : {"", "123456789", "A.1234", "A.", ".A", "A.B.C", "A B.TXT", "A+B.TXT",
                             "caf\xc3\xa9.txt", "A;B", "."})
        EXPECT_FALSE(IsValidShortName(name)) << name;
}

TEST(ShortName, StemTakesSixValidBaseAndThreeExtensionCharacters) {
    EXPECT_EQ(MakeShortNameStem("Tavori Viewer Wallpaper.BMP"), (ShortNameStem{"TAVORI", "BMP"}));
    EXPECT_EQ(MakeShortNameStem("Program Files"), (ShortNameStem{"PROGRA", ""}));
    EXPECT_EQ(MakeShortNameStem("my.long.name.html"), (ShortNameStem{"MYLONG", "HTM"}));
    EXPECT_EQ(MakeShortNameStem("a b+c.t x t"), (ShortNameStem{"ABC", "TXT"}));
    EXPECT_EQ(MakeShortNameStem(".profile"), (ShortNameStem{"PROFIL", ""}));
    EXPECT_EQ(MakeShortNameStem("caf\xc3\xa9 au lait.jpeg"), (ShortNameStem{"CAFAUL", "JPE"}));
}

TEST(ShortName, NumberFollowsTheStemAndKeepsEightCharacters) {
    const ShortNameStem stem{"TAVORI", "BMP"};
    EXPECT_EQ(FormatShortName(stem, 1), "TAVORI~1.BMP");
    EXPECT_EQ(FormatShortName(stem, 2), "TAVORI~2.BMP");
    EXPECT_EQ(FormatShortName(stem, 10), "TAVOR~10.BMP");
    EXPECT_EQ(FormatShortName(ShortNameStem{"PROGRA", ""}, 1), "PROGRA~1");
    EXPECT_EQ(FormatShortName(ShortNameStem{"AB", "C"}, 3), "AB~3.C");
}

} // namespace
} // namespace kestovan::posix
