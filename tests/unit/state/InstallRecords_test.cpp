// Start-up routines and install records against an in-memory machine.

#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

class InstallRecordsTest : public RemovalTest {};

TEST_F(InstallRecordsTest, DirectoryRoutinesAddTheBackslashOrGiveUp) {
    EXPECT_EQ(module.GetWindowsDir(), "C:\\WINDOWS\\");
    EXPECT_EQ(module.GetSystemDir(), "C:\\WINDOWS\\SYSTEM\\");
    platform.Fail("GetWindowsDirectoryA");
    platform.Fail("GetSystemDirectoryA");
    EXPECT_EQ(module.GetWindowsDir(), "\\");
    EXPECT_EQ(module.GetSystemDir(), "");
}

TEST_F(InstallRecordsTest, RegistryPathsAreDotMissingOrTheDirectory) {
    platform.AddDirectory("C:\\Sound");
    platform.SetSetting("TViewer", "Settings", "EXEPath", "c:\\program files\\tavori viewer");
    platform.SetSetting("TSound", "Settings", "EXEPath", "C:\\Sound");
    platform.SetSetting("TNotes", "Settings", "EXEPath", "C:\\Gone\\");
    module.ReadRegistryPaths();
    EXPECT_EQ(s.ViewerPath, ".");
    EXPECT_EQ(s.SoundPath, "C:\\Sound\\");
    EXPECT_EQ(s.NotesPath, "");
}

TEST_F(InstallRecordsTest, RegistryPathOfTheWindowsOrSystemDirectoryCountsAsNotFound) {
    platform.SetSetting("TViewer", "Settings", "EXEPath", "c:\\windows");
    platform.SetSetting("TSound", "Settings", "EXEPath", "C:\\WINDOWS\\SYSTEM\\");
    module.ReadRegistryPaths();
    EXPECT_EQ(s.ViewerPath, "");
    EXPECT_EQ(s.SoundPath, "");
}

// Registered directories are judged by where they lead, not by their text.
TEST_F(InstallRecordsTest, RegistryPathLeadingToTheSystemThroughLinksCountsAsNotFound) {
    platform.AddDirectoryLink("C:\\Tavori", "C:\\WINDOWS");
    platform.AddDirectoryLink("C:\\Apps\\Sys", "C:\\WINDOWS\\SYSTEM");
    platform.AddDirectoryLink("C:\\Apps\\Everything", "C:\\");
    platform.AddDirectoryLink("D:\\Tavori", "C:\\Tavori"); // a link to the link
    platform.AddDirectory("C:\\WINDOWS\\SYSTEM\\Viewer");
    for (const char* path :
         {"C:\\Tavori", "c:\\apps\\sys\\", "C:\\Apps\\Everything", "D:\\Tavori"}) {
        platform.SetSetting("TViewer", "Settings", "EXEPath", path);
        module.ReadRegistryPaths();
        EXPECT_EQ(s.ViewerPath, "") << path;
    }
    // A directory inside the system directory is not the system directory,
    // but a drive's root or any directory holding the Windows directory is.
    platform.AddDirectory("C:\\Data");
    platform.AddDirectory("E:\\Photos");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"C:\\", ""},
        {"E:\\", ""},
        {"C:\\Tavori\\SYSTEM", ""},
        {"C:\\WINDOWS\\SYSTEM\\Viewer", "C:\\WINDOWS\\SYSTEM\\Viewer\\"},
        {"C:\\Data", "C:\\Data\\"},
        {"E:\\Photos\\", "E:\\Photos\\"}};
    for (const auto& [path, expected] : cases) {
        platform.SetSetting("TViewer", "Settings", "EXEPath", path);
        module.ReadRegistryPaths();
        EXPECT_EQ(s.ViewerPath, expected) << path;
    }
}

// A program directory moved elsewhere and reached through a link is an
// installation like any other.
TEST_F(InstallRecordsTest, RegistryPathThroughALinkToAProgramDirectoryIsFound) {
    platform.AddDirectory("D:\\Programs\\Tavori Viewer");
    platform.AddDirectoryLink("C:\\Viewer", "D:\\Programs\\Tavori Viewer");
    platform.SetSetting("TViewer", "Settings", "EXEPath", "C:\\Viewer");
    module.ReadRegistryPaths();
    EXPECT_EQ(s.ViewerPath, "C:\\Viewer\\");
}

