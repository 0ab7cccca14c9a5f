#include "MachineFileSystemTestMachine.h"

#include <chrono>
#include <fcntl.h>
#include <thread>

namespace kestovan::posix::testing {
namespace {

using MachineListingCache = MachineTest;

// Waits until directories changed so far are old enough to be trusted by
// the listing cache (it distrusts listings read right after a change).
void LetChangesSettle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

TEST_F(MachineListingCache, SeesChangesMadeBehindItsBack) {
    machine_.File("app/one.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\one.txt", 0), "one.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\two.txt", 0), "");
    // Right after the listing was read, in the same tick of the clock.
    machine_.File("app/two.txt");
    fs::remove(machine_.C() / "app/one.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\two.txt", 0), "two.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\one.txt", 0), "");

    LetChangesSettle();
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "two.txt");
    machine_.File("app/three.txt");
    EXPECT_EQ(fs_.ListFiles("C:\\app", "*.txt"),
              (std::vector<std::string>{"three.txt", "two.txt"}));
    fs::rename(machine_.C() / "app/two.txt", machine_.C() / "app/Zwei.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\two.txt", 0), "");
    EXPECT_EQ(fs_.Dir("C:\\app\\ZWEI.TXT", 0), "Zwei.txt");
}

TEST_F(MachineListingCache, StaysRightAfterItsOwnDeletionsAndLaterOutsideChanges) {
    machine_.File("app/a.txt");
    machine_.File("app/b.txt");
    machine_.Directory("app/sub");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "a.txt");
    fs_.Kill("C:\\app\\a.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "b.txt");
    machine_.File("app/a.txt"); // put back at once by someone else
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "a.txt");
    fs_.RmDir("C:\\app\\sub");
    EXPECT_EQ(fs_.ListDirectories("C:\\app"), std::vector<std::string>{});
    machine_.Directory("app/sub");
    EXPECT_EQ(fs_.ListDirectories("C:\\app"), std::vector<std::string>{"sub"});

    LetChangesSettle();
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "a.txt");
    fs_.Kill("C:\\app\\a.txt");
    fs_.Kill("C:\\app\\b.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "");
    machine_.File("app/c.txt");
    EXPECT_EQ(fs_.Dir("C:\\app\\*.txt", 0), "c.txt");
}

TEST_F(MachineListingCache, InvalidateDropsWhatWasKept) {
    machine_.File("windows/win.ini");
    LetChangesSettle();
    EXPECT_EQ(fs_.Dir("C:\\windows\\system.ini", 0), "");
    // A change that leaves the directory's stamp as it was: only Invalidate
    // can tell.
    const fs::path dir = machine_.C() / "windows";
    struct stat before {};
    ASSERT_EQ(::stat(dir.c_str(), &before), 0);
    machine_.File("windows/system.ini");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
    fs_.Invalidate(fs_.Resolve("C:\\windows"));
    EXPECT_EQ(fs_.Dir("C:\\windows\\system.ini", 0), "system.ini");
}

TEST_F(MachineListingCache, LargeDirectoryIsReadOnceForManyLookupsAndDeletions) {
    // Every name shares one short-name stem per extension, the worst case
    // for keeping short names numbered while files go.
    constexpr int Count = 20'000;
    constexpr int Deleted = 2'000;
    const fs::path dir = machine_.Directory("Big");
    for (int i = 0; i < Count; ++i)
        std::ofstream(dir / ("Picture Number " + std::to_string(i) + (i % 2 ? ".BMP" : ".wav")));
    LetChangesSettle();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fs_.Dir("C:\\big\\picture number 0.WAV", 0), "Picture Number 0.wav");
    const std::size_t reads = fs_.DirectoryReads();
    for (int i = 0; i < Count; i += 20) {
        const std::string name = "PICTURE NUMBER " + std::to_string(i) + (i % 2 ? ".bmp" : ".WAV");
        ASSERT_NE(fs_.Dir("C:\\Big\\" + name, 0), "") << name;
    }
    EXPECT_EQ(fs_.Dir("C:\\Big\\missing.bmp", 0), "");
    EXPECT_EQ(fs_.DirectoryReads(), reads);

    const auto wavs = fs_.ListFiles("C:\\Big", "*.wav");
    ASSERT_EQ(wavs.size(), static_cast<std::size_t>(Count / 2));
    for (int i = 0; i < Deleted; ++i) {
        fs_.Kill("C:\\Big\\" + wavs[static_cast<std::size_t>(i)]);
        ASSERT_EQ(fs_.Dir("C:\\Big\\" + wavs[static_cast<std::size_t>(i)], 0), "");
    }
    EXPECT_EQ(fs_.ListFiles("C:\\Big", "*.wav").size(),
              static_cast<std::size_t>(Count / 2 - Deleted));
    EXPECT_EQ(ShortPath("C:\\Big\\" + wavs[Deleted]), "C:\\Big\\PICTUR~1.WAV");
    EXPECT_EQ(fs_.DirectoryReads(), reads);
    // Generous for a sanitizer build; reading the directory again for each
    // lookup, or renumbering its short names for each deletion, takes far
    // longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

} // namespace
} // namespace kestovan::posix::testing
