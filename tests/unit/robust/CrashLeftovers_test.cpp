// Crash points end clean through quiet runs:
//  (a) the machine left by a crash after each operation of a complete
//      removal (every question answered Yes) is given to `kestovan --quiet`:
//      each run exits 0 and discovery then finds nothing of the viewer;
//  (b) the quiet removal of what is left once the program folder was
//      deleted by hand is itself ended after each of its operations, then
//      `kestovan --quiet` runs: each exits 0 with nothing of the viewer left
//      (4, nothing to remove, after a crash that left nothing).

#include "app/QuietLeftovers.h"
#include "app/QuietPolicy.h"
#include "forms/unattended/UnattendedFrontEnd.h"
#include "robust/CrashHarness.h"
#include "state/Discovery.h"
#include "state/Traces.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace kestovan::robust {
namespace {

constexpr const char* ProgramDir = "C:\\Program Files\\Tavori Viewer\\";

fs::path ProgramDirHost(const fs::path& machine) {
    return machine / "drive_c" / "Program Files" / "Tavori Viewer";
}

// `kestovan --quiet` on the machine, from the program folder while it
// exists (as an administrator starts it there), else as the settings store
// or nothing leads it.
int QuietRun(const fs::path& machine) {
    std::string command =
        std::string("\"") + KESTOVAN_BINARY + "\" --machine \"" + machine.string() + "\" --quiet";
    if (fs::is_directory(ProgramDirHost(machine)))
        command += " --exe-dir 'C:\\Program Files\\Tavori Viewer'";
    command += " > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every trace of the viewer discovery finds, one a line ("" = none).
std::string TracesLeft(const fs::path& machine) {
    posix::PosixPlatform platform(machine, std::string("C:\\"), "/nowhere");
    const ViewerTraces traces =
        DiscoverViewerTraces(platform, DiscoverApplications(platform, ProgramDir), ProgramDir);
    std::string text;
    for (const Trace& trace : traces.items)
        text += TraceLine(trace) + "\n";
    return text;
}

// The quiet removal of the leftovers, in this process, on a platform that
// ends it after operation crashAfter (0 = never).  Returns the operations
// counted.
int RunLeftovers(const fs::path& machine, int crashAfter, std::optional<int>& crashed) {
    posix::PosixPlatform posix(machine, std::string("C:\\"), "/nowhere");
    CrashingPlatform platform(posix);
    platform.crashAfter = crashAfter;
    MainModule* module = nullptr;
    forms::UnattendedFrontEnd front(
        std::make_unique<app::QuietPolicy>([&]() -> const ProgramState& { return module->State; },
                                           platform, false),
        [&]() -> const std::string& { return module->State.StatusLog; });
    forms::FormRuntime runtime(platform, front, nullptr);
    MainModule instance(platform, runtime);
    module = &instance;
    const app::QuietLeftovers leftovers(platform, "C:\\");
    try {
        leftovers.Remove(instance);
    } catch (const SimulatedCrash& crash) {
        crashed = crash.operation;
    }
    return platform.Changes();
}

TEST(CrashLeftovers, EveryCrashOfAFullRemovalEndsCleanWithAQuietRun) {
    TemporaryDirectory work;
    const fs::path demo = work.Path() / "demo";
    const fs::path machine = work.Path() / "machine";
    MakeDemoMachine(demo);
    const UninterruptedRun reference = RunUninterrupted(demo, machine);
    ASSERT_TRUE(reference.outcome.ended) << reference.outcome.failure;
    const int total = reference.outcome.changes;
    ASSERT_GT(total, 40);

    int clean = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("crash after operation " + std::to_string(n) + " of " + std::to_string(total) +
                     ": " + reference.operations[static_cast<std::size_t>(n)]);
        CopyMachine(demo, machine);
        const RunOutcome crashed = RunProgram(machine, n);
        ASSERT_EQ(crashed.crashedAfter, n) << crashed.failure;
        const int status = QuietRun(machine);
        const std::string left = TracesLeft(machine);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(left, "");
        clean += status == 0 && left.empty() ? 1 : 0;
    }
    std::printf("[ crashes  ] %d crash points of a full removal; a quiet run ended clean at %d\n",
                total, clean);
}

TEST(CrashLeftovers, EveryCrashOfAQuietLeftoverRunEndsCleanWithAnotherQuietRun) {
    TemporaryDirectory work;
    const fs::path demo = work.Path() / "demo";
    const fs::path machine = work.Path() / "machine";
    MakeDemoMachine(demo);
    fs::remove_all(ProgramDirHost(demo));
    ASSERT_NE(TracesLeft(demo), "");

    CopyMachine(demo, machine);
    std::optional<int> never;
    const int total = RunLeftovers(machine, 0, never);
    ASSERT_FALSE(never);
    EXPECT_EQ(TracesLeft(machine), "") << "the uninterrupted leftover run leaves nothing";
    ASSERT_GT(total, 10) << "files, group, shortcuts, settings, class keys, associations";

    int clean = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("crash after operation " + std::to_string(n) + " of " + std::to_string(total));
        CopyMachine(demo, machine);
        std::optional<int> crashed;
        RunLeftovers(machine, n, crashed);
        ASSERT_EQ(crashed, n);
        EXPECT_EQ(TemporaryFiles(machine), std::vector<std::string>{});
        // A crash after the last operation leaves nothing: the run then has
        // nothing to remove.
        const bool anythingLeft = !TracesLeft(machine).empty();
        const int status = QuietRun(machine);
        const std::string left = TracesLeft(machine);
        EXPECT_EQ(status, anythingLeft ? 0 : 4);
        EXPECT_EQ(left, "");
        clean += status == (anythingLeft ? 0 : 4) && left.empty() ? 1 : 0;
    }
    std::printf("[ crashes  ] %d crash points of a quiet leftover run; a quiet run ended clean at "
                "%d\n",
                total, clean);
}

} // namespace
} // namespace kestovan::robust
