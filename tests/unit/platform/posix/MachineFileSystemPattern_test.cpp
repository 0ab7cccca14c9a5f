#include "platform/posix/MachinePattern.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace kestovan::posix
