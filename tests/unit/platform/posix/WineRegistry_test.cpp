#include "platform/posix/WineRegistry.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace kestovan::posix {
namespace {

// The excerpts of a prefix's hives as Wine 8 wrote them (see
// tests/data/registry/README.md).
std::string ReadData(const std::string& name) {
    std::ifstream in(std::filesystem::path(KESTOVAN_TEST_DATA_DIR) / "registry" / name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string& UserHive() {
    static const std::string text = ReadData("user.reg");
    return text;
}

const std::string& SystemHive() {
    static const std::string text = ReadData("system.reg");
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text without one line (given without its line end).
std::string WithoutLine(const std::string& text, const std::string& line) {
    const std::size_t at = text.find("\n" + line + "\n");
    EXPECT_NE(at, std::string::npos) << line;
    if (at == std::string::npos)
        return text;
    return text.substr(0, at + 1) + text.substr(at + line.size() + 2);
}

// The text without the block of a key (its path as written in the file),
// including the blank line in front of it.
std::string WithoutBlock(const std::string& text, const std::string& writtenPath) {
    const std::size_t at = text.find("\n[" + writtenPath + "] ");
    EXPECT_NE(at, std::string::npos) << writtenPath;
    if (at == std::string::npos)
        return text;
    const std::size_t next = text.find("\n\n[", at + 1);
    return text.substr(0, at) + (next == std::string::npos ? "" : text.substr(next + 1));
}

void ExpectCorrupt(const std::string& text) {
    try {
        RegistryHive::Parse(text);
        ADD_FAILURE() << "accepted: " << text.substr(0, 200);
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), err::PathFileAccessError);
    }
}

constexpr const char* Header = "WINE REGISTRY Version 2\n"
                               ";; All keys relative to REGISTRY\\\\Machine\n"
                               "\n"
                               "#arch=win64\n";

// --- The file format ----------------------------------------------------------

TEST(WineRegistryFormat, RealHivesRoundTripByteForByte) {
    for (const std::string* text : {&UserHive(), &SystemHive()}) {
        ASSERT_GT(text->size(), 5000u);
        EXPECT_EQ(RegistryHive::Parse(*text).Serialize(), *text);
        // The same with DOS line ends, which Wine also reads.
        const std::string dos = std::regex_replace(*text, std::regex("\n"), "\r\n");
        EXPECT_EQ(RegistryHive::Parse(dos).Serialize(), dos);
    }
}

TEST(WineRegistryFormat, ReadsStringValuesAsWineWroteThem) {
    const RegistryHive user = RegistryHive::Parse(UserHive());
    EXPECT_EQ(user.GetString("Environment", "TMP"), "C:\\users\\root\\Temp");
    EXPECT_EQ(
        user.GetString("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       "Start Menu"),
        "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    EXPECT_EQ(
        user.GetString("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                       "Desktop"),
        "%USERPROFILE%\\Desktop"); // str(2), not expanded
    EXPECT_EQ(user.GetString("Software\\VB and VBA Program Settings\\TViewer\\Settings", "EXEPath"),
              "C:\\Program Files\\Tavori Viewer\\");

    const std::string samples = "Software\\Kestovan Samples";
    EXPECT_EQ(user.GetString(samples, ""), "default text");
    EXPECT_EQ(user.GetString(samples, "Control"), "A\tB\nC\rD\x1b"
                                                  "E\aF\x01"
                                                  "7");
    EXPECT_EQ(user.GetString(samples, "Unicode"), "Café éA › 😀");
    EXPECT_EQ(user.GetString(samples, "Quote \"inside\" name"), "say \"hello\"");
    EXPECT_EQ(user.GetString(samples, "Backslash"), "a\\b\\\\c");
    EXPECT_EQ(user.GetString(samples, "Empty"), "");
    EXPECT_EQ(user.GetString(samples, "Expand"), "%USERPROFILE%\\Temp");
    EXPECT_EQ(user.GetString(samples, "Unterminated"), "AB");
    EXPECT_EQ(user.GetString(samples + "\\Café", "Name"), "Café über");
    EXPECT_EQ(user.GetString("Control Panel\\International\\🌎🌏🌍", "Currencies"), "USD");

    // Only strings: multi-strings, numbers and binary data are not texts.
    EXPECT_EQ(user.GetString(samples, "Multi"), std::nullopt);
    EXPECT_EQ(user.GetString(samples, "Number"), std::nullopt);
    EXPECT_EQ(user.GetString(samples, "Binary"), std::nullopt);
    EXPECT_EQ(user.GetString(samples, "Missing"), std::nullopt);
    EXPECT_EQ(user.GetString(samples + "\\Missing", ""), std::nullopt);
    // A key without a default value.
    EXPECT_EQ(user.GetString("Environment", ""), std::nullopt);

    // Key paths and value names ignore letter case.
    EXPECT_EQ(user.GetString("ENVIRONMENT", "tmp"), "C:\\users\\root\\Temp");
    EXPECT_EQ(user.GetString("software\\kestovan samples\\CAFÉ", "name"), "Café über");

    const RegistryHive system = RegistryHive::Parse(SystemHive());
    EXPECT_EQ(system.GetString("Software\\Classes\\.bmp", ""), "Paint.Picture");
    EXPECT_EQ(system.GetString("Software\\Classes\\TavoriViewer\\shell\\open\\command", ""),
              "\"C:\\Program Files\\Tavori Viewer\\TVIEWER.EXE\" \"%1\"");
    EXPECT_EQ(system.GetString("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
                               "S-1-5-21-0-0-0-1000",
                               "ProfileImagePath"),
              "C:\\users\\root");
}

TEST(WineRegistryFormat, ReadsTheHeader) {
    const RegistryHive user = RegistryHive::Parse(UserHive());
    EXPECT_EQ(user.RootPath(), "REGISTRY\\User\\S-1-5-21-0-0-0-1000");
    EXPECT_EQ(user.Architecture(), "win64");
    EXPECT_EQ(RegistryHive::Parse(SystemHive()).RootPath(), "REGISTRY\\Machine");

    const RegistryHive bare = RegistryHive::Parse("WINE REGISTRY Version 2\n");
    EXPECT_EQ(bare.RootPath(), "");
    EXPECT_EQ(bare.Architecture(), "");
    EXPECT_FALSE(bare.KeyExists("Software"));
}

TEST(WineRegistryFormat, AcceptsWhatWineAccepts) {
    const std::string text = std::string(Header) + "; a comment\n"
                                                   "\n"
                                                   "[Software\\\\A]\n" // no time
                                                   "  \"Indented\" = \"yes\"\n"
                                                   "#class=\"Kind\"\n"
                                                   "\"Data\"=hex(ffff0012):01, 02 ,\\\n"
                                                   "\n" // a hex list may end on an empty line
                                                   "\"Word\"=dword:\n" // Wine reads this as 0
                                                   "\n"
                                                   "[] 1700000000\n"
                                                   "@=\"root\"\n";
    const RegistryHive hive = RegistryHive::Parse(text);
    EXPECT_EQ(hive.Serialize(), text);
    EXPECT_EQ(hive.GetString("Software\\A", "indented"), "yes");
    EXPECT_EQ(hive.GetString("", ""), "root");
    EXPECT_EQ(hive.GetString("Software\\A", "Data"), std::nullopt);
}

TEST(WineRegistryFormat, RejectsTextWineWouldNotLoadWhole) {
    const std::string header = Header;
    ExpectCorrupt("");
    ExpectCorrupt("\n");
    ExpectCorrupt("WINE REGISTRY Version 1\n");
    ExpectCorrupt("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n");
    ExpectCorrupt("WINE REGISTRY Version 2"); // cut off in the first line
    ExpectCorrupt(header + "#arch=win16\n");
    ExpectCorrupt(header + "\"Orphan\"=\"value before any key\"\n");
    ExpectCorrupt(header + "[Software\\\\Cla\n");         // key line cut off
    ExpectCorrupt(header + "[Software\\\\A\\] 1\n");      // an escaped bracket does not close
    ExpectCorrupt(header + "[A] 1\n\"Name\"=\"no end\n"); // broken string
    ExpectCorrupt(header + "[A] 1\n\"Name\"=\"ends in a backslash\\\n");
    ExpectCorrupt(header + "[A] 1\n\"Name=\"x\"\n");     // broken name
    ExpectCorrupt(header + "[A] 1\n\"Name\" \"x\"\n");   // no equals sign
    ExpectCorrupt(header + "[A] 1\n\"Name\"=qword:1\n"); // unknown type
    ExpectCorrupt(header + "[A] 1\n\"Name\"=str(3):\"x\"\n");
    ExpectCorrupt(header + "[A] 1\n\"Name\"=hex():00\n");
    ExpectCorrupt(header + "[A] 1\n\"Name\"=hex:00,0g\n");
    ExpectCorrupt(header + "[A] 1\n\"Name\"=hex:100\n");
    ExpectCorrupt(header + "[A] 1\n\"Name\"=hex:00,01,\\\n"); // continuation missing
    ExpectCorrupt(header + "[A] 1\nplain words\n");
    ExpectCorrupt(std::string("\x7f"
                              "ELF\x02\x01\x01\0\0garbage\n",
                              17));

    // A real hive cut off inside a line.
    const std::string& real = UserHive();
    for (const char* inside : {"[Environment] 17", "\"TMP\"=\"C:\\\\us", "\"Binary\"=hex:00,01"})
        ExpectCorrupt(real.substr(0, real.find(inside) + std::string(inside).size()));
}

// --- Escapes --------------------------------------------------------------------

TEST(WineRegistryEscapes, SetStringWritesTheLinesWineWrote) {
    // Each value is taken out of the real hive and set again: the text must
    // come back byte for byte, line and place.
    struct Case {
        std::string key, name, line;
    };
    const std::vector<Case> cases = {
        {"Software\\Kestovan Samples", "Control", R"("Control"="A\tB\nC\rD\eE\aF\0017")"},
        {"Software\\Kestovan Samples", "Unicode",
         R"("Unicode"="Caf\xe9 \x00e9A \x203a \xd83d\xde00")"},
        {"Software\\Kestovan Samples", "Quote \"inside\" name",
         R"("Quote \"inside\" name"="say \"hello\"")"},
        {"Software\\Kestovan Samples", "Backslash", R"("Backslash"="a\\b\\\\c")"},
        {"Software\\Kestovan Samples", "", R"(@="default text")"},
        {"Software\\Kestovan Samples", "Empty", R"("Empty"="")"},
        {"Software\\Kestovan Samples\\Café", "Name", R"("Name"="Caf\xe9 \x00fcber")"},
        {"Control Panel\\International\\🌎🌏🌍", "Currencies", R"("Currencies"="USD")"},
        {"Environment", "TMP", R"("TMP"="C:\\users\\root\\Temp")"},
        {"Software\\VB and VBA Program Settings\\TViewer\\Settings", "EXEPath",
         R"("EXEPath"="C:\\Program Files\\Tavori Viewer\\")"},
    };
    const RegistryHive original = RegistryHive::Parse(UserHive());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto value = original.GetString(c.key, c.name);
        ASSERT_TRUE(value.has_value());
        RegistryHive hive = RegistryHive::Parse(WithoutLine(UserHive(), c.line));
        ASSERT_EQ(hive.GetString(c.key, c.name), std::nullopt);
        EXPECT_TRUE(hive.SetString(c.key, c.name, *value));
        EXPECT_EQ(hive.Serialize(), UserHive());
    }
}

TEST(WineRegistryEscapes, WritesWineEscapes) {
    struct Case {
        std::string value, written;
    };
    const std::vector<Case> cases = {
        {"A\tB\x1b", R"("A\tB\e")"},
        {"\x01"
         "7",
         R"("\0017")"},
        {"\x01"
         "8",
         R"("\18")"},
        {std::string("a\0", 2), R"("a\0")"},
        {"\x1f", R"("\37")"},
        {"éA", R"("\x00e9A")"},
        {"éz", R"("\xe9z")"},
        {"é", R"("\xe9")"},
        {"€", R"("\x20ac")"},
        {"😀", R"("\xd83d\xde00")"},
        {"[x] \"q\" \\", R"("[x] \"q\" \\")"},
        {"\xE9", R"("\xe9")"}, // a byte that is not UTF-8 counts as Latin-1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        RegistryHive hive = RegistryHive::Parse(Header);
        hive.SetString("K", "v", c.value);
        const auto lines = Lines(hive.Serialize());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "\"v\"=" + c.written);
    }
}

TEST(WineRegistryEscapes, TextsSurviveWritingAndReading) {
    std::string controls;
    for (char c = 1; c < 32; ++c)
        controls += c;
    const std::vector<std::string> texts = {
        "",
        controls,
        std::string("nul\0"
                    "07 inside",
                    13),
        "C:\\Program Files\\Tavori Viewer\\",
        "\"quoted\" and [bracketed]",
        "\\x41 is not an escape here",
        "Ünïcödé façade – 中文 – 😀🌍",
        "é1é9éAéaéG",
    };
    RegistryHive hive = RegistryHive::Parse(Header);
    for (std::size_t k = 0; k < texts.size(); ++k)
        hive.SetString("Software\\Kestovan", "Value " + std::to_string(k), texts[k]);
    hive.SetString("Software\\Odd [1]\\\"Name\" – ü", "Name [2] \"q\" \\ é", "x");

    const RegistryHive again = RegistryHive::Parse(hive.Serialize());
    for (std::size_t k = 0; k < texts.size(); ++k)
        EXPECT_EQ(again.GetString("Software\\Kestovan", "Value " + std::to_string(k)), texts[k])
            << k;
    EXPECT_EQ(again.GetString("Software\\Odd [1]\\\"Name\" – ü", "Name [2] \"q\" \\ é"), "x");
    EXPECT_EQ(again.SubKeyNames("Software\\Odd [1]"), std::vector<std::string>{"\"Name\" – ü"});
    EXPECT_NE(hive.Serialize().find("[Software\\\\Odd \\[1\\]\\\\\"Name\" \\x2013 \\xfc] "),
              std::string::npos);
}

// --- Keys ---------------------------------------------------------------------------

TEST(WineRegistryKeys, KeyExistsWhenItOrASubKeyHasABlock) {
    const RegistryHive system = RegistryHive::Parse(SystemHive());
    EXPECT_TRUE(system.KeyExists(""));
    EXPECT_TRUE(system.KeyExists("Software\\Classes\\TavoriViewer"));
    EXPECT_TRUE(system.KeyExists("SOFTWARE\\classes\\tavoriviewer\\Shell")); // only sub-keys
    EXPECT_TRUE(system.KeyExists("Software"));
    EXPECT_TRUE(system.KeyExists("\\Software\\\\Classes\\"));
    EXPECT_FALSE(system.KeyExists("Software\\Classes\\TavoriViewer\\shell\\print"));
    EXPECT_FALSE(system.KeyExists("Software\\Classes\\TavoriViewe"));
    EXPECT_FALSE(
        system.KeyExists("Software\\Classes\\TavoriViewer.Image\\shell\\open\\command\\x"));
}

TEST(WineRegistryKeys, SubKeyNamesAreTheDirectChildrenAsWritten) {
    const RegistryHive system = RegistryHive::Parse(SystemHive());
    EXPECT_EQ(system.SubKeyNames("software\\classes\\TAVORIVIEWER"),
              (std::vector<std::string>{"DefaultIcon", "shell"}));
    EXPECT_EQ(system.SubKeyNames("Software\\Classes\\MIME\\Database\\Charset"),
              (std::vector<std::string>{"_iso-2022-jp$SIO", "ANSI_X3.4-1968", "GB2312",
                                        "GB_2312-80", "GBK"}));
    EXPECT_TRUE(system.SubKeyNames("Software\\Classes\\.bmp").empty());
    EXPECT_TRUE(system.SubKeyNames("Software\\Missing").empty());
    const RegistryHive user = RegistryHive::Parse(UserHive());
    EXPECT_EQ(user.SubKeyNames("Control Panel\\International"),
              (std::vector<std::string>{"Geo", "🌎🌏🌍"}));
}

TEST(WineRegistryKeys, DeleteKeyTreeRemovesTheKeyWithItsSubKeysOnly) {
    RegistryHive hive = RegistryHive::Parse(SystemHive());
    EXPECT_TRUE(hive.DeleteKeyTree("software\\classes\\TAVORIVIEWER"));

    std::string expected = SystemHive();
    for (const char* path : {"Software\\\\Classes\\\\TavoriViewer",
                             "Software\\\\Classes\\\\TavoriViewer\\\\DefaultIcon",
                             "Software\\\\Classes\\\\TavoriViewer\\\\shell\\\\open\\\\command"})
        expected = WithoutBlock(expected, path);
    EXPECT_EQ(hive.Serialize(), expected);
    EXPECT_FALSE(hive.KeyExists("Software\\Classes\\TavoriViewer\\shell"));
    EXPECT_TRUE(hive.KeyExists("Software\\Classes\\TavoriViewer.Image\\shell\\open\\command"));

    EXPECT_FALSE(hive.DeleteKeyTree("Software\\Classes\\TavoriViewer"));
    EXPECT_EQ(hive.Serialize(), expected);

    // The last block of the file.
    const std::string last = "System\\\\CurrentControlSet\\\\Control\\\\VirtualDeviceDrivers";
    ASSERT_NE(expected.find("[" + last + "]"), std::string::npos);
    EXPECT_TRUE(hive.DeleteKeyTree("System\\CurrentControlSet\\Control\\VirtualDeviceDrivers"));
    EXPECT_EQ(hive.Serialize(), WithoutBlock(expected, last));

    try {
        hive.DeleteKeyTree("\\");
        ADD_FAILURE() << "deleted the root";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), err::InvalidProcedureCall);
    }
}

