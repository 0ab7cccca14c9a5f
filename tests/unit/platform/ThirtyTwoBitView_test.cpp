// The system directory and the registry as a 32-bit program sees them on
// 64-bit Windows.

#include "platform/ThirtyTwoBitView.h"

#include "platform/PlatformServices.h"

#include <gtest/gtest.h>

namespace kestovan {
namespace {

const SystemDirectoryView View("C:\\Windows\\System32", "C:\\Windows\\SysWOW64");

TEST(SystemDirectoryView, PathsInTheSystemDirectoryLeadToThe32BitOne) {
    EXPECT_TRUE(View.Redirects());
    EXPECT_EQ(View.Apply("C:\\Windows\\System32\\Tavori Viewer Screen Saver.SCR"),
              "C:\\Windows\\SysWOW64\\Tavori Viewer Screen Saver.SCR");
    // Any letter case, either separator; the directory itself, with and
    // without its trailing backslash; deeper paths and wildcards.
    EXPECT_EQ(View.Apply("c:\\WINDOWS\\system32\\TVIEWSCR.DAT"),
              "c:\\Windows\\SysWOW64\\TVIEWSCR.DAT");
    EXPECT_EQ(View.Apply("C:/windows/system32/x.dll"), "C:\\Windows\\SysWOW64\\x.dll");
    EXPECT_EQ(View.Apply("C:\\windows\\system32"), "C:\\Windows\\SysWOW64");
    EXPECT_EQ(View.Apply("C:\\windows\\system32\\"), "C:\\Windows\\SysWOW64\\");
    EXPECT_EQ(View.Apply("C:\\windows\\system32\\drivers\\x.sys"),
              "C:\\Windows\\SysWOW64\\drivers\\x.sys");
    EXPECT_EQ(View.Apply("C:\\windows\\system32\\*.scr"), "C:\\Windows\\SysWOW64\\*.scr");

    std::vector<std::string> components = {"WINDOWS", "SYSTEM32", "TVIEWSCR.DAT"};
    EXPECT_TRUE(View.Apply('C', components));
    EXPECT_EQ(components, (std::vector<std::string>{"Windows", "SysWOW64", "TVIEWSCR.DAT"}));
}

TEST(SystemDirectoryView, SharedSubdirectoriesAndOtherPathsStayWhereTheyAre) {
    for (const char* path :
         {"C:\\Windows\\System32\\catroot\\x.cat", "C:\\Windows\\System32\\CatRoot2",
          "C:\\Windows\\System32\\DriverStore\\FileRepository\\x.inf",
          "C:\\Windows\\System32\\drivers\\etc\\hosts", "C:\\Windows\\System32\\LogFiles\\",
          "C:\\Windows\\System32\\spool\\drivers", "C:\\Windows\\System32x\\a.dll",
          "C:\\Windows\\a.dll", "C:\\Windows", "C:\\System32\\a.dll",
          "D:\\Windows\\System32\\a.dll", "Windows\\System32\\a.dll", "\\Windows\\System32",
          "\\\\server\\share\\Windows\\System32\\a.dll", "C:", ""})
        EXPECT_EQ(View.Apply(path), path) << path;

    std::vector<std::string> components = {"windows", "system32", "drivers", "etc", "hosts"};
    EXPECT_FALSE(View.Apply('c', components));
    EXPECT_EQ(components.size(), 5u);
    EXPECT_EQ(components[1], "system32");
}

TEST(SystemDirectoryView, SysnativeNamesTheSystemDirectoryItself) {
    EXPECT_EQ(View.Apply("C:\\Windows\\Sysnative\\x.dll"), "C:\\Windows\\System32\\x.dll");
    EXPECT_EQ(View.Apply("C:\\WINDOWS\\SYSNATIVE"), "C:\\Windows\\System32");
    EXPECT_EQ(View.Apply("C:\\Windows\\Sysnative2\\x.dll"), "C:\\Windows\\Sysnative2\\x.dll");
}

TEST(SystemDirectoryView, NoRedirectionWithoutAUsable32BitDirectory) {
    const SystemDirectoryView none;
    EXPECT_FALSE(none.Redirects());
    EXPECT_EQ(none.Apply("C:\\Windows\\System32\\x.dll"), "C:\\Windows\\System32\\x.dll");
    std::vector<std::string> components = {"Windows", "System32", "x.dll"};
    EXPECT_FALSE(none.Apply('c', components));

    // An empty, relative, other-drive or nested 32-bit directory is refused.
    for (const char* wow64 : {"", "Windows\\SysWOW64", "D:\\Windows\\SysWOW64",
                              "C:\\Windows\\System32\\SysWOW64", "C:\\Windows", "C:\\"})
        EXPECT_FALSE(SystemDirectoryView("C:\\Windows\\System32", wow64).Redirects()) << wow64;
}

TEST(RegistryRedirection, OnlyTheKeysWindowsKeepsApartAreOpenedInThe32BitView) {
    // What the removal touches is shared: the file associations and class
    // keys, and the settings store.
    for (const char* key :
         {"TavoriViewer", ".jpg", ".bmp", "TavoriViewer.Image\\shell\\open", "CLSIDS", ""})
        EXPECT_FALSE(RedirectedForThirtyTwoBitPrograms(hkey::ClassesRoot, key)) << key;
    EXPECT_FALSE(RedirectedForThirtyTwoBitPrograms(
        hkey::CurrentUser, "Software\\VB and VBA Program Settings\\TViewer\\Settings"));
    EXPECT_FALSE(RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "Software\\Classes\\.jpg"));
    EXPECT_FALSE(
        RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "System\\CurrentControlSet"));

    // COM registrations, in any letter case and under either Classes key.
    for (const char* key : {"CLSID", "clsid\\{00000000-0000-0000-0000-000000000001}", "Interface",
                            "DirectShow\\x", "Media Type", "MEDIAFOUNDATION"})
        EXPECT_TRUE(RedirectedForThirtyTwoBitPrograms(hkey::ClassesRoot, key)) << key;
    EXPECT_TRUE(RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "SOFTWARE\\Classes\\CLSID"));
    EXPECT_TRUE(
        RedirectedForThirtyTwoBitPrograms(hkey::CurrentUser, "Software\\Classes\\Interface"));
    EXPECT_FALSE(RedirectedForThirtyTwoBitPrograms(hkey::CurrentUser, "Software\\CLSID"));

    // The machine's software keys outside Classes.
    EXPECT_TRUE(RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "Software"));
    EXPECT_TRUE(RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "software\\Korvane\\Tavori"));
    EXPECT_TRUE(RedirectedForThirtyTwoBitPrograms(hkey::LocalMachine, "\\Software\\\\Korvane"));

    // A key given by an opened handle keeps the view it was opened in.
    EXPECT_FALSE(RedirectedForThirtyTwoBitPrograms(0x1234u, "CLSID"));
}

} // namespace
} // namespace kestovan
