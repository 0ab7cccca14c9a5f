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

#include "platform/posix/WineRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace kestovan::robust {
namespace {

class CrashPoints : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work_ = std::make_unique<TemporaryDirectory>();
        const std::string command = "\"" +
                                    (RepositoryRoot() / "tools" / "make-demo-machine").string() +
                                    "\" \"" + Demo().string() + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    static void TearDownTestSuite() { work_.reset(); }
    static fs::path Demo() { return work_->Path() / "demo"; }
    static fs::path Machine() { return work_->Path() / "machine"; }

    static std::unique_ptr<TemporaryDirectory> work_;
};

std::unique_ptr<TemporaryDirectory> CrashPoints::work_;

// Where a record left by a crash differs from the version it must be.
std::string RecordProblems(const Records& left, const Records& expected) {
    std::string problems;
    auto hive = [&](const char* name, const std::optional<std::string>& text,
                    const std::optional<std::string>& wanted) {
        if (text) {
            try {
                posix::RegistryHive::Parse(*text);
            } catch (const RuntimeError&) {
                problems += std::string(name) + " does not parse; ";
            }
        }
        if (text != wanted)
            problems += std::string(name) + " is not the version of the uninterrupted run; ";
    };
    hive("system.reg", left.systemReg, expected.systemReg);
    hive("user.reg", left.userReg, expected.userReg);
    if (left.tavoriIni != expected.tavoriIni)
        problems += "tavori.ini is not the version of the uninterrupted run; ";
    return problems;
}

TEST_F(CrashPoints, EveryOperationOfAFullRemoval) {
    // The uninterrupted run: the records after each operation, and the end.
    CopyMachine(Demo(), Machine());
    std::vector<Records> versions{ReadRecords(Machine())};
    std::vector<std::string> operations{"(start)"};
    const RunOutcome reference =
        RunProgram(Machine(), 0, {}, [&](int, const std::string& operation) {
            versions.push_back(ReadRecords(Machine()));
            operations.push_back(operation);
        });
    ASSERT_TRUE(reference.ended) << reference.failure;
    ASSERT_TRUE(reference.log.find(">>  Finished removing Tavori Viewer files...") !=
                std::string::npos)
        << reference.log;
    const int total = reference.changes;
    ASSERT_GT(total, 40) << "a full removal changes the machine at every step";
    const auto endState = MachineState(Machine());
    EXPECT_FALSE(endState.contains("C:/Program Files/Tavori Viewer/tavori.ini"));

    int recordsWhole = 0;
    int secondRunsFinished = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("crash after operation " + std::to_string(n) + " of " + std::to_string(total) +
                     ": " + operations[static_cast<std::size_t>(n)]);
        CopyMachine(Demo(), Machine());
        const RunOutcome crashed = RunProgram(Machine(), n);
        ASSERT_EQ(crashed.crashedAfter, n) << crashed.failure;
        EXPECT_TRUE(crashed.afterCrash.empty()) << crashed.afterCrash.front();

        // (a) The records are whole, and the version they had at that point.
        const std::string problems =
            RecordProblems(ReadRecords(Machine()), versions[static_cast<std::size_t>(n)]);
        EXPECT_EQ(problems, "");
        EXPECT_EQ(TemporaryFiles(Machine()), std::vector<std::string>{});
        recordsWhole += problems.empty() ? 1 : 0;

        // (b) A second run finishes the removal.
        const RunOutcome second = RunProgram(Machine());
        EXPECT_TRUE(second.ended) << second.failure << "\n" << second.log;
        const std::string differences = StateDifferences(endState, MachineState(Machine()));
        EXPECT_EQ(differences, "") << "second run's log:\n" << second.log;
        secondRunsFinished += second.ended && differences.empty() ? 1 : 0;
    }
    std::ostringstream summary;
    summary << total << " crash points; records whole at " << recordsWhole
            << "; second run reached the end state at " << secondRunsFinished;
    RecordProperty("summary", summary.str());
    std::printf("[ crashes  ] %s\n", summary.str().c_str());
}

} // namespace
} // namespace kestovan::robust
