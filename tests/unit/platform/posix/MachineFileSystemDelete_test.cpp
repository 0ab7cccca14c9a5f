#include "MachineFileSystemTestMachine.h"

namespace kestovan::posix::testing {
namespace {

using MachineKill = MachineTest;
using MachineRmDir = MachineTest;
using MachineSetAttr = MachineTest;

TEST_F(MachineKill, DeletesOneFileFoundWithoutRegardToCase) {
    machine_.File("app/TVIEWER.EXE");
    machine_.File("app/keep.txt");
    fs_.Kill("c:\\APP\\tviewer.exe");
    EXPECT_FALSE(machine_.Exists("app/TVIEWER.EXE"));
    EXPECT_TRUE(machine_.Exists("app/keep.txt"));
    EXPECT_EQ(fs_.Dir("C:\\app\\TVIEWER.EXE", 0), "");
}

TEST_F(MachineKill, RaisesTheClassicNumbers) {
    machine_.File("app/README.TXT");
    machine_.ReadOnly("app/README.TXT");
    machine_.Directory("app/SLIDES");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\missing.txt"); }), 53);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\nowhere\\missing.txt"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\README.TXT"); }), 75);
    EXPECT_TRUE(machine_.Exists("app/README.TXT"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\SLIDES"); }), 53);
    EXPECT_TRUE(machine_.Exists("app/SLIDES"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\"); }), 53);
}

TEST_F(MachineKill, RefusedUnlinkRaises70) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may delete in a directory without write permission";
    machine_.File("locked/file.txt");
    fs::permissions(machine_.C() / "locked", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\locked\\file.txt"); }), 70);
    EXPECT_TRUE(machine_.Exists("locked/file.txt"));
}

TEST_F(MachineKill, HiddenFileNeedsItsAttributesClearedFirst) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("app/TVIEWER.GID");
    machine_.DosAttrib("app/TVIEWER.GID", "0x3");
    machine_.ReadOnly("app/TVIEWER.GID");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\TVIEWER.GID"); }), 53);
    fs_.SetAttr("C:\\app\\tviewer.gid", 0);
    EXPECT_EQ(fs_.Dir("C:\\app\\TVIEWER.GID", 0), "TVIEWER.GID");
    fs_.Kill("C:\\app\\TVIEWER.GID");
    EXPECT_FALSE(machine_.Exists("app/TVIEWER.GID"));
}

TEST_F(MachineKill, WildcardsDeleteEveryMatchingFile) {
    machine_.File("t/one.tmp");
    machine_.File("t/TWO.TMP");
    machine_.File("t/three.txt");
    machine_.Directory("t/dir.tmp");
    fs_.Kill("C:\\t\\*.tmp");
    EXPECT_FALSE(machine_.Exists("t/one.tmp"));
    EXPECT_FALSE(machine_.Exists("t/TWO.TMP"));
    EXPECT_TRUE(machine_.Exists("t/three.txt"));
    EXPECT_TRUE(machine_.Exists("t/dir.tmp"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\t\\*.tmp"); }), 53);
}

TEST_F(MachineKill, WildcardsDeleteInByteOrderUpToAReadOnlyFile) {
    for (const char* name : {"d.tmp", "B.tmp", "a.tmp", "e.tmp", "C.tmp"})
        machine_.File(std::string("t/") + name);
    machine_.ReadOnly("t/a.tmp");
    // "B.tmp" < "C.tmp" < "a.tmp" < "d.tmp" < "e.tmp"
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\t\\*.TMP"); }), 75);
    EXPECT_FALSE(machine_.Exists("t/B.tmp"));
    EXPECT_FALSE(machine_.Exists("t/C.tmp"));
    for (const char* name : {"a.tmp", "d.tmp", "e.tmp"})
        EXPECT_TRUE(machine_.Exists(std::string("t/") + name)) << name;
    EXPECT_EQ(fs_.DirAll("C:\\t\\*", 0), (std::vector<std::string>{"a.tmp", "d.tmp", "e.tmp"}));
}

TEST_F(MachineRmDir, RemovesAnEmptyDirectory) {
    machine_.Directory("app/SLIDES");
    fs_.RmDir("C:\\app\\slides\\");
    EXPECT_FALSE(machine_.Exists("app/SLIDES"));
    EXPECT_EQ(fs_.Dir("C:\\app\\SLIDES\\", 16), "");
    EXPECT_EQ(fs_.ListDirectories("C:\\app"), std::vector<std::string>{});
}

TEST_F(MachineRmDir, RaisesTheClassicNumbers) {
    machine_.File("app/SLIDES/a.tvs");
    machine_.File("app/file.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\app\\SLIDES"); }), 75);
    EXPECT_TRUE(machine_.Exists("app/SLIDES/a.tvs"));
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\app\\missing"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\nowhere\\missing"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\app\\file.txt"); }), 76);
    EXPECT_TRUE(machine_.Exists("app/file.txt"));
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\"); }), 75);
}

TEST_F(MachineRmDir, RefusesTheCurrentDirectoryOfAnyDrive) {
    machine_.Directory("app/SLIDES");
    fs::create_directory(machine_.Dir() / "dosdevices");
    fs::create_directory(machine_.Dir() / "d_root");
    fs::create_directory_symlink("../drive_c", machine_.Dir() / "dosdevices/c:");
    fs::create_directory_symlink("../d_root", machine_.Dir() / "dosdevices/d:");

    fs_.ChDir("C:\\app\\SLIDES");
    fs_.ChDrive("D:");
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\app\\SLIDES"); }), 75);
    EXPECT_TRUE(machine_.Exists("app/SLIDES"));
    fs_.ChDir("C:\\app");
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\app\\SLIDES"); }), 0);
    EXPECT_FALSE(machine_.Exists("app/SLIDES"));
}

TEST_F(MachineSetAttr, ZeroClearsHiddenSystemAndReadOnly) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("app/TVIEWER.GID");
    machine_.DosAttrib("app/TVIEWER.GID", "0x7");
    machine_.ReadOnly("app/TVIEWER.GID");
    fs_.SetAttr("C:\\app\\TVIEWER.GID", 0);
    EXPECT_TRUE(machine_.OwnerCanWrite("app/TVIEWER.GID"));
    EXPECT_EQ(machine_.DosAttribOf("app/TVIEWER.GID"), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\TVIEWER.GID", 0), "TVIEWER.GID");
}

TEST_F(MachineSetAttr, KeepsTheOtherDosAttribBits) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("app/a.dat");
    machine_.DosAttrib("app/a.dat", "0x22");
    fs_.SetAttr("C:\\app\\a.dat", 0);
    EXPECT_EQ(machine_.DosAttribOf("app/a.dat"), "0x20");
    // Unchanged bits leave the stored value alone, data after it included.
    machine_.File("app/b.dat");
    const std::string samba("0x20\0\x03\x00rest", 10);
    machine_.DosAttrib("app/b.dat", samba);
    fs_.SetAttr("C:\\app\\b.dat", 0);
    EXPECT_EQ(machine_.DosAttribOf("app/b.dat"), samba);
}

TEST_F(MachineSetAttr, SetsReadOnlyHiddenAndSystem) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("app/x.txt");
    fs_.SetAttr("C:\\app\\X.TXT", 1);
    EXPECT_FALSE(machine_.OwnerCanWrite("app/x.txt"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\x.txt"); }), 75);
    fs_.SetAttr("C:\\app\\x.txt", 2 + 4);
    EXPECT_TRUE(machine_.OwnerCanWrite("app/x.txt"));
    EXPECT_EQ(machine_.DosAttribOf("app/x.txt"), "0x6");
    EXPECT_EQ(fs_.Dir("C:\\app\\x.txt", 2), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\x.txt", 6), "x.txt");
    fs_.SetAttr("C:\\app\\x.txt", 32);
    EXPECT_EQ(machine_.DosAttribOf("app/x.txt"), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\x.txt", 0), "x.txt");
}

TEST_F(MachineSetAttr, HidesADirectoryButKeepsItWritable) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.Directory("app/SLIDES");
    fs_.SetAttr("C:\\app\\slides", 1 + 2);
    EXPECT_TRUE(machine_.OwnerCanWrite("app/SLIDES"));
    EXPECT_EQ(fs_.Dir("C:\\app\\SLIDES", 16), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\SLIDES", 18), "SLIDES");
}

TEST_F(MachineSetAttr, RaisesForMissingPathsAndBadValues) {
    machine_.File("app/x.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\app\\missing.txt", 0); }), 53);
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\nowhere\\missing.txt", 0); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\app\\x.txt", 16); }), 5);
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\app\\x.txt", -1); }), 5);
}

} // namespace
} // namespace kestovan::posix::testing
