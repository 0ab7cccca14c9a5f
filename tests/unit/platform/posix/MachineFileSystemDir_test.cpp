#include "MachineFileSystemTestMachine.h"

#include <vector>

namespace kestovan::posix::testing {
namespace {

using MachineDir = MachineTest;
using StringList = std::vector<std::string>;

TEST_F(MachineDir, MaskZeroSeesOrdinaryAndReadOnlyFilesOnly) {
    machine_.File("app/TVIEWER.EXE");
    machine_.File("app/README.TXT");
    machine_.ReadOnly("app/README.TXT");
    machine_.Directory("app/SLIDES");
    EXPECT_EQ(fs_.Dir("C:\\app\\tviewer.exe", 0), "TVIEWER.EXE");
    EXPECT_EQ(fs_.Dir("C:\\app\\readme.txt", 0), "README.TXT");
    EXPECT_EQ(fs_.Dir("C:\\app\\slides", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\slides", 16), "SLIDES");
    EXPECT_EQ(fs_.Dir("C:\\app\\missing.txt", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\nowhere\\missing.txt", 0), "");
    EXPECT_EQ(ErrorOf([&] { fs_.Dir("", 0); }), 5);
}

TEST_F(MachineDir, HiddenAndSystemFilesNeedTheirMaskBits) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("app/TVIEWER.GID");
    machine_.DosAttrib("app/TVIEWER.GID", "0x2");
    machine_.File("app/BOOT.SYS");
    machine_.DosAttrib("app/BOOT.SYS", "0x4");
    machine_.File("app/BOTH.DAT");
    machine_.DosAttrib("app/BOTH.DAT", "0x6");
    machine_.File("app/.profile");

    EXPECT_EQ(fs_.Dir("C:\\app\\TVIEWER.GID", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\TVIEWER.GID", 2), "TVIEWER.GID");
    EXPECT_EQ(fs_.Dir("C:\\app\\BOOT.SYS", 2), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\BOOT.SYS", 4), "BOOT.SYS");
    EXPECT_EQ(fs_.Dir("C:\\app\\BOTH.DAT", 2), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\BOTH.DAT", 6), "BOTH.DAT");
    // A name beginning with a dot counts as hidden.
    EXPECT_EQ(fs_.Dir("C:\\app\\.profile", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\.profile", 2), ".profile");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.*", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.*", 2), ".profile");
}

TEST_F(MachineDir, DosAttribMayCarryMoreThanTheNumber) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("a/samba.dat");
    machine_.DosAttrib("a/samba.dat", std::string("0x22\0\x03\x00garbage", 13));
    machine_.File("a/archive.dat");
    machine_.DosAttrib("a/archive.dat", "0x20");
    machine_.File("a/junk.dat");
    machine_.DosAttrib("a/junk.dat", "not a number");
    EXPECT_EQ(fs_.Dir("C:\\a\\samba.dat", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\a\\samba.dat", 2), "samba.dat");
    EXPECT_EQ(fs_.Dir("C:\\a\\archive.dat", 0), "archive.dat");
    EXPECT_EQ(fs_.Dir("C:\\a\\junk.dat", 0), "junk.dat");
}

TEST_F(MachineDir, HiddenDirectoryNeedsBothBits) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.Directory("a/Secret");
    machine_.DosAttrib("a/Secret", "0x2");
    EXPECT_EQ(fs_.Dir("C:\\a\\secret", 16), "");
    EXPECT_EQ(fs_.Dir("C:\\a\\secret", 18), "Secret");
    EXPECT_EQ(fs_.ListDirectories("C:\\a"), StringList{"Secret"});
}

TEST_F(MachineDir, TrailingBackslashNamesTheDirectoryItself) {
    machine_.File("app/SLIDES/b.tvs");
    machine_.File("app/SLIDES/a.tvs");
    machine_.File("app/file.txt");
    EXPECT_EQ(fs_.Dir("C:\\APP\\SLIDES\\", 16), ".");
    EXPECT_EQ(fs_.Dir("C:\\app\\", 16), ".");
    EXPECT_EQ(fs_.Dir("C:\\", 16), ".");
    EXPECT_EQ(fs_.Dir("C:\\app\\missing\\", 16), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\file.txt\\", 16), "");
    // Other masks list the directory's files.
    EXPECT_EQ(fs_.Dir("C:\\app\\SLIDES\\", 0), "a.tvs");
    EXPECT_EQ(fs_.Dir("C:\\app\\", 0), "file.txt");
}

TEST_F(MachineDir, WildcardsReturnTheFirstMatchInByteOrder) {
    machine_.File("d/b.TVS");
    machine_.File("d/A.tvs");
    machine_.File("d/a.tvs");
    machine_.File("d/c.txt");
    machine_.File("d/noext");
    machine_.Directory("d/Zdir.tvs");
    EXPECT_EQ(fs_.Dir("C:\\d\\*.TVS", 0), "A.tvs");
    EXPECT_EQ(fs_.Dir("C:\\d\\B*.tvs", 0), "b.TVS");
    EXPECT_EQ(fs_.Dir("C:\\d\\?.txt", 0), "c.txt");
    EXPECT_EQ(fs_.Dir("C:\\d\\*.wav", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\d\\z*", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\d\\z*", 16), "Zdir.tvs");
    EXPECT_EQ(fs_.Dir("C:\\d\\*.", 0), "noext");
    EXPECT_EQ(fs_.Dir("C:\\d\\noext.*", 0), "noext");
    EXPECT_EQ(fs_.Dir("C:\\missing\\*.*", 0), "");
    // Outside a drive's root a directory search also sees "." and "..".
    EXPECT_EQ(fs_.Dir("C:\\d\\*", 16), ".");
    EXPECT_EQ(fs_.Dir("C:\\d\\*.tvs", 16), "A.tvs");
}

TEST_F(MachineDir, ListFilesMatchesAnyPatternAndSortsWithoutCase) {
    machine_.File("m/Zebra.WAV");
    machine_.File("m/apple.wav");
    machine_.File("m/Beat.mid");
    machine_.File("m/beat.MID.bak");
    machine_.File("m/notes.txt");
    machine_.File("m/RO.wav");
    machine_.ReadOnly("m/RO.wav");
    machine_.File("m/.hidden.wav");
    machine_.Directory("m/folder.wav");
    EXPECT_EQ(fs_.ListFiles("C:\\M\\", "*.wav;*.mid"),
              (StringList{"apple.wav", "Beat.mid", "RO.wav", "Zebra.WAV"}));
    EXPECT_EQ(fs_.ListFiles("C:\\m", " *.MID ; *.txt"), (StringList{"Beat.mid", "notes.txt"}));
    EXPECT_EQ(fs_.ListFiles("C:\\m", "*.*").size(), 6u);
    EXPECT_EQ(fs_.ListFiles("C:\\m", "*.ico"), StringList{});
    EXPECT_EQ(ErrorOf([&] { fs_.ListFiles("C:\\missing\\", "*.*"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.ListFiles("C:\\m\\notes.txt", "*.*"); }), 76);
}

TEST_F(MachineDir, ListFilesLeavesOutHiddenAndSystemFiles) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("m/shown.wav");
    machine_.File("m/hidden.wav");
    machine_.DosAttrib("m/hidden.wav", "0x2");
    machine_.File("m/system.wav");
    machine_.DosAttrib("m/system.wav", "0x4");
    EXPECT_EQ(fs_.ListFiles("C:\\m", "*.wav"), StringList{"shown.wav"});
}

TEST_F(MachineDir, ListDirectoriesNamesSubDirectoriesSortedWithoutCase) {
    machine_.Directory("p/beta");
    machine_.Directory("p/Alpha/inner");
    machine_.Directory("p/.config");
    machine_.File("p/file.txt");
    EXPECT_EQ(fs_.ListDirectories("C:\\P\\"), (StringList{".config", "Alpha", "beta"}));
    EXPECT_EQ(fs_.ListDirectories("C:\\p\\alpha"), StringList{"inner"});
    EXPECT_EQ(fs_.ListDirectories("C:\\p\\beta"), StringList{});
    EXPECT_EQ(ErrorOf([&] { fs_.ListDirectories("C:\\p\\gamma"); }), 76);
}

TEST_F(MachineDir, FileListIsASnapshot) {
    machine_.File("s/one.bmp");
    machine_.File("s/two.bmp");
    const auto list = fs_.ListFiles("C:\\s", "*.bmp");
    fs_.Kill("C:\\s\\one.bmp");
    EXPECT_EQ(list, (StringList{"one.bmp", "two.bmp"}));
    EXPECT_EQ(fs_.ListFiles("C:\\s", "*.bmp"), StringList{"two.bmp"});
}

} // namespace
} // namespace kestovan::posix::testing
