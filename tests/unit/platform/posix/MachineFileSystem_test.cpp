#include "MachineFileSystemTestMachine.h"

namespace kestovan::posix::testing {
namespace {

using MachineDrivesAndPaths = MachineTest;

TEST_F(MachineDrivesAndPaths, DriveCIsDriveCWithoutDosdevices) {
    machine_.File("windows/win.ini");
    EXPECT_EQ(fs_.Resolve("C:\\windows\\win.ini"), fs::canonical(machine_.C() / "windows/win.ini"));
    EXPECT_EQ(fs_.Resolve("c:\\WINDOWS\\WIN.INI"), fs::canonical(machine_.C() / "windows/win.ini"));
    EXPECT_EQ(fs_.Dir("c:\\Windows\\Win.ini", 0), "win.ini");
}

TEST_F(MachineDrivesAndPaths, DosdevicesLinksMapDrives) {
    fs::create_directory(machine_.Dir() / "dosdevices");
    fs::create_directory(machine_.Dir() / "other");
    fs::create_directory(machine_.Dir() / "real_c");
    std::ofstream(machine_.Dir() / "other/data.txt") << "d";
    std::ofstream(machine_.Dir() / "real_c/boot.ini") << "c";
    fs::create_directory_symlink("../other", machine_.Dir() / "dosdevices/d:");
    fs::create_directory_symlink("../real_c", machine_.Dir() / "dosdevices/c:");
    machine_.File("hidden-by-link.txt");

    EXPECT_EQ(fs_.Dir("D:\\DATA.TXT", 0), "data.txt");
    EXPECT_EQ(fs_.Dir("d:\\data.txt", 0), "data.txt");
    // dosdevices/c: wins over drive_c.
    EXPECT_EQ(fs_.Dir("C:\\boot.ini", 0), "boot.ini");
    EXPECT_EQ(fs_.Dir("C:\\hidden-by-link.txt", 0), "");
    EXPECT_EQ(fs_.Resolve("D:\\data.txt"), fs::canonical(machine_.Dir() / "other/data.txt"));
}

TEST_F(MachineDrivesAndPaths, UnmappedDriveRaises52AndChDriveRaises68) {
    EXPECT_EQ(ErrorOf([&] { fs_.Dir("Q:\\x.txt", 0); }), 52);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("Q:\\x.txt"); }), 52);
    EXPECT_EQ(ErrorOf([&] { fs_.Resolve("Q:\\x.txt"); }), 52);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("Q:\\"); }), 52);
    EXPECT_EQ(ErrorOf([&] { fs_.ListFiles("Q:\\", "*.*"); }), 52);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDrive("Q:"); }), 68);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDrive("1"); }), 68);
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\");
}

TEST_F(MachineDrivesAndPaths, MalformedPathsRaise52) {
    for (const char* path : {"C:\\a|b", "C:\\a\"b", "C:\\a:b", "\\\\server\\share\\x",
                             "C:\\dir*\\file", "C:\\file?.txt", "1:\\x"})
        EXPECT_EQ(ErrorOf([&] { fs_.Resolve(path); }), 52) << path;
    EXPECT_EQ(ErrorOf([&] { fs_.Dir("C:\\dir*\\*.txt", 0); }), 52);
}

TEST_F(MachineDrivesAndPaths, ResolveMatchesExistingComponentsAndKeepsTheRest) {
    machine_.File("Program Files/Tavori/TVIEWER.EXE");
    const fs::path c = fs::canonical(machine_.C());
    EXPECT_EQ(fs_.Resolve("C:\\program files\\TAVORI\\tviewer.exe"),
              c / "Program Files/Tavori/TVIEWER.EXE");
    EXPECT_EQ(fs_.Resolve("C:\\PROGRAM FILES\\New Dir\\New.txt"),
              c / "Program Files/New Dir/New.txt");
    EXPECT_EQ(fs_.Resolve("C:/program files/tavori/"), c / "Program Files/Tavori");
    EXPECT_EQ(fs_.Resolve("C:\\"), c);
    // ".." never climbs above the drive's root.
    EXPECT_EQ(fs_.Resolve("C:\\..\\..\\program files\\..\\..\\x.txt"), c / "x.txt");
    // Trailing dots and spaces of the last component are dropped.
    EXPECT_EQ(fs_.Resolve("C:\\Program Files\\Tavori\\tviewer.exe. "),
              c / "Program Files/Tavori/TVIEWER.EXE");
}

