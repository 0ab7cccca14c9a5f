// The platform on a machine directory, through the interface the program
// uses: settings store, profile files, system locations, shell folders,
// Program Manager and the App object.

#include "platform/posix/PosixPlatform.h"

#include "MachineFileSystemTestMachine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kestovan::posix {
namespace {

using testing::TestMachine;

constexpr const char* UserReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n\n"
    "[Environment] 1700000000\n"
    "\"TEMP\"=str(2):\"%USERPROFILE%\\\\Temp\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] "
    "1700000000\n"
    "\"Desktop\"=\"C:\\\\users\\\\demo\\\\Desktop\"\n"
    "\"Programs\"=\"C:\\\\users\\\\demo\\\\Programs\"\n"
    "\n"
    "[Software\\\\VB and VBA Program Settings\\\\TViewer\\\\Settings] 1700000000\n"
    "\"EXEPath\"=\"C:\\\\Program Files\\\\Tavori Viewer\\\\\"\n";

constexpr const char* SystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n#arch=win64\n\n"
    "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-0-"
    "1000] 1700000000\n"
    "\"ProfileImagePath\"=\"C:\\\\users\\\\demo\"\n";

class PosixPlatformTest : public ::testing::Test {
protected:
    PosixPlatformTest() {
        std::ofstream(machine.Dir() / "user.reg", std::ios::binary) << UserReg;
        std::ofstream(machine.Dir() / "system.reg", std::ios::binary) << SystemReg;
        machine.Directory("windows/system32");
        machine.Directory("Program Files/Tavori Viewer");
        machine.Directory("users/demo/Programs/Tavori Software");
    }
    PosixPlatform Platform() {
        return PosixPlatform(machine.Dir(), "C:\\Program Files\\Tavori Viewer", "/nowhere");
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(machine.C() / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TestMachine machine;
};

TEST_F(PosixPlatformTest, SettingsStoreReadsAndDeletesSections) {
    PosixPlatform platform = Platform();
    EXPECT_EQ(platform.GetSetting("TViewer", "Settings", "EXEPath", ""),
              "C:\\Program Files\\Tavori Viewer\\");
    EXPECT_EQ(platform.GetSetting("TSound", "Settings", "EXEPath", "none"), "none");
    platform.DeleteSetting("TViewer", "Settings");
    EXPECT_EQ(platform.GetSetting("TViewer", "Settings", "EXEPath", ""), "");
    try {
        platform.DeleteSetting("TViewer", "Settings");
        FAIL() << "deleting a missing section must raise";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 5);
    }
}

TEST_F(PosixPlatformTest, BareProfileNameIsTheWindowsDirectorysFile) {
    machine.File("windows/WIN.INI", "[Desktop]\r\nWallpaper = C:\\windows\\x.bmp \r\n");
    PosixPlatform platform = Platform();
    std::string buffer(128, ' ');
    const auto count =
        platform.GetPrivateProfileStringA("Desktop", "Wallpaper", "", buffer, 128, "win.ini");
    EXPECT_EQ(buffer.substr(0, count), "C:\\windows\\x.bmp");
}

TEST_F(PosixPlatformTest, ProfileWriteKeepsTheFileAndRefusesReadOnlyFiles) {
    const std::string ini = "[Remove]\r\nRemoveProgram1=Tavori Viewer\r\nStartMenu1=Tavori\r\n";
    machine.File("Program Files/Tavori Viewer/tavori.ini", ini);
    PosixPlatform platform = Platform();
    const std::string path = "C:\\Program Files\\Tavori Viewer\\TAVORI.INI";
    EXPECT_NE(platform.WritePrivateProfileStringA("Remove", "RemoveProgram1", "", path), 0);
    EXPECT_EQ(Read("Program Files/Tavori Viewer/tavori.ini"),
              "[Remove]\r\nRemoveProgram1=\r\nStartMenu1=Tavori\r\n");

    machine.ReadOnly("Program Files/Tavori Viewer/tavori.ini");
    EXPECT_EQ(platform.WritePrivateProfileStringA("Remove", "StartMenu1", "", path), 0);
    EXPECT_EQ(Read("Program Files/Tavori Viewer/tavori.ini"),
              "[Remove]\r\nRemoveProgram1=\r\nStartMenu1=Tavori\r\n");
}

TEST_F(PosixPlatformTest, ProfileWriteKeepsAHiddenFileHiddenAndItsLineFeeds) {
    if (!machine.HasXattrs())
        GTEST_SKIP() << "the temporary directory's file system keeps no user xattrs";
    machine.File("Program Files/Tavori Viewer/tavori.ini", "[Remove]\nStartMenu1=Tavori\n");
    machine.DosAttrib("Program Files/Tavori Viewer/tavori.ini", "0x2");
    PosixPlatform platform = Platform();
    const std::string path = "C:\\Program Files\\Tavori Viewer\\tavori.ini";
    EXPECT_NE(platform.WritePrivateProfileStringA("Remove", "StartMenu1", "", path), 0);
    EXPECT_EQ(Read("Program Files/Tavori Viewer/tavori.ini"), "[Remove]\nStartMenu1=\n");
    EXPECT_EQ(platform.Dir(path, attr::Normal), "");
    EXPECT_EQ(platform.Dir(path, attr::Hidden), "tavori.ini");
}

TEST_F(PosixPlatformTest, SystemLocationsFollowWin32BufferRules) {
    PosixPlatform platform = Platform();
    std::string buffer(128, ' ');
    ASSERT_EQ(platform.GetWindowsDirectoryA(buffer, 128), 10u);
    EXPECT_EQ(buffer.substr(0, 11), std::string("C:\\windows\0", 11));
    std::string small(4, ' ');
    EXPECT_EQ(platform.GetSystemDirectoryA(small, 4), 20u) << "too small: the size needed";
    // TEMP refers to the profile directory, which lives with the profile list.
    std::string temp(255, ' ');
    const auto length = platform.GetTempPathA(255, temp);
    EXPECT_EQ(temp.substr(0, length), "C:\\users\\demo\\Temp\\");
}

TEST_F(PosixPlatformTest, TempPathUnknownGivesZero) {
    std::ofstream(machine.Dir() / "user.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n\n";
    PosixPlatform platform = Platform();
    std::string temp(255, ' ');
    EXPECT_EQ(platform.GetTempPathA(255, temp), 0u);
}

TEST_F(PosixPlatformTest, ShellFoldersAndProgramManager) {
    PosixPlatform platform = Platform();
    std::string path;
    EXPECT_NE(platform.GetFolderPath(0, 0, path), 0);
    EXPECT_EQ(path, "C:\\users\\demo\\Desktop");
    EXPECT_EQ(platform.GetFolderPath(0, 11, path), 0) << "no Start Menu value";

    platform.DdeInitiate("ProgMan|Progman");
    EXPECT_EQ(platform.DdeRequest("ProgMan|Progman", "PROGMAN"), "Tavori Software\r\n");
    platform.DdeExecute("Progman|Progman", "[DeleteGroup(Tavori Software)]");
    EXPECT_FALSE(std::filesystem::exists(machine.C() / "users/demo/Programs/Tavori Software"));
    EXPECT_EQ(platform.DdeRequest("ProgMan|Progman", "PROGMAN"), "");
}

TEST_F(PosixPlatformTest, AppPathAndTheSingleCopyLock) {
    PosixPlatform first = Platform();
    EXPECT_EQ(first.AppPath(), "C:\\Program Files\\Tavori Viewer");
    EXPECT_FALSE(first.AppPrevInstance());
    PosixPlatform second = Platform();
    EXPECT_TRUE(second.AppPrevInstance());
    EXPECT_THROW(PosixPlatform(machine.Dir(), std::nullopt, "/usr/bin/true"), RuntimeError)
        << "an executable outside the machine needs --exe-dir";
}

TEST_F(PosixPlatformTest, AMachineWithA32BitSystemDirectoryIsSeenAsA32BitProgramSeesIt) {
    // Without windows/syswow64 the system directory is system32 itself.
    machine.File("windows/system32/TVIEWSCR.DAT", "");
    {
        PosixPlatform platform = Platform();
        EXPECT_EQ(platform.Dir("C:\\windows\\system32\\TVIEWSCR.DAT", 0), "TVIEWSCR.DAT");
    }

    // With it, every file call on the system directory's paths reaches the
    // 32-bit one; the names stay the system directory's.
    machine.Directory("windows/SysWOW64");
    machine.File("windows/SysWOW64/Tavori Viewer Screen Saver.SCR", "");
    machine.File("windows/SysWOW64/TViewSCR.SCR", "");
    PosixPlatform platform = Platform();
    std::string buffer(256, '\0');
    ASSERT_GT(platform.GetSystemDirectoryA(buffer, 256), 0u);
    EXPECT_EQ(buffer.c_str(), std::string("C:\\windows\\system32"));

    EXPECT_EQ(platform.Dir("C:\\windows\\system32\\TVIEWSCR.DAT", 0), "")
        << "the 64-bit system directory's copy is not seen";
    EXPECT_EQ(platform.Dir("c:\\WINDOWS\\System32\\tavori viewer screen saver.scr", 0),
              "Tavori Viewer Screen Saver.SCR");
    EXPECT_EQ(platform.GetAttr("C:\\windows\\system32\\TViewSCR.SCR"), 0);
    EXPECT_EQ(platform.ListFiles("C:\\windows\\system32", "*.SCR"),
              (std::vector<std::string>{"Tavori Viewer Screen Saver.SCR", "TViewSCR.SCR"}));
    EXPECT_EQ(platform.ResolveDirectory("C:\\windows\\system32\\"), "C:\\windows\\SysWOW64\\");
    // One directory part, some names redirected and some not, in turns.
    machine.Directory("windows/system32/catroot");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(platform.GetAttr("C:\\windows\\system32\\TViewSCR.SCR"), 0);
        EXPECT_EQ(platform.GetAttr("C:\\windows\\system32\\catroot"), attr::Directory);
        EXPECT_EQ(platform.GetAttr("C:\\windows\\system32\\CATROOT"), attr::Directory);
    }

    platform.SetAttr("C:\\windows\\system32\\TViewSCR.SCR", attr::Hidden);
    EXPECT_EQ(platform.Dir("C:\\windows\\SysWOW64\\TViewSCR.SCR", 0), "");
    platform.SetAttr("C:\\windows\\system32\\TViewSCR.SCR", attr::Normal);
    platform.Kill("C:\\windows\\system32\\Tavori Viewer Screen Saver.SCR");
    platform.Kill("C:\\windows\\system32\\TViewSCR.SCR");
    EXPECT_FALSE(std::filesystem::exists(machine.C() / "windows/SysWOW64/TViewSCR.SCR"));
    EXPECT_FALSE(
        std::filesystem::exists(machine.C() / "windows/SysWOW64/Tavori Viewer Screen Saver.SCR"));
    EXPECT_THROW(platform.Kill("C:\\windows\\system32\\TVIEWSCR.DAT"), RuntimeError);
    EXPECT_TRUE(std::filesystem::exists(machine.C() / "windows/system32/TVIEWSCR.DAT"))
        << "the copy only in the 64-bit system directory stays";

    // The shared sub-directories and the sysnative alias lead to system32.
    machine.File("windows/system32/drivers/etc/hosts", "");
    EXPECT_EQ(platform.Dir("C:\\windows\\system32\\drivers\\etc\\hosts", 0), "hosts");
    EXPECT_EQ(platform.Dir("C:\\windows\\sysnative\\TVIEWSCR.DAT", 0), "TVIEWSCR.DAT");
}

} // namespace
} // namespace kestovan::posix
