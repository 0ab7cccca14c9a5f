// Two copies of the program started on one machine at once: the second ends
// at once, silently, with exit status 0, and the first goes on unaffected.
// The test runs the kestovan executable built beside this test program.

#include "robust/RobustMachine.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace kestovan::robust {
namespace {

fs::path KestovanBinary() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "kestovan";
}

// A started copy of the program; killed if the test leaves it running.
class Copy {
public:
    // answersFd: the descriptor the program reads its answers from ("-").
    Copy(const fs::path& machine, const fs::path& work, const std::string& name, int answersFd) {
        transcript = work / (name + ".jsonl");
        log = work / (name + ".log");
        const std::vector<std::string> args = {KestovanBinary().string(),
                                               "--machine",
                                               machine.string(),
                                               "--exe-dir",
                                               "C:\\Program Files\\Tavori Viewer",
                                               "--answers",
                                               "-",
                                               "--transcript",
                                               transcript.string(),
                                               "--log",
                                               log.string()};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(answersFd, 0);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            std::vector<char*> argv;
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Copy() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // The exit status, waiting at most `seconds`; -1 when it did not end.
    int Wait(int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    fs::path transcript;
    fs::path log;

private:
    pid_t pid_ = -1;
};

// True once some process holds the machine's single-copy lock.
bool LockHeld(const fs::path& lockFile) {
    const int fd = ::open(lockFile.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!held)
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return held;
}

// Every file, directory and link under drive_c with its size, and the
// registry files' bytes.
std::string MachineState(const fs::path& machine) {
    std::string state;
    for (auto it = fs::recursive_directory_iterator(machine / "drive_c");
         it != fs::recursive_directory_iterator(); ++it) {
        state += it->path().string();
        if (it->is_regular_file() && !it->is_symlink())
            state += " " + std::to_string(it->file_size());
        state += "\n";
    }
    return state + ReadBytes(machine / "system.reg") + ReadBytes(machine / "user.reg");
}

class SecondCopy : public RobustTest {};

TEST_F(SecondCopy, EndsSilentlyWhileTheFirstRunsOnUnaffected) {
    ASSERT_TRUE(fs::exists(KestovanBinary())) << KestovanBinary();
    std::signal(SIGPIPE, SIG_IGN); // a copy that ended early must fail the test, not kill it
    MakeMachine();
    const fs::path machine = MachineFile("");
    const fs::path work = machine.parent_path();

    // The first copy waits for its first answer (the welcome question)
    // while holding the lock.
    int answers[2];
    ASSERT_EQ(::pipe(answers), 0);
    Copy first(machine, work, "first", answers[0]);
    ::close(answers[0]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!LockHeld(machine / "kestovan.lock") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(LockHeld(machine / "kestovan.lock")) << "the first copy never took the lock";
    const std::string before = MachineState(machine);

    // The second copy gets answers that would remove everything: it must
    // read none of them.
    const fs::path secondAnswers = work / "second-answers";
    WriteBytes(secondAnswers,
               ReadBytes(RepositoryRoot() / "tests/scenarios/full-removal-yes-to-all/answers"));
    const int secondFd = ::open(secondAnswers.c_str(), O_RDONLY);
    Copy second(machine, work, "second", secondFd);
    ::close(secondFd);
    EXPECT_EQ(second.Wait(20), 0);
    EXPECT_EQ(ReadBytes(second.transcript), "{\"event\":\"end\",\"code\":0}\n");
    EXPECT_FALSE(fs::exists(second.log));
    EXPECT_EQ(MachineState(machine), before);

    // The first copy now gets its answers and removes the viewer as if it
    // had been alone.
    const std::string firstAnswers =
        ReadBytes(RepositoryRoot() / "tests/scenarios/full-removal-yes-to-all/answers");
    ASSERT_EQ(::write(answers[1], firstAnswers.data(), firstAnswers.size()),
              static_cast<ssize_t>(firstAnswers.size()));
    ::close(answers[1]);
    EXPECT_EQ(first.Wait(60), 0);
    const std::regex now(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2} [AP]M)");
    EXPECT_EQ(std::regex_replace(ReadBytes(first.log), now, "<NOW>"),
              ReadBytes(RepositoryRoot() /
                        "tests/scenarios/full-removal-yes-to-all/expected/status.log"));
    std::vector<std::string> events;
    std::istringstream transcript(ReadBytes(first.transcript));
    for (std::string line; std::getline(transcript, line);)
        events.push_back(nlohmann::json::parse(line).at("event").get<std::string>());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "msgbox") << "the welcome question";
    EXPECT_EQ(events.back(), "end");
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/TVIEWER.EXE")));
}

} // namespace
} // namespace kestovan::robust
