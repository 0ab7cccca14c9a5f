#include "platform/win32/LinkRules.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestovan::win32 {
namespace {

constexpr std::uint32_t Directory = win32value::FileAttributeDirectory;
constexpr std::uint32_t Reparse = win32value::FileAttributeReparsePoint;
constexpr std::uint32_t Archive = 0x20;

// The Win32 calls answered from tables, every question recorded.
class StubCalls : public FileCalls {
public:
    std::map<std::string, std::uint32_t> attributes;
    // Answer for a path the table does not hold (nullopt: it does not exist).
    std::optional<std::uint32_t> otherAttributes;
    std::map<std::string, OpenedPath> opened;
    std::map<int, std::string> folders;

    mutable std::vector<std::string> askedAttributes;
    mutable std::vector<std::string> askedOpen;

    std::optional<std::uint32_t> FileAttributes(const std::string& path) const override {
        askedAttributes.push_back(path);
        const auto found = attributes.find(path);
        return found != attributes.end() ? std::optional(found->second) : otherAttributes;
    }
    std::optional<OpenedPath> Open(const std::string& path) const override {
        askedOpen.push_back(path);
        const auto found = opened.find(path);
        return found != opened.end() ? std::optional(found->second) : std::nullopt;
    }
    std::optional<std::string> SpecialFolder(int csidl) const override {
        const auto found = folders.find(csidl);
        return found != folders.end() ? std::optional(found->second) : std::nullopt;
    }
};

// --- ResolveDirectory --------------------------------------------------------

TEST(LinkRulesResolveDirectory, AJunctionToTheWindowsDirectoryResolvesThere) {
    StubCalls calls;
    calls.opened["C:\\Tavori"] = {"\\\\?\\C:\\windows", Directory};
    calls.opened["C:\\Tavori\\"] = {"\\\\?\\C:\\windows", Directory};
    calls.opened["D:\\Programs\\Tavori Viewer"] = {"\\\\?\\C:\\windows\\system32", Directory};

    EXPECT_EQ(ResolveDirectory(calls, "C:\\Tavori"), "C:\\windows\\");
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Tavori\\"), "C:\\windows\\");
    EXPECT_EQ(ResolveDirectory(calls, "D:\\Programs\\Tavori Viewer"), "C:\\windows\\system32\\");
}

TEST(LinkRulesResolveDirectory, LongPathPrefixesAreRemovedAndOneBackslashEnds) {
    StubCalls calls;
    calls.opened["C:\\"] = {"\\\\?\\C:\\", Directory};
    calls.opened["S:\\Tavori"] = {"\\\\?\\UNC\\server\\share\\Tavori", Directory};
    calls.opened["T:\\"] = {"\\\\?\\unc\\server\\share\\", Directory};
    calls.opened["C:\\Plain"] = {"C:\\Plain", Directory};

    EXPECT_EQ(ResolveDirectory(calls, "C:\\"), "C:\\");
    EXPECT_EQ(ResolveDirectory(calls, "S:\\Tavori"), "\\\\server\\share\\Tavori\\");
    EXPECT_EQ(ResolveDirectory(calls, "T:\\"), "\\\\server\\share\\");
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Plain"), "C:\\Plain\\");
}

TEST(LinkRulesResolveDirectory, ABareDriveMeansItsRoot) {
    StubCalls calls;
    calls.opened["d:\\"] = {"\\\\?\\D:\\", Directory};

    EXPECT_EQ(ResolveDirectory(calls, "d:"), "D:\\");
    EXPECT_EQ(calls.askedOpen, std::vector<std::string>{"d:\\"});
}

TEST(LinkRulesResolveDirectory, WhatCannotBeResolvedToADirectoryGivesNothing) {
    StubCalls calls;
    calls.opened["C:\\windows\\win.ini"] = {"\\\\?\\C:\\windows\\win.ini", Archive};
    calls.opened["C:\\Link to file"] = {"\\\\?\\C:\\windows\\win.ini", Archive | Reparse};
    calls.opened["C:\\Mounted"] = {"\\\\?\\Volume{0b6f2c4e-1d2a-11ee-be56-0242ac120002}\\",
                                   Directory};
    calls.opened["C:\\Device"] = {"\\\\.\\PhysicalDrive0", Directory};
    calls.opened["C:\\Empty"] = {"", Directory};

    EXPECT_EQ(ResolveDirectory(calls, "C:\\Missing"), "");          // cannot be opened
    EXPECT_EQ(ResolveDirectory(calls, "C:\\windows\\win.ini"), ""); // a file
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Link to file"), "");     // a link to a file
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Mounted"), "");          // no drive letter
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Device"), "");
    EXPECT_EQ(ResolveDirectory(calls, "C:\\Empty"), "");
    EXPECT_EQ(ResolveDirectory(calls, ""), "");
    EXPECT_EQ(calls.askedOpen.size(), 6u); // the empty path is not opened
}

// --- IsLink ------------------------------------------------------------------

TEST(LinkRulesIsLink, AReparsePointIsALinkAndNothingElseIs) {
    StubCalls calls;
    calls.attributes["C:\\Program Files\\Tavori Viewer\\SLIDES"] = Directory | Reparse;
    calls.attributes["C:\\Program Files\\Tavori Viewer\\Album"] = Directory;
    calls.attributes["C:\\Program Files\\Tavori Viewer\\Photo.jpg"] = Archive | Reparse;
    calls.attributes["C:\\Program Files\\Tavori Viewer\\README.TXT"] = Archive;

    EXPECT_TRUE(IsLink(calls, "C:\\Program Files\\Tavori Viewer\\SLIDES"));
    EXPECT_TRUE(IsLink(calls, "C:\\Program Files\\Tavori Viewer\\Photo.jpg"));
    EXPECT_FALSE(IsLink(calls, "C:\\Program Files\\Tavori Viewer\\Album"));
    EXPECT_FALSE(IsLink(calls, "C:\\Program Files\\Tavori Viewer\\README.TXT"));
    EXPECT_FALSE(IsLink(calls, "C:\\Program Files\\Tavori Viewer\\Missing"));
}

TEST(LinkRulesIsLink, TrailingBackslashesAreRemovedBeforeTheAttributesAreRead) {
    // With the backslash, Windows reports the attributes of the link's target.
    StubCalls calls;
    calls.attributes["C:\\Tavori"] = Directory | Reparse;
    calls.attributes["C:\\Tavori\\"] = Directory;
    calls.attributes["C:\\Tavori\\\\"] = Directory;

    EXPECT_TRUE(IsLink(calls, "C:\\Tavori\\"));
    EXPECT_TRUE(IsLink(calls, "C:\\Tavori\\\\"));
    EXPECT_TRUE(IsLink(calls, "C:\\Tavori/"));
    EXPECT_EQ(calls.askedAttributes,
              (std::vector<std::string>{"C:\\Tavori", "C:\\Tavori", "C:\\Tavori"}));
}

TEST(LinkRulesIsLink, ARootIsNeverALink) {
    StubCalls calls;
    calls.otherAttributes = Directory | Reparse; // every path asked about would be a link

    for (const char* root : {"C:\\", "C:", "c:/", "\\", "/", "\\\\?\\C:\\", "\\\\server\\share\\",
                             "\\\\server\\share", "\\\\server", "\\\\?\\UNC\\server\\share\\", ""})
        EXPECT_FALSE(IsLink(calls, root)) << root;
    EXPECT_TRUE(calls.askedAttributes.empty());

    // One level below a root is looked up.
    EXPECT_TRUE(IsLink(calls, "C:\\Tavori"));
    EXPECT_TRUE(IsLink(calls, "\\\\server\\share\\Tavori\\"));
    EXPECT_TRUE(IsLink(calls, "\\\\?\\UNC\\server\\share\\Tavori"));
    EXPECT_TRUE(IsLink(calls, "\\Tavori"));
}

// --- IsProgramGroupLink ------------------------------------------------------

constexpr const char* UserPrograms =
    "C:\\users\\demo\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr const char* CommonPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

StubCalls ShellWithBothProgramsFolders() {
    StubCalls calls;
    calls.folders[win32value::CsidlPrograms] = UserPrograms;
    calls.folders[win32value::CsidlCommonPrograms] = std::string(CommonPrograms) + "\\";
    return calls;
}

TEST(LinkRulesIsProgramGroupLink, AGroupFolderThatIsALinkInEitherProgramsFolderCounts) {
    StubCalls calls = ShellWithBothProgramsFolders();
    calls.attributes[std::string(UserPrograms) + "\\Tavori Viewer"] = Directory | Reparse;
    calls.attributes[std::string(UserPrograms) + "\\Tavori Sound"] = Directory;
    calls.attributes[std::string(CommonPrograms) + "\\Tavori Sound"] = Directory | Reparse;
    calls.attributes[std::string(UserPrograms) + "\\Tavori Notes"] = Directory;
    calls.attributes[std::string(CommonPrograms) + "\\Tavori Notes"] = Directory;

    EXPECT_TRUE(IsProgramGroupLink(calls, "Tavori Viewer"));
    EXPECT_TRUE(IsProgramGroupLink(calls, "Tavori Sound")); // per user ordinary, common a link
    EXPECT_FALSE(IsProgramGroupLink(calls, "Tavori Notes"));
    EXPECT_FALSE(IsProgramGroupLink(calls, "Accessories")); // in neither
    // The common folder's own trailing backslash is not doubled.
    EXPECT_EQ(calls.askedAttributes.back(), std::string(CommonPrograms) + "\\Accessories");
}

TEST(LinkRulesIsProgramGroupLink, OnlyTheProgramsFoldersTheShellKnowsAreLookedAt) {
    StubCalls calls;
    calls.otherAttributes = Directory | Reparse;
    EXPECT_FALSE(IsProgramGroupLink(calls, "Tavori Viewer"));
    EXPECT_TRUE(calls.askedAttributes.empty());

    calls.folders[win32value::CsidlCommonPrograms] = CommonPrograms;
    EXPECT_TRUE(IsProgramGroupLink(calls, "Tavori Viewer"));
    EXPECT_EQ(calls.askedAttributes,
              std::vector<std::string>{std::string(CommonPrograms) + "\\Tavori Viewer"});
}

TEST(LinkRulesIsProgramGroupLink, ANameThatCouldLeaveTheProgramsFolderIsNotLookedUp) {
    StubCalls calls = ShellWithBothProgramsFolders();
    calls.otherAttributes = Directory | Reparse;

    for (const char* group : {"", "..", "..\\..\\Pictures", "Tavori\\Viewer", "Tavori/Viewer",
                              "C:Tavori", "Tavori..Viewer", "D:\\Tavori Viewer"})
        EXPECT_FALSE(IsProgramGroupLink(calls, group)) << group;
    EXPECT_TRUE(calls.askedAttributes.empty());
}

} // namespace
} // namespace kestovan::win32
