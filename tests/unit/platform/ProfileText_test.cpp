#include "platform/ProfileText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kestovan {
namespace {

// Reads a value the way the preferences file is read: a buffer of 128 blanks,
// size 128, the value being the first (result) characters of the buffer.
struct Read {
    std::uint32_t result;
    std::string buffer;
    std::string Value() const { return buffer.substr(0, result); }
};

Read Get(const std::optional<std::string>& text, const std::string& section, const std::string& key,
         const std::string& defaultValue = "", std::uint32_t size = 128) {
    Read read{0, std::string(size, ' ')};
    read.result = ProfileGetString(text, section, key, defaultValue, read.buffer, size);
    return read;
}

std::string Value(const std::optional<std::string>& text, const std::string& section,
                  const std::string& key, const std::string& defaultValue = "") {
    return Get(text, section, key, defaultValue).Value();
}

const std::string kPreferences = "[Remove]\r\n"
                                 "RemoveProgram1=Tavori Viewer\r\n"
                                 "StartMenu1=Tavori Software\r\n"
                                 "RemoveProgram2=\r\n"
                                 "RegJPG=jpegfile\r\n"
                                 "\r\n"
                                 "[Other]\r\n"
                                 "RemoveProgram1=Wrong\r\n";

TEST(ProfileFileGet, FindsKeysOfTheirOwnSectionOnly) {
    EXPECT_EQ(Value(kPreferences, "Remove", "RemoveProgram1"), "Tavori Viewer");
    EXPECT_EQ(Value(kPreferences, "Remove", "StartMenu1"), "Tavori Software");
    EXPECT_EQ(Value(kPreferences, "Other", "RemoveProgram1"), "Wrong");
    EXPECT_EQ(Value(kPreferences, "Other", "StartMenu1", "dflt"), "dflt");
}

TEST(ProfileFileGet, ResultCountsCharactersAndEndsTheTextWithNul) {
    Read read = Get(kPreferences, "Remove", "RemoveProgram1");
    EXPECT_EQ(read.result, 13u);
    EXPECT_EQ(read.buffer.substr(0, 13), "Tavori Viewer");
    EXPECT_EQ(read.buffer[13], '\0');
    EXPECT_EQ(read.buffer[14], ' ') << "bytes after the NUL stay as they were";
    EXPECT_EQ(read.buffer.size(), 128u);
}

TEST(ProfileFileGet, EmptyValueIsEmptyNotTheDefault) {
    Read read = Get(kPreferences, "Remove", "RemoveProgram2", "fallback");
    EXPECT_EQ(read.result, 0u);
    EXPECT_EQ(read.buffer[0], '\0');
}

TEST(ProfileFileGet, MissingFileSectionOrKeyGivesTheDefaultWithoutTrailingBlanks) {
    EXPECT_EQ(Value(std::nullopt, "Remove", "RemoveProgram1", "none  "), "none");
    EXPECT_EQ(Value(kPreferences, "Nowhere", "RemoveProgram1", " none "), " none");
    EXPECT_EQ(Value(kPreferences, "Remove", "RemoveProgram3", "none"), "none");
    Read read = Get(std::nullopt, "Remove", "RemoveProgram1");
    EXPECT_EQ(read.result, 0u);
    EXPECT_EQ(read.buffer[0], '\0');
}

TEST(ProfileFileGet, BlanksAroundNamesAndValuesDoNotCount) {
    const std::string text = "  [  Remove  ]  \r\n"
                             "  RemoveProgram1  =  Tavori Viewer  \r\n"
                             "\tStartMenu1\t=\tTavori Software\t\r\n";
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram1"), "Tavori Viewer");
    EXPECT_EQ(Value(text, "Remove", "StartMenu1"), "Tavori Software");
    EXPECT_EQ(Value(text, " Remove ", " RemoveProgram1 "), "Tavori Viewer");
}

TEST(ProfileFileGet, NamesIgnoreLetterCase) {
    EXPECT_EQ(Value(kPreferences, "REMOVE", "removeprogram1"), "Tavori Viewer");
    EXPECT_EQ(Value("[rEmOvE]\nREGjpg=x\n", "Remove", "RegJPG"), "x");
}

TEST(ProfileFileGet, LongValueIsCutToTheBuffer) {
    std::string longValue;
    for (int i = 0; i < 200; ++i)
        longValue += static_cast<char>('a' + i % 26);
    const std::string text = "[Remove]\r\nStartMenu1=" + longValue + "\r\n";
    Read read = Get(text, "Remove", "StartMenu1");
    EXPECT_EQ(read.result, 127u);
    EXPECT_EQ(read.Value(), longValue.substr(0, 127));
    EXPECT_EQ(read.buffer[127], '\0');

    Read tiny = Get(text, "Remove", "StartMenu1", "", 1);
    EXPECT_EQ(tiny.result, 0u);
    EXPECT_EQ(tiny.buffer, std::string(1, '\0'));

    std::string untouched = "xyz";
    EXPECT_EQ(ProfileGetString(text, "Remove", "StartMenu1", "", untouched, 0), 0u);
    EXPECT_EQ(untouched, "xyz");
}

TEST(ProfileFileGet, NeverWritesPastTheCallersBuffer) {
    // A size larger than the buffer is held to the buffer.
    std::string buffer(4, ' ');
    EXPECT_EQ(ProfileGetString(kPreferences, "Remove", "RemoveProgram1", "", buffer, 128), 3u);
    EXPECT_EQ(buffer, std::string("Tav") + '\0');
}

TEST(ProfileFileGet, OnePairOfMatchingQuotesIsRemoved) {
    const std::string text = "[S]\n"
                             "a=\"Tavori Viewer\"\n"
                             "b='single'\n"
                             "c=\"mixed'\n"
                             "d=\"\"x\"\"\n"
                             "e=\"\n"
                             "f=\"\"\n"
                             "g=  \" padded \"  \n"
                             "h=in\"side\"\n";
    EXPECT_EQ(Value(text, "S", "a"), "Tavori Viewer");
    EXPECT_EQ(Value(text, "S", "b"), "single");
    EXPECT_EQ(Value(text, "S", "c"), "\"mixed'");
    EXPECT_EQ(Value(text, "S", "d"), "\"x\"");
    EXPECT_EQ(Value(text, "S", "e"), "\"");
    EXPECT_EQ(Value(text, "S", "f"), "");
    EXPECT_EQ(Value(text, "S", "g"), " padded ");
    EXPECT_EQ(Value(text, "S", "h"), "in\"side\"");
}

TEST(ProfileFileGet, LineFeedOnlyFilesAndByteOrderMark) {
    EXPECT_EQ(
        Value("[Remove]\nRemoveProgram1=Tavori Sound\nStartMenu1=G\n", "Remove", "RemoveProgram1"),
        "Tavori Sound");
    EXPECT_EQ(Value("\xEF\xBB\xBF[Remove]\r\nRemoveProgram1=Tavori Notes\r\n", "Remove",
                    "RemoveProgram1"),
              "Tavori Notes");
    EXPECT_EQ(Value("\xEF\xBB\xBFRemoveProgram1=top\r\n[Remove]\r\n", "", "RemoveProgram1"), "top");
    // Last line without a line end.
    EXPECT_EQ(Value("[Remove]\r\nStartMenu1=Last", "Remove", "StartMenu1"), "Last");
}

TEST(ProfileFileGet, DuplicatesTheFirstOneWins) {
    const std::string text = "[Remove]\r\n"
                             "RemoveProgram1=first\r\n"
                             "removeprogram1=second\r\n"
                             "[Remove]\r\n"
                             "RemoveProgram1=third\r\n"
                             "StartMenu1=only in the second\r\n";
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram1"), "first");
    // Only the first section of a name is looked at.
    EXPECT_EQ(Value(text, "Remove", "StartMenu1", "d"), "d");
}

TEST(ProfileFileGet, CommentsAndLinesWithoutEqualsAreNotKeys) {
    const std::string text = "[Remove]\r\n"
                             ";RemoveProgram1=commented\r\n"
                             "  ; StartMenu1=commented too\r\n"
                             "RemoveProgram2\r\n"
                             "RemoveProgram3 = real ; not a comment\r\n"
                             "[Broken\r\n"
                             "RegJPG=still in Remove\r\n";
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram1", "d"), "d");
    EXPECT_EQ(Value(text, "Remove", "StartMenu1", "d"), "d");
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram2", "d"), "d");
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram3"), "real ; not a comment");
    EXPECT_EQ(Value(text, "Remove", "RegJPG"), "still in Remove");
}

TEST(ProfileFileGet, ValueMayHoldEqualsSigns) {
    EXPECT_EQ(Value("[S]\r\nk = a=b = c\r\n", "S", "k"), "a=b = c");
}

// --- Writing ---------------------------------------------------------------

TEST(ProfileFileSet, ChangesOnlyTheKeysLineAndKeepsEveryOtherByte) {
    const std::string before = "; Tavori setup\r\n"
                               "[Remove]\r\n"
                               "RemoveProgram1=Tavori Viewer\r\n"
                               "StartMenu1 = Tavori Software \r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "RemoveProgram1=Keep\r\n";
    const std::string after = ProfileSetString(before, "Remove", "RemoveProgram1", "");
    EXPECT_EQ(after, "; Tavori setup\r\n"
                     "[Remove]\r\n"
                     "RemoveProgram1=\r\n"
                     "StartMenu1 = Tavori Software \r\n"
                     "\r\n"
                     "[Other]\r\n"
                     "RemoveProgram1=Keep\r\n");
    EXPECT_EQ(Value(after, "Remove", "RemoveProgram1", "d"), "");
    EXPECT_EQ(Value(after, "Other", "RemoveProgram1"), "Keep");
}

TEST(ProfileFileSet, KeepsTheKeysWrittenSpellingAndItsLineEnd) {
    EXPECT_EQ(
        ProfileSetString("[remove]\nstartmenu2 = Old  \n[Next]\n", "Remove", "StartMenu2", ""),
        "[remove]\nstartmenu2=\n[Next]\n");
    EXPECT_EQ(ProfileSetString("[Remove]\r\n  StartMenu2=Old", "REMOVE", "STARTMENU2", "New"),
              "[Remove]\r\nStartMenu2=New");
}

TEST(ProfileFileSet, WritesTheFirstOfDuplicateKeys) {
    const std::string after = ProfileSetString("[Remove]\r\nStartMenu1=a\r\nStartMenu1=b\r\n",
                                               "Remove", "StartMenu1", "");
    EXPECT_EQ(after, "[Remove]\r\nStartMenu1=\r\nStartMenu1=b\r\n");
    EXPECT_EQ(Value(after, "Remove", "StartMenu1", "d"), "");
}

TEST(ProfileFileSet, SameValueLeavesTheTextAsItWas) {
    const std::string text = "[Remove]\r\n  StartMenu1 =  \r\n";
    EXPECT_EQ(ProfileSetString(text, "Remove", "StartMenu1", ""), text);
}

TEST(ProfileFileSet, MissingKeyGoesAfterTheLastLineOfItsSection) {
    EXPECT_EQ(ProfileSetString("[Remove]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n", "Remove", "C", "3"),
              "[Remove]\r\nA=1\r\nC=3\r\n\r\n[Other]\r\nB=2\r\n");
    EXPECT_EQ(ProfileSetString("[Remove]\n[Other]\nB=2\n", "remove", "C", "3"),
              "[Remove]\nC=3\n[Other]\nB=2\n");
    // The section is the file's last line, without a line end.
    EXPECT_EQ(ProfileSetString("[Other]\r\nB=2\r\n[Remove]\r\nA=1", "Remove", "C", ""),
              "[Other]\r\nB=2\r\n[Remove]\r\nA=1\r\nC=\r\n");
    // A commented-out key does not count as the key.
    EXPECT_EQ(ProfileSetString("[Remove]\r\n;C=old\r\n", "Remove", "C", "new"),
              "[Remove]\r\n;C=old\r\nC=new\r\n");
}

TEST(ProfileFileSet, MissingSectionIsAddedAtTheEnd) {
    EXPECT_EQ(ProfileSetString("[Other]\r\nB=2\r\n", "Remove", "StartMenu1", "x"),
              "[Other]\r\nB=2\r\n[Remove]\r\nStartMenu1=x\r\n");
    EXPECT_EQ(ProfileSetString("[Other]\nB=2", "Remove", "StartMenu1", "x"),
              "[Other]\nB=2\n[Remove]\nStartMenu1=x\n");
    EXPECT_EQ(ProfileSetString("; only a comment", "Remove", "StartMenu1", "x"),
              "; only a comment\r\n[Remove]\r\nStartMenu1=x\r\n");
}

TEST(ProfileFileSet, MissingOrEmptyFileGetsCrLfLines) {
    EXPECT_EQ(ProfileSetString(std::nullopt, "Remove", "StartMenu1", ""),
              "[Remove]\r\nStartMenu1=\r\n");
    EXPECT_EQ(ProfileSetString(std::string(), "Remove", "StartMenu1", "v"),
              "[Remove]\r\nStartMenu1=v\r\n");
}

TEST(ProfileFileSet, KeepsTheByteOrderMark) {
    EXPECT_EQ(ProfileSetString("\xEF\xBB\xBF[Remove]\r\nA=1\r\n", "Remove", "A", ""),
              "\xEF\xBB\xBF[Remove]\r\nA=\r\n");
    EXPECT_EQ(ProfileSetString("\xEF\xBB\xBF"
                               "A=1\r\n",
                               "", "A", "2"),
              "\xEF\xBB\xBF"
              "A=2\r\n");
    EXPECT_EQ(ProfileSetString("\xEF\xBB\xBF", "Remove", "A", "2"),
              "\xEF\xBB\xBF[Remove]\r\nA=2\r\n");
}

TEST(ProfileFileSet, WhatIsWrittenReadsBack) {
    std::optional<std::string> text;
    text = ProfileSetString(text, "Remove", "RemoveProgram1", "Tavori Viewer");
    text = ProfileSetString(text, "Remove", "StartMenu1", "Tavori Software");
    text = ProfileSetString(text, "Other", "RemoveProgram1", "Elsewhere");
    text = ProfileSetString(text, "Remove", "RemoveProgram2", "Tavori Sound");
    EXPECT_EQ(*text, "[Remove]\r\n"
                     "RemoveProgram1=Tavori Viewer\r\n"
                     "StartMenu1=Tavori Software\r\n"
                     "RemoveProgram2=Tavori Sound\r\n"
                     "[Other]\r\n"
                     "RemoveProgram1=Elsewhere\r\n");
    EXPECT_EQ(Value(text, "Remove", "RemoveProgram2"), "Tavori Sound");
    EXPECT_EQ(Value(text, "Other", "RemoveProgram1"), "Elsewhere");
}

// Found by fuzz/profile_file: a key of the unnamed section written into a
// new file went under a "[]" line, where reading the unnamed section (the
// lines before the first header) could not see it.
TEST(ProfileFileSet, UnnamedSectionInANewFileReadsBack) {
    const std::string text = ProfileSetString(std::nullopt, "", "Key", "value");
    EXPECT_EQ(text, "Key=value\r\n");
    EXPECT_EQ(Value(text, "", "Key"), "value");
    EXPECT_EQ(Value(ProfileSetString(std::string(), " ", "Key", "v"), "", "Key"), "v");
}

} // namespace
} // namespace kestovan
