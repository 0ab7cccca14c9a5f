#include "platform/posix/MachinePattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {
namespace {

struct Case {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(MachinePattern, FollowsWindowsWildcardRules) {
    const Case cases[] = {
        {"*", "anything.at.all", true},
        {"*.*", "noext", true},
        {"*.*", "a.b.c", true},
        {"*.*", ".profile", true},
        {"*.tvs", "Show.TVS", true},
        {"*.TVS", "show.tvsx", false},
        {"*.tvs", "show.tvs.bak", false},
        {"*.tvs", "my.show.tvs", true},
        {"*.", "noext", true},
        {"*.", "has.ext", false},
        {"readme.*", "README", true},
        {"readme.*", "readme.txt", true},
        {"readme.*", "readme2.txt", false},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"a??.txt", "a.txt", true},
        {"a??.txt", "abc.txt", true},
        {"a??.txt", "abcd.txt", false},
        {"???", "ab", true},
        {"???", "abcd", false},
        {"t*r.exe", "TVIEWER.EXE", true},
        {"t*r.exe", "TVIEWERX.EXE", false},
        {"*viewer*", "Tavori Viewer Wallpaper.BMP", true},
        {"TVIEWER.EXE", "tviewer.exe", true},
        {"TVIEWER.EXE", "tviewer.ex", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MachinePattern(c.pattern).Matches(c.name), c.matches)
            << c.pattern << " against " << c.name;
}

TEST(MachinePattern, ManyStarsStayCheap) {
    const std::string name(200, 'a');
    EXPECT_FALSE(MachinePattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*b").Matches(name));
    EXPECT_TRUE(MachinePattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*").Matches(name));
}

TEST(MachinePatternList, MatchesWhatOneOfItsPatternsMatches) {
    // Each list against each name, beside its patterns one by one.
    const std::vector<std::string> lists = {
        "*.dib;*.bmp;*.gif;*.jpg;*.jif;*.jpe;*.jpeg;*.ico;*.wmf;*.emf;*.rle",
        " *.wav ; *.MID ",
        "*.TVS",
        "readme.*;*.",
        "*.longextension;a?c.*",
        "*.a.b;*x",
    };
    const std::vector<std::string> names = {
        "Beach.BMP",     "beach.bmp.old", "bmp",       ".bmp",       "a.b.JPEG",
        "clip.Wav",      "song.mid",      "song.midi", "Show.tvs",   "README",
        "readme.txt",    "noext",         "has.ext",   "abc.txt",    "x.LongExtension",
        "longextension", "t.a.b",         "t.b",       "suffix",     "\xc3\xa9t\xc3\xa9.gif",
        "name.",         "a.bmpbmpbmp",   "a.bm",      "archive.jpe"};
    for (const std::string& list : lists) {
        std::vector<MachinePattern> each;
        std::string_view rest = list;
        while (true) {
            const auto semicolon = rest.find(';');
            std::string piece(rest.substr(0, semicolon));
            piece.erase(0, piece.find_first_not_of(' '));
            piece.erase(piece.find_last_not_of(' ') + 1);
            each.emplace_back(piece);
            if (semicolon == std::string_view::npos)
                break;
            rest.remove_prefix(semicolon + 1);
        }
        const MachinePatternList together(list);
        for (const std::string& name : names) {
            const bool any = std::any_of(each.begin(), each.end(),
                                         [&](const MachinePattern& p) { return p.Matches(name); });
            EXPECT_EQ(together.Matches(name), any) << list << " against " << name;
        }
    }
}

TEST(MachinePatternList, NoPatternStandsForEveryName) {
    EXPECT_TRUE(MachinePatternList("").Matches("anything.at.all"));
    EXPECT_TRUE(MachinePatternList(" ; ;").Matches("noext"));
    EXPECT_TRUE(MachinePatternList("*.bmp;*").Matches("noext"));
    EXPECT_FALSE(MachinePatternList("*.bmp;").Matches("noext"));
}

} // namespace
} // namespace kestovan::posix
