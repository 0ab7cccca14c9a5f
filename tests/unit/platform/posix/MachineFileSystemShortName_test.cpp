#include "MachineFileSystemTestMachine.h"

namespace kestovan::posix::testing {
namespace {

using MachineShortNames = MachineTest;

TEST_F(MachineShortNames, LongComponentsBecomeNumberedShortNames) {
    machine_.File("windows/Tavori Viewer Wallpaper.BMP");
    machine_.File("Program Files/Tavori/TVIEWER.EXE");
    EXPECT_EQ(ShortPath("C:\\windows\\Tavori Viewer Wallpaper.BMP"), "C:\\windows\\TAVORI~1.BMP");
    EXPECT_EQ(ShortPath("c:\\program files\\tavori\\tviewer.exe"),
              "C:\\PROGRA~1\\Tavori\\TVIEWER.EXE");
    EXPECT_EQ(ShortPath("C:\\Program Files\\"), "C:\\PROGRA~1\\");
    EXPECT_EQ(ShortPath("C:\\"), "C:\\");
}

TEST_F(MachineShortNames, SameStemIsNumberedInByteOrder) {
    machine_.File("w/Tavori Viewer Wallpaper.BMP");
    machine_.File("w/Tavori Sound.bmp");
    machine_.File("w/TAVORI~1.BMP"); // a valid 8.3 name: its own short name
    machine_.File("w/tavori notes.bmpx");
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Sound.bmp"), "C:\\w\\TAVORI~1.BMP");
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Viewer Wallpaper.BMP"), "C:\\w\\TAVORI~2.BMP");
    EXPECT_EQ(ShortPath("C:\\w\\tavori notes.bmpx"), "C:\\w\\TAVORI~3.BMP");
    // The exact name comes before a short name.
    EXPECT_EQ(fs_.Dir("C:\\w\\TAVORI~1.BMP", 0), "TAVORI~1.BMP");
    EXPECT_EQ(fs_.Dir("C:\\w\\tavori~2.bmp", 0), "Tavori Viewer Wallpaper.BMP");
}

TEST_F(MachineShortNames, MissingPathGivesZero) {
    machine_.File("windows/win.ini");
    std::string buffer(300, ' ');
    EXPECT_EQ(fs_.GetShortPathNameA("C:\\windows\\missing.bmp", buffer, 300), 0u);
    EXPECT_EQ(fs_.GetShortPathNameA("C:\\missing\\win.ini", buffer, 300), 0u);
    EXPECT_EQ(fs_.GetShortPathNameA("C:\\windows\\win.ini\\", buffer, 300), 0u);
    EXPECT_EQ(fs_.GetShortPathNameA("Q:\\windows\\win.ini", buffer, 300), 0u);
    EXPECT_EQ(fs_.GetShortPathNameA("C:\\windows\\*.ini", buffer, 300), 0u);
    EXPECT_EQ(buffer, std::string(300, ' '));
}

TEST_F(MachineShortNames, BufferTooSmallGivesTheSizeNeeded) {
    machine_.File("windows/Tavori Viewer Wallpaper.BMP");
    const std::string path = "C:\\windows\\Tavori Viewer Wallpaper.BMP";
    const std::string expected = "C:\\windows\\TAVORI~1.BMP"; // 23 characters
    std::string small(10, '#');
    EXPECT_EQ(fs_.GetShortPathNameA(path, small, 10), 24u);
    EXPECT_EQ(small, std::string(10, '#'));
    std::string exact(24, '#');
    EXPECT_EQ(fs_.GetShortPathNameA(path, exact, 23), 24u);
    EXPECT_EQ(fs_.GetShortPathNameA(path, exact, 24), 23u);
    EXPECT_EQ(exact, expected + '\0');
    std::string big(300, ' ');
    EXPECT_EQ(fs_.GetShortPathNameA(path, big, 300), 23u);
    EXPECT_EQ(big.substr(0, 24), expected + '\0');
}

TEST_F(MachineShortNames, EveryOperationAcceptsShortComponents) {
    machine_.File("Program Files/Tavori Viewer/SLIDES/My Show.tvs");
    machine_.File("Program Files/Tavori Viewer/Old Picture.jpg");
    machine_.Directory("Program Files/Tavori Viewer/Empty Folder");
    const fs::path c = fs::canonical(machine_.C());
    EXPECT_EQ(fs_.Resolve("C:\\PROGRA~1\\TAVORI~1\\slides\\MYSHOW~1.TVS"),
              c / "Program Files/Tavori Viewer/SLIDES/My Show.tvs");
    EXPECT_EQ(fs_.Dir("C:\\progra~1\\tavori~1\\SLIDES\\MYSHOW~1.TVS", 0), "My Show.tvs");
    EXPECT_EQ(fs_.ListFiles("C:\\PROGRA~1\\TAVORI~1\\SLIDES", "*.tvs"),
              std::vector<std::string>{"My Show.tvs"});
    fs_.ChDir("C:\\PROGRA~1\\TAVORI~1");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\Program Files\\Tavori Viewer");
    fs_.Kill("OLDPIC~1.JPG");
    EXPECT_FALSE(machine_.Exists("Program Files/Tavori Viewer/Old Picture.jpg"));
    fs_.RmDir("C:\\PROGRA~1\\TAVORI~1\\EMPTYF~1");
    EXPECT_FALSE(machine_.Exists("Program Files/Tavori Viewer/Empty Folder"));
}

TEST_F(MachineShortNames, NumbersFollowDeletions) {
    machine_.File("w/Tavori Alpha.txt");
    machine_.File("w/Tavori Beta.txt");
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Beta.txt"), "C:\\w\\TAVORI~2.TXT");
    fs_.Kill("C:\\w\\TAVORI~1.TXT");
    EXPECT_FALSE(machine_.Exists("w/Tavori Alpha.txt"));
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Beta.txt"), "C:\\w\\TAVORI~1.TXT");
    EXPECT_EQ(fs_.Dir("C:\\w\\TAVORI~1.TXT", 0), "Tavori Beta.txt");
    EXPECT_EQ(fs_.Dir("C:\\w\\TAVORI~2.TXT", 0), "");
}

TEST_F(MachineShortNames, FirstAskedAfterDeletionsNumbersWhatIsLeft) {
    machine_.File("w/Tavori Gamma.txt");
    machine_.File("w/Tavori Alpha.txt");
    machine_.File("w/Tavori Beta.txt");
    machine_.File("w/Tavori Delta.txt");
    // Deleted before any short name of the directory was asked for.
    fs_.Kill("C:\\w\\Tavori Alpha.txt");
    fs_.Kill("C:\\w\\tavori delta.TXT");
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Gamma.txt"), "C:\\w\\TAVORI~2.TXT");
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Beta.txt"), "C:\\w\\TAVORI~1.TXT");
    fs_.Kill("C:\\w\\TAVORI~1.TXT");
    EXPECT_FALSE(machine_.Exists("w/Tavori Beta.txt"));
    EXPECT_EQ(ShortPath("C:\\w\\Tavori Gamma.txt"), "C:\\w\\TAVORI~1.TXT");
    EXPECT_EQ(fs_.Dir("C:\\w\\TAVORI~2.TXT", 0), "");
}

} // namespace
} // namespace kestovan::posix::testing
