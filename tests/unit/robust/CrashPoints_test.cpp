// A crash at every point of a complete removal, as databases are tested:
// the full removal of the demo installation (every question answered Yes)
// is ended, as a kill would end it, right after its first, second, ...
// last operation that changes the machine.  After each crash:
//  (a) both hives and tavori.ini are whole: each parses and is, byte for
//      byte, the version an uninterrupted run had at that point;
//  (b) a second run, every question answered Yes, finishes and leaves the
//      machine exactly as an uninterrupted run does (every file under
//      drive_c with its attributes and content, every key and value of
//      both hives).

#include "robust/CrashHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace kestovan::robust {
namespace {

TEST(CrashPoints, EveryOperationOfAFullRemoval) {
    TemporaryDirectory work;
    const fs::path demo = work.Path() / "demo";
    const fs::path machine = work.Path() / "machine";
    MakeDemoMachine(demo);

    const UninterruptedRun reference = RunUninterrupted(demo, machine);
    ASSERT_TRUE(reference.outcome.ended) << reference.outcome.failure;
    ASSERT_NE(reference.outcome.log.find(">>  Finished removing Tavori Viewer files..."),
              std::string::npos)
        << reference.outcome.log;
    const int total = reference.outcome.changes;
    ASSERT_GT(total, 40) << "a full removal changes the machine at every step";
    EXPECT_FALSE(reference.endState.contains("C:/Program Files/Tavori Viewer/tavori.ini"));

    int recordsWhole = 0;
    int secondRunsFinished = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("crash after operation " + std::to_string(n) + " of " + std::to_string(total) +
                     ": " + reference.operations[static_cast<std::size_t>(n)]);
        CopyMachine(demo, machine);
        const RunOutcome crashed = RunProgram(machine, n);
        ASSERT_EQ(crashed.crashedAfter, n) << crashed.failure;
        EXPECT_TRUE(crashed.afterCrash.empty()) << crashed.afterCrash.front();

        // (a) The records are whole, and the version they had at that point.
        const std::string problems =
            RecordProblems(ReadRecords(machine), reference.versions[static_cast<std::size_t>(n)]);
        EXPECT_EQ(problems, "");
        EXPECT_EQ(TemporaryFiles(machine), std::vector<std::string>{});
        recordsWhole += problems.empty() ? 1 : 0;

        // (b) A second run finishes the removal.
        const RunOutcome second = RunProgram(machine);
        EXPECT_TRUE(second.ended) << second.failure << "\n" << second.log;
        const std::string differences = StateDifferences(reference.endState, MachineState(machine));
        EXPECT_EQ(differences, "") << "second run's log:\n" << second.log;
        secondRunsFinished += second.ended && differences.empty() ? 1 : 0;
    }
    std::ostringstream summary;
    summary << total << " crash points; records whole at " << recordsWhole
            << "; second run reached the end state at " << secondRunsFinished;
    ::testing::Test::RecordProperty("summary", summary.str());
    std::printf("[ crashes  ] %s\n", summary.str().c_str());
}

} // namespace
} // namespace kestovan::robust
