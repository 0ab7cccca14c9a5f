#include "platform/posix/WineRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestovan::posix {
namespace {

const std::string Header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n";

// Keys in the file in an order Wine would not write them: lookups, spelling
// and the order of sub-keys follow the file, not the sorted index.
TEST(WineRegistryIndex, AHiveOutOfOrderIsReadAsWritten) {
    const std::string text = Header + "\n[B\\\\x] 1\n\"v\"=\"1\"\n"
                                      "\n[a\\\\y] 1\n"
                                      "\n[A\\\\b] 1\n@=\"ab\"\n"
                                      "\n[b] 1\n\"v\"=\"2\"\n";
    RegistryHive hive = RegistryHive::Parse(text);
    EXPECT_EQ(hive.SubKeyNames(""), (std::vector<std::string>{"B", "a"}));
    EXPECT_EQ(hive.SubKeyNames("A"), (std::vector<std::string>{"y", "b"}));
    EXPECT_TRUE(hive.KeyExists("A\\Y"));
    EXPECT_FALSE(hive.KeyExists("A\\c"));
    EXPECT_EQ(hive.GetString("a\\B", ""), "ab");
    EXPECT_EQ(hive.GetString("B", "v"), "2");

    // A new key goes before the first block that sorts after it.
    hive.CreateKey("a\\c");
    const std::string created = hive.Serialize();
    const std::size_t at = created.find("\n[a\\\\c] ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(at, created.find("[B\\\\x]"));

    // Deleting "a\y" leaves a\b and a\c; deleting B\x leaves B's own block.
    EXPECT_TRUE(hive.DeleteKeyTree("A\\y"));
    EXPECT_TRUE(hive.DeleteKeyTree("b\\X"));
    EXPECT_EQ(hive.SubKeyNames(""), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(hive.SubKeyNames("a"), (std::vector<std::string>{"c", "b"}));
    const std::string after = hive.Serialize();
    EXPECT_EQ(after.find("[B\\\\x]"), std::string::npos);
    EXPECT_EQ(after.find("[a\\\\y]"), std::string::npos);
    EXPECT_NE(after.find("\n[A\\\\b] 1\n@=\"ab\"\n\n[b] 1\n\"v\"=\"2\"\n"), std::string::npos);
    EXPECT_EQ(RegistryHive::Parse(after).Serialize(), after);
}

// Names beyond ASCII (escaped units of every size) are keys of their own,
// apart from their neighbours and from the keys they begin.
TEST(WineRegistryIndex, NamesBeyondAsciiAreKeysOfTheirOwn) {
    const std::string text = Header + "\n[\\x1000] 1\n@=\"one\"\n"
                                      "\n[\\x1000\\\\Sub] 1\n@=\"sub\"\n"
                                      "\n[\\x1000z] 1\n@=\"two\"\n"
                                      "\n[Caf\\xe9] 1\n@=\"three\"\n";
    RegistryHive hive = RegistryHive::Parse(text);
    const std::string one = "\xe1\x80\x80"; // U+1000 in UTF-8
    EXPECT_EQ(hive.GetString(one, ""), "one");
    EXPECT_EQ(hive.GetString(one + "\\sub", ""), "sub");
    EXPECT_EQ(hive.GetString(one + "z", ""), "two");
    EXPECT_EQ(hive.GetString("CAF\xc3\x89", ""), "three"); // É folds to é
    EXPECT_EQ(hive.SubKeyNames(one), (std::vector<std::string>{"Sub"}));
    EXPECT_TRUE(hive.DeleteKeyTree(one));
    EXPECT_FALSE(hive.KeyExists(one + "\\Sub"));
    EXPECT_TRUE(hive.KeyExists(one + "z"));
    EXPECT_EQ(hive.Serialize(),
              Header + "\n[\\x1000z] 1\n@=\"two\"\n\n[Caf\\xe9] 1\n@=\"three\"\n");
}

// A large hive changed in a few places is written as the untouched
// stretches of the text read and the changed blocks only.
TEST(WineRegistryIndex, ALargeHiveChangesOnlyWhereChanged) {
    std::string text = Header + "\n#arch=win64\n";
    for (int k = 0; k < 20000; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "K%05d", k);
        text += std::string("\n[Software\\\\Classes\\\\") + name + "] 1700000000\n#time=1\n@=\"" +
                name + "\"\n\"Data\"=hex:01,02,\\\n  03\n";
    }
    RegistryHive hive = RegistryHive::Parse(text);
    EXPECT_EQ(hive.Serialize(), text);
    EXPECT_EQ(hive.Pieces().size(), 1u);
    EXPECT_EQ(hive.SubKeyNames("Software\\Classes").size(), 20000u);
    EXPECT_EQ(hive.GetString("software\\classes\\k12345", ""), "K12345");

    EXPECT_TRUE(hive.DeleteKeyTree("Software\\Classes\\K10000"));
    EXPECT_TRUE(hive.SetString("Software\\Classes\\K00002", "", "changed"));
    EXPECT_EQ(hive.Pieces().size(), 4u); // before, the changed block, between, after

    std::string expected = text;
    const std::string gone =
        "\n[Software\\\\Classes\\\\K10000] 1700000000\n#time=1\n@=\"K10000\"\n\"Data\"=hex:01,"
        "02,\\\n  03\n";
    expected.erase(expected.find(gone), gone.size());
    const std::string old = "@=\"K00002\"\n";
    expected.replace(expected.find(old), old.size(), "@=\"changed\"\n");
    EXPECT_EQ(hive.Serialize(), expected);
    EXPECT_FALSE(hive.KeyExists("Software\\Classes\\K10000"));
    EXPECT_EQ(hive.GetString("Software\\Classes\\K00002", ""), "changed");
}

} // namespace
} // namespace kestovan::posix
