#include "MachineFileSystemTestMachine.h"

#include "platform/PlatformServices.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace kestovan::posix::testing {
namespace {

// The machine file system under both ways of learning of changes made
// behind its back: the system's notifications and the directories' stamps.
class MachineChanges : public ::testing::TestWithParam<ChangeTracking> {
protected:
    TestMachine machine_;
    MachineFileSystem fs_{machine_.Dir(), GetParam()};

    std::string ShortPath(const std::string& longPath) {
        std::string buffer(300, ' ');
        const auto n = fs_.GetShortPathNameA(longPath, buffer, 300);
        return n == 0 || n >= 300 ? std::string() : buffer.substr(0, n);
    }
};

INSTANTIATE_TEST_SUITE_P(Tracking, MachineChanges,
                         ::testing::Values(ChangeTracking::Notifications, ChangeTracking::Stamps),
                         [](const auto& info) {
                             return info.param == ChangeTracking::Notifications ? "Notifications"
                                                                                : "Stamps";
                         });

TEST_P(MachineChanges, NamesAddedRemovedOrRenamedOutsideAreSeenAtOnce) {
    machine_.File("app/one.txt");
    machine_.File("app/sub/inner.txt");
    EXPECT_EQ(fs_.ListFiles("C:\\app", "*.txt"), std::vector<std::string>{"one.txt"});
    EXPECT_EQ(fs_.Dir("C:\\app\\sub\\inner.txt", 0), "inner.txt");

    machine_.File("app/ONE.TXT");
    EXPECT_EQ(fs_.Dir("C:\\app\\ONE.TXT", 0), "ONE.TXT"); // the exact name wins now
    fs::remove(machine_.C() / "app/one.txt");
    EXPECT_EQ(fs_.ListFiles("C:\\app", "*.txt"), std::vector<std::string>{"ONE.TXT"});

    // The sub-directory moved away and another put in its place.
    fs::rename(machine_.C() / "app/sub", machine_.C() / "app/old");
    machine_.File("app/sub/other.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\sub\\inner.txt", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\sub\\*.txt", 0), "other.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\old\\*.txt", 0), "inner.txt");

    // The whole directory gone.
    fs::remove_all(machine_.C() / "app");
    EXPECT_EQ(ErrorOf([&] { fs_.ListFiles("C:\\app", "*.*"); }), err::PathNotFound);
}

TEST_P(MachineChanges, ANameAddedBesideASubDirectoryLeavesTheSubDirectoryAsRead) {
    machine_.File("app/sub/a.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // stamps old enough
    EXPECT_EQ(fs_.Dir("C:\\app\\sub\\a.txt", 0), "a.txt");
    const std::size_t reads = fs_.DirectoryReads();
    machine_.File("app/new.txt");
    if (GetParam() == ChangeTracking::Stamps)
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(fs_.Dir("C:\\app\\sub\\a.txt", 0), "a.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\NEW.TXT", 0), "new.txt");
    EXPECT_EQ(fs_.DirectoryReads(), reads + 1); // app/ only
}

TEST_P(MachineChanges, AttributesChangedAfterAListingAreHonouredByKill) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("media/a.bmp");
    machine_.File("media/b.bmp");
    machine_.File("media/c.bmp");
    ASSERT_EQ(fs_.ListFiles("C:\\media", "*.bmp"),
              (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp"}));

    // Hidden and read-only after the list was taken: Kill refuses them as
    // it would have before.
    machine_.DosAttrib("media/a.bmp", "0x2");
    machine_.ReadOnly("media/b.bmp");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\media\\a.bmp"); }), err::FileNotFound);
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\media\\b.bmp"); }), err::PathFileAccessError);
    EXPECT_EQ(fs_.ListFiles("C:\\media", "*.bmp"), (std::vector<std::string>{"b.bmp", "c.bmp"}));

    // And visible again.
    machine_.DosAttrib("media/a.bmp", "0x20");
    EXPECT_EQ(fs_.ListFiles("C:\\media", "*.bmp"),
              (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp"}));
    fs_.Kill("C:\\media\\a.bmp");
    EXPECT_FALSE(machine_.Exists("media/a.bmp"));

    // SetAttr through this program is seen by the next listing too.
    fs_.SetAttr("C:\\media\\c.bmp", kestovan::attr::Hidden);
    EXPECT_EQ(fs_.ListFiles("C:\\media", "*.bmp"), std::vector<std::string>{"b.bmp"});
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\media\\c.bmp"); }), err::FileNotFound);
}

TEST_P(MachineChanges, OwnDeletionsBetweenOutsideChangesLeaveTheListingRight) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        machine_.File(fs::path("app") / name);
    ASSERT_EQ(fs_.ListFiles("C:\\app", "*.txt"),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}));

    // Deleted here and there, one after the other, without a look between.
    fs_.Kill("C:\\app\\a.txt");
    fs::remove(machine_.C() / "app/c.txt");
    fs_.Kill("C:\\app\\b.txt");
    EXPECT_EQ(fs_.ListFiles("C:\\app", "*.txt"), (std::vector<std::string>{"d.txt", "e.txt"}));
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\c.txt"); }), err::FileNotFound);

    // A name this program deleted is made again outside, and one it is
    // about to delete goes first.
    fs_.Kill("C:\\app\\d.txt");
    machine_.File("app/A.TXT");
    fs::remove(machine_.C() / "app/e.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\e.txt"); }), err::FileNotFound);
    EXPECT_EQ(fs_.Dir("C:\\app\\a.txt", 0), "A.TXT");
    EXPECT_EQ(fs_.ListFiles("C:\\app", "*.txt"), std::vector<std::string>{"A.TXT"});
    fs_.Kill("C:\\app\\a.txt");
    EXPECT_FALSE(machine_.Exists("app/A.TXT"));
    EXPECT_EQ(fs_.Dir("C:\\app\\*.*", 0), "");
}