TEST_F(InstallRecordsTest, RegistryPathWhoseTestFailsCountsAsFound) {
    platform.SetSetting("TViewer", "Settings", "EXEPath", "Q:\\Viewer");
    platform.Fail("Dir", "Q:\\Viewer\\", err::BadFileNameOrNumber);
    module.ReadRegistryPaths();
    EXPECT_EQ(s.ViewerPath, "Q:\\Viewer\\");
}

TEST_F(InstallRecordsTest, PreferencesAreTrimmedCutAndCounted) {
    SetPreference("RemoveProgram2", "  Tavori Viewer  ");
    SetPreference("StartMenu2", "Tavori Software");
    SetPreference("RegJPG", std::string(200, 'j'));
    module.ReadPreferencesFile();
    EXPECT_EQ(s.RemoveProgram1, "");
    EXPECT_EQ(s.RemoveProgram2, "Tavori Viewer");
    EXPECT_EQ(s.StartMenu2, "Tavori Software");
    EXPECT_EQ(s.ProgramCount, 1);
    EXPECT_EQ(s.RegJPG, std::string(127, 'j'));
    EXPECT_EQ(s.RegEMF, "");
}

TEST_F(InstallRecordsTest, MissingPreferencesFileGivesNothing) {
    s.RemoveProgram1 = "stale";
    module.ReadPreferencesFile();
    EXPECT_EQ(s.RemoveProgram1, "");
    EXPECT_EQ(s.ProgramCount, 0);
}

TEST_F(InstallRecordsTest, ForgetApplicationClearsTheSlotAndAMissingGroup) {
    SetPreference("RemoveProgram1", "Tavori Notes");
    SetPreference("StartMenu1", "Notes Group");
    SetPreference("RemoveProgram2", "Tavori Viewer");
    SetPreference("StartMenu2", "Tavori Software");
    module.ReadPreferencesFile();
    const std::string ini = InProgram("tavori.ini");

    platform.groups = {"Main", "Tavori Software"};
    module.ForgetApplication("Tavori Viewer");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "RemoveProgram2"), "");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "StartMenu2"), "Tavori Software")
        << "the group still exists";

    module.ForgetApplication("Tavori Notes");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "RemoveProgram1"), "");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "StartMenu1"), "") << "its group is gone";
}

TEST_F(InstallRecordsTest, ForgetApplicationOfAnUnknownNameWritesNothing) {
    SetPreference("RemoveProgram3", "Tavori Notes");
    SetPreference("StartMenu3", "Gone");
    module.ReadPreferencesFile();
    module.ForgetApplication("Tavori Sound");
    const std::string ini = InProgram("tavori.ini");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "RemoveProgram3"), "Tavori Notes");
    EXPECT_EQ(platform.ProfileString(ini, "Remove", "StartMenu3"), "Gone");
}

// A group that Program Manager could not be asked about may still exist, so
// its record stays; the application's own entry is emptied all the same.
TEST_F(InstallRecordsTest, ForgetApplicationWithoutProgramManagerKeepsTheGroupRecord) {
    SetPreference("RemoveProgram1", "Tavori Viewer");
    SetPreference("StartMenu1", "Tavori Software");
    module.ReadPreferencesFile();
    platform.programManager = false;
    module.ForgetApplication("Tavori Viewer");
    EXPECT_EQ(platform.ProfileString(InProgram("tavori.ini"), "Remove", "RemoveProgram1"), "");
    EXPECT_EQ(platform.ProfileString(InProgram("tavori.ini"), "Remove", "StartMenu1"),
              "Tavori Software");
}

TEST_F(InstallRecordsTest, ForgetApplicationWhoseGroupRequestFailsKeepsTheGroupRecord) {
    SetPreference("RemoveProgram2", "Tavori Viewer");
    SetPreference("StartMenu2", "Tavori Software");
    module.ReadPreferencesFile();
    platform.Fail("DdeRequest");
    module.ForgetApplication("Tavori Viewer");
    EXPECT_EQ(platform.ProfileString(InProgram("tavori.ini"), "Remove", "RemoveProgram2"), "");
    EXPECT_EQ(platform.ProfileString(InProgram("tavori.ini"), "Remove", "StartMenu2"),
              "Tavori Software");
}

} // namespace
} // namespace kestovan::memtest
