// Replacing a record file (a hive, a profile file) as a whole: a reader, a
// failure or a crash sees the old file or the new one, and the new one keeps
// what the old one carried (permission bits, hidden and system attributes,
// its line ends).

#include "platform/posix/AtomicFile.h"

#include "MachineFileSystemTestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestovan::posix {
namespace {

using testing::ErrorOf;
using testing::TestMachine;
namespace fs = std::filesystem;

// Files may not grow beyond `bytes` while this guard lives, whoever runs the
// test (root included): a longer write fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Sets the process's umask for the life of the object.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t old_;
};

std::string ReadAll(const fs::path& path) {
    return ReadWholeFile(path).value_or("<missing>");
}

mode_t ModeOf(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class AtomicFileTest : public ::testing::Test {
protected:
    TestMachine machine_;
    const std::string oldText_ = "[Remove]\nRemoveProgram1=Tavori Viewer\nStartMenu1=Tavori\n";
    const std::string newText_ = "[Remove]\nRemoveProgram1=\nStartMenu1=Tavori\n";
    // A hidden, system file with a group-writable mode, as a user's editor
    // or another program may have left it; the attribute value carries data
    // after the number, as Samba writes it.
    fs::path MakeOldFile() {
        const fs::path path = machine_.File("Program Files/Tavori Viewer/tavori.ini", oldText_);
        ::chmod(path.c_str(), 0664);
        machine_.DosAttrib("Program Files/Tavori Viewer/tavori.ini", std::string("0x6\0rest", 8));
        return path;
    }
};

TEST_F(AtomicFileTest, NewContentKeepsModeAttributesAndLineEndsWhileOldReadersSeeTheOldFile) {
    KESTOVAN_REQUIRE_XATTRS();
    const fs::path path = MakeOldFile();
    const int reader = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    {
        Umask mask(022); // would take the group write bit off a plainly created file
        WriteFileAtomically(path, newText_);
    }

    EXPECT_EQ(ReadAll(path), newText_) << "written byte for byte, LF line ends included";
    EXPECT_EQ(ModeOf(path), 0664u);
    EXPECT_EQ(machine_.DosAttribOf("Program Files/Tavori Viewer/tavori.ini"),
              std::string("0x6\0rest", 8));
    EXPECT_EQ(Entries(path.parent_path()), std::vector<std::string>{"tavori.ini"});

    // A reader that opened the file before the write still reads all of the
    // old file: the new one replaced it, it was never rewritten in place.
    std::string seen(oldText_.size() + 16, '\0');
    const ssize_t n = ::read(reader, seen.data(), seen.size());
    ::close(reader);
    ASSERT_GE(n, 0);
    seen.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(seen, oldText_);
}

TEST_F(AtomicFileTest, FailedWriteLeavesTheOldFileWholeAndNoTemporaryFile) {
    KESTOVAN_REQUIRE_XATTRS();
    const fs::path path = MakeOldFile();
    const std::string tooLong(4096, 'x');
    int error = 0;
    {
        FileSizeLimit limit(1024);
        error = ErrorOf([&] { WriteFileAtomically(path, tooLong); });
    }
    EXPECT_EQ(error, err::PathFileAccessError);
    EXPECT_EQ(ReadAll(path), oldText_);
    EXPECT_EQ(ModeOf(path), 0664u);
    EXPECT_EQ(machine_.DosAttribOf("Program Files/Tavori Viewer/tavori.ini"),
              std::string("0x6\0rest", 8));
    EXPECT_EQ(Entries(path.parent_path()), std::vector<std::string>{"tavori.ini"});

    // A directory the file cannot be written to: the same, whatever the
    // reason.
    const fs::path missing = machine_.C() / "no such folder" / "tavori.ini";
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(missing, newText_); }), err::PathNotFound);
    EXPECT_FALSE(fs::exists(missing.parent_path()));
}

TEST_F(AtomicFileTest, TemporaryFileLeftByAKilledWriteIsTakenOverAndGone) {
    const fs::path path = machine_.File("system.reg", oldText_);
    machine_.File("system.reg.kestovan-tmp", "[Remove]\nRemoveProg");
    ASSERT_EQ(TemporaryFileFor(path), machine_.C() / "system.reg.kestovan-tmp");

    WriteFileAtomically(path, newText_);
    EXPECT_EQ(ReadAll(path), newText_);
    EXPECT_EQ(Entries(machine_.C()), std::vector<std::string>{"system.reg"});
}

TEST_F(AtomicFileTest, NewFileIsCreatedWithTheUsualMode) {
    const fs::path path = machine_.C() / "user.reg";
    {
        Umask mask(022);
        WriteFileAtomically(path, newText_);
    }
    EXPECT_EQ(ReadAll(path), newText_);
    EXPECT_EQ(ModeOf(path), 0644u);
    EXPECT_EQ(machine_.DosAttribOf("user.reg"), "");
    EXPECT_EQ(Entries(machine_.C()), std::vector<std::string>{"user.reg"});
}

} // namespace
} // namespace kestovan::posix