TEST_P(MachineChanges, ADirectoryMovedAwayWhileItsFilesAreDeletedIsLeftAlone) {
    for (const char* name : {"one.txt", "two.txt", "three.txt"})
        machine_.File(fs::path("app") / name);
    // The same directory several times in a row, as a sweep over its files.
    fs_.Kill("C:\\app\\one.txt");
    fs_.Kill("C:\\app\\two.txt");

    // Moved away and another put in its place: the path leads to the new one.
    fs::rename(machine_.C() / "app", machine_.C() / "old");
    machine_.File("app/three.txt");
    fs_.Kill("C:\\app\\three.txt");
    EXPECT_FALSE(machine_.Exists("app/three.txt"));
    EXPECT_TRUE(machine_.Exists("old/three.txt"));

    // Gone without another: no directory on the path.
    fs::rename(machine_.C() / "app", machine_.C() / "new");
    machine_.File("new/four.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\app\\four.txt"); }), err::PathNotFound);
    EXPECT_TRUE(machine_.Exists("new/four.txt"));
}

TEST_P(MachineChanges, AFileWithASecondNameElsewhereIsCheckedAtEachKill) {
    KESTOVAN_REQUIRE_XATTRS();
    machine_.File("media/a.bmp");
    machine_.Directory("elsewhere");
    fs::create_hard_link(machine_.C() / "media/a.bmp", machine_.C() / "elsewhere/same.bmp");
    ASSERT_EQ(fs_.ListFiles("C:\\media", "*.bmp"), std::vector<std::string>{"a.bmp"});
    // Changed through the other name: the directory of a.bmp hears nothing.
    machine_.DosAttrib("elsewhere/same.bmp", "0x4");
    EXPECT_EQ(ErrorOf([&] { fs_.Kill("C:\\media\\a.bmp"); }), err::FileNotFound);
    EXPECT_TRUE(machine_.Exists("media/a.bmp"));
}

TEST_P(MachineChanges, DriveMappingChangesAreSeen) {
    machine_.File("app/on-c.txt");
    const fs::path other = machine_.Dir() / "other_drive";
    fs::create_directories(other);
    std::ofstream(other / "on-d.txt") << "d";
    fs::create_directories(machine_.Dir() / "dosdevices");
    fs::create_directory_symlink("../drive_c", machine_.Dir() / "dosdevices/c:");
    EXPECT_EQ(fs_.Dir("C:\\app\\on-c.txt", 0), "on-c.txt");
    EXPECT_EQ(ErrorOf([&] { fs_.Dir("D:\\on-d.txt", 0); }), err::BadFileNameOrNumber);

    fs::create_directory_symlink("../other_drive", machine_.Dir() / "dosdevices/d:");
    EXPECT_EQ(fs_.Dir("D:\\on-d.txt", 0), "on-d.txt");
    // C: mapped elsewhere: the same letter, another directory.
    fs::remove(machine_.Dir() / "dosdevices/c:");
    fs::create_directory_symlink("../other_drive", machine_.Dir() / "dosdevices/c:");
    EXPECT_EQ(fs_.Dir("C:\\on-d.txt", 0), "on-d.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\on-c.txt", 0), "");
}

