#include "state/GroupList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestovan {
namespace {

using Names = std::vector<std::string>;

Names Split(const std::string& reply, std::size_t maxNames = 201) {
    return SplitGroupList(reply, maxNames);
}

// The number of names in the whole reply, kept or not.
std::size_t CountGroupLines(const std::string& reply) {
    std::size_t total = 0;
    SplitGroupList(reply, 201, &total);
    return total;
}

TEST(GroupList, ProperReplyGivesItsNames) {
    const std::string reply = "Accessories\r\nStartUp\r\nTavori Software\r\n";
    EXPECT_EQ(Split(reply), (Names{"Accessories", "StartUp", "Tavori Software"}));
    EXPECT_EQ(CountGroupLines(reply), 3u);
}

TEST(GroupList, NothingWithoutACarriageReturn) {
    EXPECT_EQ(Split(""), Names{});
    // The design text of the hidden text box holds no line.
    EXPECT_EQ(Split("Text1"), Names{});
    EXPECT_EQ(CountGroupLines("Text1"), 0u);
    EXPECT_EQ(Split("Only\nline feeds\n"), Names{});
}

TEST(GroupList, TextAfterTheLastCarriageReturnIsNotALine) {
    EXPECT_EQ(Split("Accessories\r\nTavori Software"), Names{"Accessories"});
    EXPECT_EQ(Split("Accessories\r\nGames\r\ntrailing"), (Names{"Accessories", "Games"}));
}

TEST(GroupList, SpacesAreTrimmedAndEmptyLinesDropped) {
    const std::string reply = "  Tavori Software  \r\n\r\n   \r\nGames\r\n\r\n";
    EXPECT_EQ(Split(reply), (Names{"Tavori Software", "Games"}));
    EXPECT_EQ(CountGroupLines(reply), 2u);
    // Only spaces are blanks here; a tab stays part of the name.
    EXPECT_EQ(Split("\tTabbed \r\n"), Names{"\tTabbed"});
}

TEST(GroupList, KeepsAtMostMaxNamesAndCountsThemAll) {
    std::string reply;
    for (int i = 0; i < 250; ++i)
        reply += "Group " + std::to_string(i) + "\r\n\r\n";
    Names names = Split(reply);
    ASSERT_EQ(names.size(), 201u);
    EXPECT_EQ(names.front(), "Group 0");
    EXPECT_EQ(names.back(), "Group 200");
    EXPECT_EQ(CountGroupLines(reply), 250u);

    Names three = Split(reply, 3);
    EXPECT_EQ(three, (Names{"Group 0", "Group 1", "Group 2"}));
    EXPECT_EQ(Split(reply, 0), Names{});
}

TEST(GroupList, ExactlyTheLimitIsNotCut) {
    std::string reply;
    for (int i = 0; i < 201; ++i)
        reply += "G" + std::to_string(i) + "\r\n";
    EXPECT_EQ(Split(reply).size(), 201u);
    EXPECT_EQ(CountGroupLines(reply), 201u);
}

TEST(GroupList, CarriageReturnWithoutLineFeedStillEnds) {
    // No line feed anywhere: each CR ends a line.
    EXPECT_EQ(Split("A\rB\rC"), (Names{"A", "B"}));
    EXPECT_EQ(CountGroupLines("\r\r\r"), 0u);
    // A line feed further on: the text goes on after it, as the program reads.
    EXPECT_EQ(Split("A\rB\nC\r\n"), (Names{"A", "C"}));
}

TEST(GroupList, LineFeedBeforeTheCarriageReturnIsSearchedInTheWholeText) {
    // The line runs to the CR, and the text goes on after the first LF.
    EXPECT_EQ(Split("a\nb\r\nc\r\n"), (Names{"a\nb", "b", "c"}));
    EXPECT_EQ(Split("\nGames\r\n"), (Names{"\nGames", "Games"}));
}

} // namespace
} // namespace kestovan
