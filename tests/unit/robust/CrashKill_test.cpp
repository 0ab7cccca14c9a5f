// The crash test with real processes: a child process runs the full removal
// of the demo installation (every question answered Yes) and is killed with
// SIGKILL after a random delay within the time an uninterrupted run takes.
// The delays come from a seeded generator, so a run can be repeated
// (KESTOVAN_KILL_SEED, default 20261207; KESTOVAN_KILL_MOMENTS, default 50).
// The child reports the start and the end of each operation that changes the
// machine through a pipe, so the parent knows where the kill landed.  After
// each kill the same checks as the in-process crash test:
//  (a) both hives and tavori.ini parse and are each the version the
//      uninterrupted run had after the last operation that ended, or after
//      the one that was going on;
//  (b) a second run (in this process), every question answered Yes,
//      finishes with the machine as an uninterrupted run leaves it.

#include "robust/CrashHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestovan::robust {
namespace {

using Clock = std::chrono::steady_clock;

int FromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

// What the child told before it ended.
struct ChildRun {
    bool killed = false; // ended by the kill (not by finishing first)
    int exitCode = -1;   // when it finished
    int completed = 0;   // operations that ended
    bool inside = false; // killed while operation completed + 1 was going on
    std::string insideWhat;
    double seconds = 0;
};

// Runs the removal in a child process on machine; kills it with SIGKILL
// after `delay` (never when delay is negative) and waits for it.
ChildRun RunChild(const fs::path& machine, std::chrono::microseconds delay) {
    int trace[2];
    if (::pipe(trace) != 0)
        throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    const auto started = Clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(trace[0]);
        auto tell = [&](char what, int n, const std::string& operation) {
            const std::string line = what + std::to_string(n) + " " + operation + "\n";
            if (::write(trace[1], line.data(), line.size()) < 0)
                ::_exit(3);
        };
        const RunOutcome outcome = RunProgram(
            machine, 0, [&](int n, const std::string& op) { tell('B', n, op); },
            [&](int n, const std::string& op) { tell('E', n, op); });
        ::_exit(outcome.ended ? 0 : 1);
    }
    ::close(trace[1]);
    if (delay.count() >= 0) {
        std::this_thread::sleep_until(started + delay);
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildRun run;
    run.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(trace[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<std::size_t>(n));
    ::close(trace[0]);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 2)
            continue;
        const int n = std::atoi(line.c_str() + 1);
        if (line[0] == 'B') {
            run.inside = true;
            run.insideWhat = line.substr(line.find(' ') + 1);
        } else if (line[0] == 'E') {
            run.completed = n;
            run.inside = false;
        }
    }
    return run;
}

// An operation that rewrites one of the records the program keeps.
bool WritesARecord(const std::string& operation) {
    for (const char* name : {"DeleteSetting", "RegCreateKeyA", "RegSetValueA", "RegSetDefaults",
                             "RegDeleteKeyA", "WritePrivateProfileStringA"})
        if (operation.rfind(name, 0) == 0)
            return true;
    return false;
}

TEST(CrashKill, FullRemovalKilledAtRandomMoments) {
    const int moments = FromEnvironment("KESTOVAN_KILL_MOMENTS", 50);
    const auto seed = static_cast<std::uint32_t>(FromEnvironment("KESTOVAN_KILL_SEED", 20261207));
    TemporaryDirectory work;
    const fs::path demo = work.Path() / "demo";
    const fs::path machine = work.Path() / "machine";
    MakeDemoMachine(demo);

    const UninterruptedRun reference = RunUninterrupted(demo, machine);
    ASSERT_TRUE(reference.outcome.ended) << reference.outcome.failure;
    const int total = reference.outcome.changes;

    // How long an uninterrupted run takes in a child process.
    CopyMachine(demo, machine);
    const ChildRun whole = RunChild(machine, std::chrono::microseconds(-1));
    ASSERT_EQ(whole.exitCode, 0);
    ASSERT_EQ(whole.completed, total);
    const auto runTime = std::chrono::microseconds(static_cast<long>(whole.seconds * 1e6));

    std::mt19937 random(seed);
    std::uniform_int_distribution<long> moment(0, runTime.count());
    int killedMidRun = 0, finishedFirst = 0, insideAnOperation = 0, insideARecordWrite = 0;
    int recordsWhole = 0, secondRunsFinished = 0;
    for (int k = 0; k < moments; ++k) {
        const auto delay = std::chrono::microseconds(moment(random));
        CopyMachine(demo, machine);
        const ChildRun run = RunChild(machine, delay);
        SCOPED_TRACE("kill " + std::to_string(k + 1) + " after " + std::to_string(delay.count()) +
                     " us: " + std::to_string(run.completed) + " operations ended" +
                     (run.inside ? ", inside " + run.insideWhat : std::string()));
        if (run.killed)
            ++killedMidRun;
        else
            ++finishedFirst;
        if (run.killed && run.inside) {
            ++insideAnOperation;
            if (WritesARecord(run.insideWhat))
                ++insideARecordWrite;
        }

        // (a) Whole records: the version after the last operation that ended,
        // or after the one that was going on.
        const Records left = ReadRecords(machine);
        const auto at = static_cast<std::size_t>(run.completed);
        std::string problems = RecordProblems(left, reference.versions.at(at));
        if (!problems.empty() && run.inside && at + 1 < reference.versions.size() &&
            RecordProblems(left, reference.versions[at + 1]).empty())
            problems.clear();
        EXPECT_EQ(problems, "");
        recordsWhole += problems.empty() ? 1 : 0;
        std::vector<std::string> leftOnDrive;
        for (const std::string& file : TemporaryFiles(machine / "drive_c"))
            leftOnDrive.push_back(file);
        EXPECT_EQ(leftOnDrive, std::vector<std::string>{});

        // (b) A second run finishes the removal.
        const RunOutcome second = RunProgram(machine);
        EXPECT_TRUE(second.ended) << second.failure << "\n" << second.log;
        const std::string differences = StateDifferences(reference.endState, MachineState(machine));
        EXPECT_EQ(differences, "") << "second run's log:\n" << second.log;
        secondRunsFinished += second.ended && differences.empty() ? 1 : 0;
    }

    std::ostringstream summary;
    summary << moments << " kills (seed " << seed << ", uninterrupted run "
            << runTime.count() / 1000.0 << " ms, " << total << " operations): " << killedMidRun
            << " killed the run, " << finishedFirst << " came after its end; " << insideAnOperation
            << " landed inside an operation, " << insideARecordWrite
            << " of them inside a record write; records whole after " << recordsWhole
            << "; second run reached the end state after " << secondRunsFinished;
    ::testing::Test::RecordProperty("summary", summary.str());
    std::printf("[ kills    ] %s\n", summary.str().c_str());
}

} // namespace
} // namespace kestovan::robust
