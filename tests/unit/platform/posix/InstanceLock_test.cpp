#include "platform/posix/InstanceLock.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace kestovan::posix {
namespace {
namespace fs = std::filesystem;

class InstanceLockTest : public ::testing::Test {
protected:
    InstanceLockTest() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-lock-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        lockFile_ = dir_ / "kestovan.lock";
    }
    ~InstanceLockTest() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs body in a child process and returns its exit status (0-255).
    template <typename Body> static int InChild(Body body) {
        pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(body());
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir_;
    fs::path lockFile_;
};

TEST_F(InstanceLockTest, FirstCopyTakesTheLockAndCreatesTheFile) {
    ASSERT_FALSE(fs::exists(lockFile_));
    InstanceLock lock(lockFile_);
    EXPECT_FALSE(lock.AnotherCopyRuns());
    EXPECT_TRUE(fs::exists(lockFile_));
}

TEST_F(InstanceLockTest, SecondLockInTheSameProcessFindsItTaken) {
    InstanceLock first(lockFile_);
    InstanceLock second(lockFile_);
    EXPECT_FALSE(first.AnotherCopyRuns());
    EXPECT_TRUE(second.AnotherCopyRuns());
}

TEST_F(InstanceLockTest, AnotherProcessFindsItTakenUntilTheHolderLetsGo) {
    std::optional<InstanceLock> holder(std::in_place, lockFile_);
    ASSERT_FALSE(holder->AnotherCopyRuns());
    auto probe = [this] {
        InstanceLock lock(lockFile_);
        return lock.AnotherCopyRuns() ? 1 : 0;
    };
    EXPECT_EQ(InChild(probe), 1);
    holder.reset();
    EXPECT_EQ(InChild(probe), 0);
}

TEST_F(InstanceLockTest, TheLockEndsWithTheProcessThatHeldIt) {
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        InstanceLock lock(lockFile_);
        char held = lock.AnotherCopyRuns() ? 'n' : 'y';
        (void)!::write(toParent[1], &held, 1);
        char go;
        (void)!::read(toChild[0], &go, 1);
        // Ends without running any destructor: the system releases the lock.
        ::_exit(0);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    char held = 0;
    ASSERT_EQ(::read(toParent[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    {
        InstanceLock whileChildRuns(lockFile_);
        EXPECT_TRUE(whileChildRuns.AnotherCopyRuns());
    }
    char go = 'g';
    ASSERT_EQ(::write(toChild[1], &go, 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(toParent[0]);
    ::close(toChild[1]);
    InstanceLock afterwards(lockFile_);
    EXPECT_FALSE(afterwards.AnotherCopyRuns());
}

TEST_F(InstanceLockTest, AfterTheFirstIsGoneANewOneHoldsTheLock) {
    { InstanceLock first(lockFile_); }
    InstanceLock next(lockFile_);
    EXPECT_FALSE(next.AnotherCopyRuns());
    InstanceLock third(lockFile_);
    EXPECT_TRUE(third.AnotherCopyRuns());
}

TEST_F(InstanceLockTest, AMovedLockStaysHeld) {
    InstanceLock first(lockFile_);
    InstanceLock moved(std::move(first));
    EXPECT_FALSE(moved.AnotherCopyRuns());
    InstanceLock other(lockFile_);
    EXPECT_TRUE(other.AnotherCopyRuns());
}

TEST_F(InstanceLockTest, UnusableLockFileIsARuntimeError) {
    try {
        InstanceLock lock(dir_ / "missing" / "kestovan.lock");
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::PathNotFound);
    }
}

} // namespace
} // namespace kestovan::posix