TEST_F(MachineDrivesAndPaths, ExactNameFirstThenFirstCaseInsensitiveInByteOrder) {
    machine_.File("dir/readme.txt", "lower");
    machine_.File("dir/README.TXT", "upper");
    machine_.File("dir/ReadMe.txt", "mixed");
    machine_.File("dir/reAdme.txt", "fourth");
    machine_.File("dir/READme.txt", "fifth");
    const fs::path dir = fs::canonical(machine_.C() / "dir");
    EXPECT_EQ(fs_.Resolve("C:\\dir\\readme.txt"), dir / "readme.txt");
    EXPECT_EQ(fs_.Resolve("C:\\dir\\ReadMe.txt"), dir / "ReadMe.txt");
    // "README.TXT" < "READme.txt" < "ReadMe.txt" < "reAdme.txt" <
    // "readme.txt" in byte order.
    EXPECT_EQ(fs_.Resolve("C:\\dir\\readme.TXT"), dir / "README.TXT");
    EXPECT_EQ(fs_.Dir("C:\\DIR\\rEADME.TXT", 0), "README.TXT");
    fs_.Kill("C:\\dir\\README.TXT");
    EXPECT_EQ(fs_.Dir("C:\\DIR\\rEADME.TXT", 0), "READme.txt");
    fs_.Kill("C:\\dir\\READme.txt");
    fs_.Kill("C:\\dir\\ReadMe.txt");
    EXPECT_EQ(fs_.Resolve("C:\\dir\\README.TXT"), dir / "reAdme.txt");
}

TEST_F(MachineDrivesAndPaths, EachPathOfARunInOneDirectoryIsTakenAsWritten) {
    machine_.File("w/a.txt");
    machine_.File("w/sub/b.txt");
    const fs::path c = fs::canonical(machine_.C());
    // The first path's directory part is split once; the paths after it
    // that begin the same way are still read whole.
    EXPECT_EQ(fs_.Resolve("C:\\w\\a.txt"), c / "w/a.txt");
    EXPECT_EQ(fs_.Resolve("C:\\w\\A.TXT. "), c / "w/a.txt");
    EXPECT_EQ(fs_.Resolve("C:\\w\\.."), c);
    EXPECT_EQ(fs_.Resolve("C:\\w\\."), c / "w");
    EXPECT_EQ(fs_.Resolve("C:\\w\\. ."), c / "w");
    EXPECT_EQ(fs_.Resolve("C:\\w\\sub\\b.txt"), c / "w/sub/b.txt");
    EXPECT_EQ(fs_.Resolve("C:\\w\\sub\\..\\a.txt"), c / "w/a.txt");
    EXPECT_EQ(fs_.Resolve("C:\\w\\SUB\\"), c / "w/sub");
    for (const char* path :
         {"C:\\w\\a|b", "C:\\w\\a:b", "C:\\w\\*.txt", "C:\\w\\a?.txt", "C:\\w\\a\x01"})
        EXPECT_EQ(ErrorOf([&] { fs_.Resolve(path); }), 52) << path;
    EXPECT_EQ(fs_.Dir("C:\\w\\*.TXT", 0), "a.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.GetAttr("C:\\w\\*.txt"); }), 52);
    EXPECT_EQ(fs_.Resolve("C:/w/a.txt"), c / "w/a.txt");
    EXPECT_EQ(fs_.Resolve("c:\\W\\a.txt"), c / "w/a.txt");
    fs_.Kill("C:\\w\\A.TXT");
    EXPECT_FALSE(machine_.Exists("w/a.txt"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\w\\a.txt"); }), 53);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\w\\sub"); }), 53);
}

