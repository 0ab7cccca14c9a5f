#include "MachineFileSystemTestMachine.h"

namespace kestovan::posix::testing {
namespace {

// A machine whose drive C: holds links to places outside the drive (a
// directory beside drive_c) and inside it.
class MachineLinks : public MachineTest {
protected:
    MachineLinks() {
        outside_ = machine_.Dir() / "outside";
        fs::create_directories(outside_ / "sub");
        std::ofstream(outside_ / "precious.txt") << "keep me";
        machine_.File("inside/target.txt", "inside");
        machine_.Directory("inside/folder");
        fs::create_directory_symlink("../outside", machine_.C() / "out");
        fs::create_symlink("../outside/precious.txt", machine_.C() / "outfile.lnk");
        fs::create_directory_symlink("inside/folder", machine_.C() / "infolder");
        fs::create_symlink("inside/target.txt", machine_.C() / "infile.lnk");
        fs::create_symlink("../../../../../../../../../etc/nothing-here",
                           machine_.C() / "dangling");
    }
    bool Outside(const fs::path& relative) const {
        return fs::exists(fs::symlink_status(outside_ / relative));
    }

    fs::path outside_;
};

TEST_F(MachineLinks, NothingIsReachedThroughALinkLeavingTheDrive) {
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\out\\precious.txt"); }), 76);
    EXPECT_TRUE(Outside("precious.txt"));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\OUT\\*.txt"); }), 76);
    EXPECT_TRUE(Outside("precious.txt"));
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\out\\sub"); }), 76);
    EXPECT_TRUE(Outside("sub"));
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\out\\precious.txt", 1); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.SetAttr("C:\\outfile.lnk", 1); }), 76);
    EXPECT_TRUE((fs::status(outside_ / "precious.txt").permissions() & fs::perms::owner_write) !=
                fs::perms::none);
    EXPECT_EQ(ErrorOf([&] { fs_.Dir("C:\\out\\*.*", 0); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.ListFiles("C:\\out", "*.*"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.ChDir("C:\\out"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.Resolve("C:\\out\\precious.txt"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.Resolve("C:\\outfile.lnk"); }), 76);
    EXPECT_EQ(ErrorOf([&] { fs_.Resolve("C:\\dangling"); }), 76);
    std::string buffer(300, ' ');
    EXPECT_EQ(fs_.GetShortPathNameA("C:\\out\\precious.txt", buffer, 300), 0u);
}

TEST_F(MachineLinks, KillRemovesTheLinkNeverItsTarget) {
    fs_.Kill("C:\\outfile.lnk");
    EXPECT_FALSE(machine_.Exists("outfile.lnk"));
    EXPECT_TRUE(Outside("precious.txt"));
    fs_.Kill("C:\\INFILE.LNK");
    EXPECT_FALSE(machine_.Exists("infile.lnk"));
    EXPECT_TRUE(machine_.Exists("inside/target.txt"));
    fs_.Kill("C:\\dangling");
    EXPECT_FALSE(machine_.Exists("dangling"));
    // A link to a directory is a directory to Kill.
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\out"); }), 53);
    EXPECT_TRUE(machine_.Exists("out"));
}

TEST_F(MachineLinks, RmDirNeverFollowsALink) {
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\out"); }), 75);
    EXPECT_EQ(ErrorOf([&] { fs_.RmDir("C:\\infolder"); }), 75);
    EXPECT_TRUE(machine_.Exists("out"));
    EXPECT_TRUE(machine_.Exists("infolder"));
    EXPECT_TRUE(machine_.Exists("inside/folder"));
    EXPECT_TRUE(Outside("sub"));
}

TEST_F(MachineLinks, LinksInsideTheDriveAreFollowed) {
    machine_.File("inside/folder/picture.bmp");
    EXPECT_EQ(fs_.Dir("C:\\InFolder\\*.bmp", 0), "picture.bmp");
    EXPECT_EQ(fs_.Dir("C:\\infolder", 16), "infolder");
    EXPECT_EQ(fs_.Dir("C:\\infile.lnk", 0), "infile.lnk");
    fs_.ChDir("C:\\infolder");
    EXPECT_EQ(fs_.CurrentDirectory(), "C:\\infolder");
    fs_.Kill("picture.bmp");
    EXPECT_FALSE(machine_.Exists("inside/folder/picture.bmp"));
    EXPECT_EQ(fs_.ListDirectories("C:\\"), (std::vector<std::string>{"infolder", "inside", "out"}));
}

} // namespace
} // namespace kestovan::posix::testing

namespace kestovan::posix::testing {
namespace {

// Where directories really are: every link on the way followed, the answer
// given in the names as stored, nothing when a link leaves the drive.
TEST_F(MachineLinks, FinalDirectoryPathFollowsEveryLinkOnTheWay) {
    machine_.Directory("windows/system32");
    fs::create_directory_symlink("windows", machine_.C() / "Tavori");
    fs::create_directory_symlink("../Tavori/system32", machine_.C() / "inside/sys");
    fs::create_directory_symlink(".", machine_.C() / "Everything");
    fs::create_directory_symlink("loop-b", machine_.C() / "loop-a");
    fs::create_directory_symlink("loop-a", machine_.C() / "loop-b");

    EXPECT_EQ(fs_.FinalDirectoryPath("c:\\tavori"), "C:\\windows\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\Tavori\\system32\\"), "C:\\windows\\system32\\");
    // Names are matched without regard to case, also behind links, and the
    // answer gives them as stored.
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\inside\\SYS"), "C:\\windows\\system32\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\INSIDE\\Folder"), "C:\\inside\\folder\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\infolder"), "C:\\inside\\folder\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\Everything\\"), "C:\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\"), "C:\\");
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\out"), std::nullopt);        // leaves the drive
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\out\\sub"), std::nullopt);   // through it
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\infile.lnk"), std::nullopt); // no directory
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\missing"), std::nullopt);
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\dangling"), std::nullopt);
    EXPECT_EQ(fs_.FinalDirectoryPath("C:\\loop-a"), std::nullopt);
    EXPECT_EQ(fs_.FinalDirectoryPath("Q:\\anything"), std::nullopt); // unmapped drive
}

TEST_F(MachineLinks, IsLinkLooksAtTheLastComponentOnly) {
    EXPECT_TRUE(fs_.IsLink("C:\\infolder"));
    EXPECT_TRUE(fs_.IsLink("C:\\INFOLDER\\"));
    EXPECT_TRUE(fs_.IsLink("C:\\infile.lnk"));
    EXPECT_TRUE(fs_.IsLink("C:\\out"));
    EXPECT_TRUE(fs_.IsLink("C:\\dangling"));
    EXPECT_FALSE(fs_.IsLink("C:\\inside\\folder"));
    EXPECT_FALSE(fs_.IsLink("C:\\inside"));
    EXPECT_FALSE(fs_.IsLink("C:\\"));
    EXPECT_FALSE(fs_.IsLink("C:\\missing"));
    EXPECT_FALSE(fs_.IsLink("C:\\out\\sub")); // behind a link out of the drive
    EXPECT_FALSE(fs_.IsLink("Q:\\infolder"));
}

} // namespace
} // namespace kestovan::posix::testing