TEST_P(MachineChanges, ShortNamesStayNumberedWhileFilesGo) {
    // Thirty names of one stem: numbers of one and of two digits.
    const fs::path dir = machine_.Directory("Big");
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i) {
        names.push_back("Picture Number " + std::to_string(100 + i) + ".BMP");
        std::ofstream(dir / names.back()) << "x";
    }
    std::sort(names.begin(), names.end());
    std::mt19937 random(7);
    std::vector<std::string> left = names;
    while (left.size() > 3) {
        const std::size_t gone = random() % left.size();
        fs_.Kill("C:\\Big\\" + left[gone]);
        left.erase(left.begin() + static_cast<std::ptrdiff_t>(gone));
        // Each remaining name is numbered by its place among those left.
        for (std::size_t i = 0; i < left.size(); ++i) {
            const std::string number = std::to_string(i + 1);
            const std::string expected = "C:\\Big\\" +
                                         std::string("PICTUR").substr(0, 7 - number.size()) + "~" +
                                         number + ".BMP";
            ASSERT_EQ(ShortPath("C:\\Big\\" + left[i]), expected) << left[i];
            ASSERT_EQ(fs_.Dir(expected, 0), left[i]) << expected;
        }
        ASSERT_EQ(fs_.Dir("C:\\Big\\PICTUR~" + std::to_string(left.size() + 1) + ".BMP", 0), "");
    }
}

TEST_P(MachineChanges, LargeDirectoryIsReadOnceWhileItsFilesAreListedAndDeleted) {
    constexpr int Count = 5'000;
    const fs::path dir = machine_.Directory("Slides");
    for (int i = 0; i < Count; ++i)
        std::ofstream(dir / ("Slide show " + std::to_string(i) + (i % 2 ? ".TVS" : ".wav")));
    // Old enough for the stamps to be trusted.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));

    const auto shows = fs_.ListFiles("C:\\Slides", "*.tvs");
    ASSERT_EQ(shows.size(), static_cast<std::size_t>(Count / 2));
    const std::size_t reads = fs_.DirectoryReads();
    for (const std::string& name : shows)
        fs_.Kill("C:\\Slides\\" + name);
    EXPECT_EQ(fs_.ListFiles("C:\\Slides", "*.tvs"), std::vector<std::string>{});
    EXPECT_EQ(fs_.ListFiles("C:\\Slides", "*.wav").size(), static_cast<std::size_t>(Count / 2));
    EXPECT_EQ(fs_.DirectoryReads(), reads);

    // One file added by someone else: read again, once.
    std::ofstream(dir / "late.tvs") << "x";
    if (GetParam() == ChangeTracking::Stamps)
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(fs_.ListFiles("C:\\Slides", "*.tvs"), std::vector<std::string>{"late.tvs"});
    EXPECT_EQ(fs_.Dir("C:\\Slides\\LATE.TVS", 0), "late.tvs");
    EXPECT_EQ(fs_.DirectoryReads(), reads + 1);
}

TEST(MachineChangeNotifications, ChangesBeyondWhatTheQueueHoldsAreNotMissed) {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    long queued = 0;
    if (!(limit >> queued) || queued > 20'000)
        GTEST_SKIP() << "the notification queue holds too many changes to overflow it here";
    TestMachine machine;
    MachineFileSystem fs(machine.Dir());
    machine.File("flood/first.txt");
    EXPECT_EQ(fs.Dir("C:\\flood\\*.txt", 0), "first.txt");
    // More changes than the queue holds, then one that matters.
    const fs::path dir = machine.C() / "flood";
    for (long i = 0; i <= queued; ++i)
        std::ofstream(dir / ("f" + std::to_string(i) + ".dat"));
    fs::remove(dir / "first.txt");
    machine.File("flood/second.txt");
    EXPECT_EQ(fs.Dir("C:\\flood\\*.txt", 0), "second.txt");
}

} // namespace
} // namespace kestovan::posix::testing