TEST_F(MachineDrivesAndPaths, RelativePathsUseTheDrivesCurrentDirectory) {
    machine_.File("Program Files/Tavori/SLIDES/a.tvs");
    const fs::path c = fs::canonical(machine_.C());
    EXPECT_EQ(fs_.Resolve("a.txt"), c / "a.txt");
    fs_.ChDir("c:\\program files\\tavori");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\Program Files\\Tavori");
    EXPECT_EQ(fs_.Resolve("slides\\A.TVS"), c / "Program Files/Tavori/SLIDES/a.tvs");
    EXPECT_EQ(fs_.Resolve("C:slides"), c / "Program Files/Tavori/SLIDES");
    EXPECT_EQ(fs_.Resolve("..\\x"), c / "Program Files/x");
    EXPECT_EQ(fs_.Resolve("\\x"), c / "x");
    EXPECT_EQ(fs_.Dir("SLIDES\\*.tvs", 0), "a.tvs");
    fs_.ChDir("SLIDES");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\Program Files\\Tavori\\SLIDES");
    fs_.ChDir("..");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\Program Files\\Tavori");
}

TEST_F(MachineDrivesAndPaths, ChDirSetsTheDirectoryOfItsDriveOnly) {
    fs::create_directory(machine_.Dir() / "dosdevices");
    fs::create_directory(machine_.Dir() / "d_root");
    fs::create_directory(machine_.Dir() / "d_root/Data");
    fs::create_directory_symlink("../d_root", machine_.Dir() / "dosdevices/d:");
    fs::create_directory_symlink("../drive_c", machine_.Dir() / "dosdevices/c:");
    machine_.Directory("windows");

    fs_.ChDir("D:\\data");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\"); // the current drive is still C:
    fs_.ChDrive("d:\\anything");
    EXPECT_EQ(fs_.CurrentDirectory(), "D:\\Data");
    fs_.ChDir("C:\\WINDOWS");
    EXPECT_EQ(fs_.CurrentDirectory(), "D:\\Data");
    fs_.ChDrive("C");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\windows");
    fs_.ChDrive("");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\windows");
}

TEST_F(MachineDrivesAndPaths, ChDirToMissingDirectoryOrFileRaises76) {
    machine_.File("windows/win.ini");
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("C:\\nowhere"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("C:\\nowhere\\deeper\\"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("C:\\windows\\win.ini"); }), 76);
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\");
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("C:\\windows\\"); }), 0);
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\windows");
}

TEST_F(MachineDrivesAndPaths, ToWindowsPathNamesTheDriveHoldingTheHostPath) {
    machine_.File("Program Files/Tavori/TVIEWER.EXE");
    EXPECT_EQ(fs_.ToWindowsPath(machine_.C() / "Program Files/Tavori/TVIEWER.EXE"),
              "C:\\Program Files\\Tavori\\TVIEWER.EXE");
    EXPECT_EQ(fs_.ToWindowsPath(machine_.C()), "C:\\");
    EXPECT_EQ(fs_.ToWindowsPath(machine_.C() / "Program Files/not yet"),
              "C:\\Program Files\\not yet");
    EXPECT_EQ(fs_.ToWindowsPath(machine_.Dir() / "system.reg"), std::nullopt);
    EXPECT_EQ(fs_.ToWindowsPath("/"), std::nullopt);

    // With z: mapping the whole host, the most specific drive wins.
    fs::create_directory(machine_.Dir() / "dosdevices");
    fs::create_directory_symlink("../drive_c", machine_.Dir() / "dosdevices/c:");
    fs::create_directory_symlink("/", machine_.Dir() / "dosdevices/z:");
    EXPECT_EQ(fs_.ToWindowsPath(machine_.C() / "Program Files"), "C:\\Program Files");
    const auto system = fs_.ToWindowsPath(machine_.Dir() / "system.reg");
    ASSERT_TRUE(system.has_value());
    EXPECT_TRUE(system->starts_with("Z:\\")) << *system;
    EXPECT_TRUE(system->ends_with("\\system.reg")) << *system;
}

} // namespace
} // namespace kestovan::posix::testing