TEST(WineRegistryKeys, DeletingTheLastSubKeyKeepsTheParent) {
    RegistryHive hive = RegistryHive::Parse(UserHive());
    const std::string settings = "Software\\VB and VBA Program Settings\\TViewer\\Settings";
    EXPECT_TRUE(hive.DeleteKeyTree(settings));
    EXPECT_FALSE(hive.KeyExists(settings));
    EXPECT_TRUE(hive.KeyExists("Software\\VB and VBA Program Settings\\TViewer"));
    EXPECT_TRUE(hive.SubKeyNames("Software\\VB and VBA Program Settings\\TViewer").empty());
    EXPECT_EQ(hive.GetString("Software\\VB and VBA Program Settings\\TSound\\Settings", "EXEPath"),
              "C:\\Program Files\\Tavori Sound");

    // TViewer now has a block of its own, as Wine writes a key without
    // values and sub-keys, where the removed block stood.
    const std::string text = hive.Serialize();
    const std::regex parent("\n\\[Software\\\\\\\\VB and VBA Program Settings\\\\\\\\TViewer\\] "
                            "[0-9]+\n#time=[0-9a-f]+\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(text, match, parent));
    EXPECT_EQ(text.substr(0, static_cast<std::size_t>(match.position(0))) +
                  text.substr(static_cast<std::size_t>(match.position(0) + match.length(0))),
              WithoutBlock(UserHive(), "Software\\\\VB and VBA Program Settings\\\\TViewer\\\\"
                                       "Settings"));
}

TEST(WineRegistryKeys, CreateKeyAddsABlockWhereWineWouldWriteIt) {
    struct Case {
        std::string path;    // as given
        std::string written; // as the new key line must write it
        std::string before;  // the key line that must follow it ("" = end of file)
    };
    const std::vector<Case> cases = {
        // Existing parts keep their spelling; "edit" sorts before "open".
        {"software\\classes\\tavoriviewer\\Shell\\Edit\\Command",
         "Software\\\\Classes\\\\TavoriViewer\\\\shell\\\\Edit\\\\Command",
         "[Software\\\\Classes\\\\TavoriViewer\\\\shell\\\\open\\\\command]"},
        // Wine compares in lower case: '_' sorts after the digits, before
        // the letters.
        {"Software\\Classes\\MIME\\Database\\Charset\\GB_1",
         "Software\\\\Classes\\\\MIME\\\\Database\\\\Charset\\\\GB_1",
         "[Software\\\\Classes\\\\MIME\\\\Database\\\\Charset\\\\GB_2312-80]"},
        {"Software\\Classes\\.Tvt", "Software\\\\Classes\\\\.Tvt", "[Software\\\\Classes\\\\.url]"},
        {"Software\\Classes\\TavoriViewer.Image\\shell\\open\\command\\deeper",
         "Software\\\\Classes\\\\TavoriViewer.Image\\\\shell\\\\open\\\\command\\\\deeper",
         "[Software\\\\Classes\\\\txtfile]"},
        {"Zzz\\New", "Zzz\\\\New", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        RegistryHive hive = RegistryHive::Parse(SystemHive());
        ASSERT_FALSE(hive.KeyExists(c.path));
        const auto before = std::chrono::system_clock::now();
        hive.CreateKey(c.path);
        const auto after = std::chrono::system_clock::now();
        EXPECT_TRUE(hive.KeyExists(c.path));

        const std::string text = hive.Serialize();
        EXPECT_EQ(WithoutBlock(text, c.written), SystemHive());
        const std::size_t at = text.find("\n[" + c.written + "] ");
        ASSERT_NE(at, std::string::npos);
        const std::size_t end = text.find("\n\n", at + 1);
        const std::string block = text.substr(at, end == std::string::npos ? end : end + 1 - at);
        std::smatch match;
        ASSERT_TRUE(
            std::regex_match(block, match, std::regex("\n\\[.*\\] ([0-9]+)\n#time=([0-9a-f]+)\n")));
        if (c.before.empty())
            EXPECT_EQ(end, std::string::npos);
        else
            EXPECT_EQ(text.compare(end + 2, c.before.size(), c.before), 0);

        // The key line has the seconds since 1970, "#time=" the same moment
        // in 100 ns units since 1601.
        const long long seconds = std::stoll(match[1]);
        const unsigned long long fileTime = std::stoull(match[2], nullptr, 16);
        EXPECT_EQ(static_cast<long long>(fileTime / 10000000ULL - 11644473600ULL), seconds);
        const auto since1970 = [](std::chrono::system_clock::time_point t) {
            return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
        };
        EXPECT_GE(seconds, since1970(before));
        EXPECT_LE(seconds, since1970(after));
    }
}

TEST(WineRegistryKeys, CreateKeyOfAnExistingKeyChangesNothing) {
    RegistryHive hive = RegistryHive::Parse(SystemHive());
    hive.CreateKey("SOFTWARE\\Classes\\TavoriViewer\\shell"); // exists through its sub-key
    hive.CreateKey("Software\\Classes\\.bmp");
    hive.CreateKey("");
    EXPECT_EQ(hive.Serialize(), SystemHive());
}

TEST(WineRegistryKeys, FirstKeyOfAnEmptyHive) {
    RegistryHive hive = RegistryHive::Parse(Header);
    hive.CreateKey("Software\\Kestovan");
    const std::string text = hive.Serialize();
    ASSERT_EQ(text.compare(0, std::string(Header).size(), Header), 0);
    EXPECT_TRUE(std::regex_match(text.substr(std::string(Header).size()),
                                 std::regex("\n\\[Software\\\\\\\\Kestovan\\] [0-9]+\n"
                                            "#time=[0-9a-f]+\n")));
}

// --- Values ---------------------------------------------------------------------------

TEST(WineRegistryValues, SetStringReplacesOnlyThatValueLine) {
    RegistryHive hive = RegistryHive::Parse(SystemHive());
    EXPECT_TRUE(hive.SetString("Software\\Classes\\.GIF", "", "TavoriViewer.Image"));
    auto lines = Lines(hive.Serialize());
    auto original = Lines(SystemHive());
    ASSERT_EQ(lines.size(), original.size());
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < lines.size(); ++k)
        if (lines[k] != original[k])
            changed.push_back(k);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(original[changed[0]], "@=\"giffile\"");
    EXPECT_EQ(lines[changed[0]], "@=\"TavoriViewer.Image\"");
    EXPECT_EQ(hive.GetString("Software\\Classes\\.gif", ""), "TavoriViewer.Image");

    // The same text again: nothing to do.
    const std::string text = hive.Serialize();
    EXPECT_FALSE(hive.SetString("Software\\Classes\\.gif", "", "TavoriViewer.Image"));
    EXPECT_EQ(hive.Serialize(), text);

    // An empty text is a value too.
    EXPECT_TRUE(hive.SetString("Software\\Classes\\.gif", "", ""));
    EXPECT_EQ(hive.GetString("Software\\Classes\\.gif", ""), "");
    EXPECT_NE(hive.Serialize().find("\n[Software\\\\Classes\\\\.gif] 1796647536\n"
                                    "#time=1dd8648db3850d4\n@=\"\"\n"),
              std::string::npos);
}

TEST(WineRegistryValues, SetStringOverAnotherTypeKeepsTheName) {
    RegistryHive hive = RegistryHive::Parse(SystemHive());
    // A str(2) value with the same text still becomes a plain string.
    const std::string folders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const auto common = hive.GetString(folders, "Common Desktop");
    ASSERT_TRUE(common.has_value());
    EXPECT_TRUE(hive.SetString(folders, "COMMON DESKTOP", *common));
    const std::string text = hive.Serialize();
    EXPECT_NE(text.find("\n\"Common Desktop\"=\"%PUBLIC%\\\\Desktop\"\n"), std::string::npos);

    // A hex list over seven lines becomes one line.
    const std::string link =
        "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    EXPECT_EQ(hive.GetString(link, "SymbolicLinkValue"), std::nullopt);
    EXPECT_TRUE(hive.SetString(link, "symboliclinkvalue", "x"));
    EXPECT_EQ(hive.GetString(link, "SymbolicLinkValue"), "x");
    const auto before = Lines(text);
    const auto after = Lines(hive.Serialize());
    EXPECT_EQ(before.size(), after.size() + 6);
    EXPECT_EQ(RegistryHive::Parse(hive.Serialize()).Serialize(), hive.Serialize());
}

TEST(WineRegistryValues, NewValuesGoToTheirSortedPlace) {
    RegistryHive hive = RegistryHive::Parse(UserHive());
    EXPECT_TRUE(hive.SetString("Environment", "PATH", "C:\\windows"));
    EXPECT_TRUE(hive.SetString("Environment", "", "default"));
    EXPECT_TRUE(hive.SetString("Environment", "ZZZ", "last"));
    EXPECT_NE(hive.Serialize().find("\n[Environment] 1796647501\n#time=1dd8648c646e1e0\n"
                                    "@=\"default\"\n"
                                    "\"PATH\"=\"C:\\\\windows\"\n"
                                    "\"TEMP\"=\"C:\\\\users\\\\root\\\\Temp\"\n"
                                    "\"TMP\"=\"C:\\\\users\\\\root\\\\Temp\"\n"
                                    "\"ZZZ\"=\"last\"\n"
                                    "\n[Keyboard Layout\\\\Preload]"),
              std::string::npos);
}

TEST(WineRegistryValues, SetStringOnAMissingKeyCreatesIt) {
    RegistryHive hive = RegistryHive::Parse(SystemHive());
    EXPECT_TRUE(hive.SetString("software\\classes\\.tvx", "", "TavoriViewer"));
    EXPECT_EQ(hive.GetString("Software\\Classes\\.TVX", ""), "TavoriViewer");
    const std::string text = hive.Serialize();
    EXPECT_TRUE(std::regex_search(text, std::regex("\n\\[Software\\\\\\\\Classes\\\\\\\\.tvx\\] "
                                                   "[0-9]+\n#time=[0-9a-f]+\n"
                                                   "@=\"TavoriViewer\"\n"
                                                   "\n\\[Software\\\\\\\\Classes\\\\\\\\.url\\]")));
    // A key that existed only through its sub-keys gets a block as well.
    EXPECT_TRUE(hive.SetString("Software\\Classes\\TavoriViewer\\shell", "", "open"));
    EXPECT_TRUE(std::regex_search(
        hive.Serialize(),
        std::regex("\n\\[Software\\\\\\\\Classes\\\\\\\\TavoriViewer\\\\\\\\shell\\] [0-9]+\n"
                   "#time=[0-9a-f]+\n@=\"open\"\n\n"
                   "\\[Software\\\\\\\\Classes\\\\\\\\TavoriViewer\\\\\\\\shell\\\\\\\\open")));
}

TEST(WineRegistryValues, NewLinesFollowTheFilesLineEnds) {
    const std::string dos = std::regex_replace(SystemHive(), std::regex("\n"), "\r\n");
    RegistryHive hive = RegistryHive::Parse(dos);
    hive.SetString("Software\\Classes\\.bmp", "", "TavoriViewer.Image");
    hive.SetString("Software\\Classes\\.bmp", "PerceivedType", "image");
    hive.CreateKey("Software\\Classes\\Kestovan");
    hive.DeleteKeyTree("Software\\Classes\\TavoriViewer");
    const std::string text = hive.Serialize();
    std::size_t bare = 0;
    for (std::size_t k = 0; k < text.size(); ++k)
        if (text[k] == '\n' && (k == 0 || text[k - 1] != '\r'))
            ++bare;
    EXPECT_EQ(bare, 0u);
    EXPECT_EQ(RegistryHive::Parse(text).GetString("Software\\Classes\\.bmp", "PerceivedType"),
              "image");
}

TEST(WineRegistryValues, TheLastOfRepeatedValuesAndBlocksCounts) {
    // Wine merges blocks of the same key and lets a later value win.
    const std::string text = std::string(Header) + "\n[A] 1\n\"v\"=\"first\"\n\"v\"=\"second\"\n"
                                                   "\n[B] 1\n"
                                                   "\n[a] 1\n\"V\"=\"third\"\n\"w\"=\"only\"\n";
    RegistryHive hive = RegistryHive::Parse(text);
    EXPECT_EQ(hive.GetString("A", "v"), "third");
    EXPECT_EQ(hive.GetString("A", "w"), "only");
    EXPECT_TRUE(hive.SetString("A", "v", "fourth"));
    EXPECT_EQ(hive.GetString("A", "v"), "fourth");
    EXPECT_NE(hive.Serialize().find("\"V\"=\"fourth\"\n"), std::string::npos);
    EXPECT_EQ(hive.SubKeyNames(""), (std::vector<std::string>{"A", "B"}));
}

// Found by fuzz/wine_registry: a hex list whose last line ends with a
// backslash goes on over the blank line after it, and a new value put after
// the block's last non-blank line became part of the list: the hive could not
// index itself (SetString raised 75) and would have been written unreadable.
TEST(WineRegistryValues, NewValueAfterAContinuedHexListStaysAValue) {
    const std::string text = "WINE REGISTRY Version 2\n\n[A] 1\n\"x\"=hex:01,\\\n\n";
    RegistryHive hive = RegistryHive::Parse(text);
    EXPECT_TRUE(hive.SetString("A", "z", "v"));
    EXPECT_EQ(hive.GetString("A", "z"), "v");
    const std::string written = hive.Serialize();
    EXPECT_EQ(written, "WINE REGISTRY Version 2\n\n[A] 1\n\"x\"=hex:01,\\\n\n\"z\"=\"v\"\n");
    EXPECT_EQ(RegistryHive::Parse(written).GetString("A", "z"), "v");
}

} // namespace
} // namespace kestovan::posix
