#include "platform/posix/ProgramManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestovan::posix {
namespace {

using Names = std::vector<std::string>;

TEST(ProgramManagerSplit, ProperReplyGivesItsNames) {
    const std::string reply = "Accessories\r\nStartUp\r\nTavori Software\r\n";
    EXPECT_EQ(SplitGroupList(reply), (Names{"Accessories", "StartUp", "Tavori Software"}));
    EXPECT_EQ(CountGroupLines(reply), 3u);
}

TEST(ProgramManagerSplit, NothingWithoutACarriageReturn) {
    EXPECT_EQ(SplitGroupList(""), Names{});
    // The design text of the hidden text box holds no line.
    EXPECT_EQ(SplitGroupList("Text1"), Names{});
    EXPECT_EQ(CountGroupLines("Text1"), 0u);
    EXPECT_EQ(SplitGroupList("Only\nline feeds\n"), Names{});
}

TEST(ProgramManagerSplit, TextAfterTheLastCarriageReturnIsNotALine) {
    EXPECT_EQ(SplitGroupList("Accessories\r\nTavori Software"), Names{"Accessories"});
    EXPECT_EQ(SplitGroupList("Accessories\r\nGames\r\ntrailing"), (Names{"Accessories", "Games"}));
}

TEST(ProgramManagerSplit, SpacesAreTrimmedAndEmptyLinesDropped) {
    const std::string reply = "  Tavori Software  \r\n\r\n   \r\nGames\r\n\r\n";
    EXPECT_EQ(SplitGroupList(reply), (Names{"Tavori Software", "Games"}));
    EXPECT_EQ(CountGroupLines(reply), 2u);
    // Only spaces are blanks here; a tab stays part of the name.
    EXPECT_EQ(SplitGroupList("\tTabbed \r\n"), Names{"\tTabbed"});
}

TEST(ProgramManagerSplit, KeepsAtMostMaxNamesAndCountsThemAll) {
    std::string reply;
    for (int i = 0; i < 250; ++i)
        reply += "Group " + std::to_string(i) + "\r\n\r\n";
    Names names = SplitGroupList(reply);
    ASSERT_EQ(names.size(), 201u);
    EXPECT_EQ(names.front(), "Group 0");
    EXPECT_EQ(names.back(), "Group 200");
    EXPECT_EQ(CountGroupLines(reply), 250u);

    Names three = SplitGroupList(reply, 3);
    EXPECT_EQ(three, (Names{"Group 0", "Group 1", "Group 2"}));
    EXPECT_EQ(SplitGroupList(reply, 0), Names{});
}

TEST(ProgramManagerSplit, ExactlyTheLimitIsNotCut) {
    std::string reply;
    for (int i = 0; i < 201; ++i)
        reply += "G" + std::to_string(i) + "\r\n";
    EXPECT_EQ(SplitGroupList(reply).size(), 201u);
    EXPECT_EQ(CountGroupLines(reply), 201u);
}

TEST(ProgramManagerSplit, CarriageReturnWithoutLineFeedStillEnds) {
    // No line feed anywhere: each CR ends a line.
    EXPECT_EQ(SplitGroupList("A\rB\rC"), (Names{"A", "B"}));
    EXPECT_EQ(CountGroupLines("\r\r\r"), 0u);
    // A line feed further on: the text goes on after it, as the program reads.
    EXPECT_EQ(SplitGroupList("A\rB\nC\r\n"), (Names{"A", "C"}));
}

TEST(ProgramManagerSplit, LineFeedBeforeTheCarriageReturnIsSearchedInTheWholeText) {
    // The line runs to the CR, and the text goes on after the first LF.
    EXPECT_EQ(SplitGroupList("a\nb\r\nc\r\n"), (Names{"a\nb", "b", "c"}));
    EXPECT_EQ(SplitGroupList("\nGames\r\n"), (Names{"\nGames", "Games"}));
}

} // namespace
} // namespace kestovan::posix
