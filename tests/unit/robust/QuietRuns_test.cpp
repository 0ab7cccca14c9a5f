// Quiet removals by the kestovan executable built beside this test program:
// a second quiet run on a machine the first one cleaned finds nothing to
// remove and changes nothing.

#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace kestovan::robust {
namespace {

int QuietRun(const fs::path& machine) {
    const fs::path kestovan = fs::read_symlink("/proc/self/exe").parent_path() / "kestovan";
    const std::string command = "\"" + kestovan.string() + "\" --machine \"" + machine.string() +
                                "\" --quiet > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RobustTest, ASecondQuietRunFindsNothingToRemoveAndChangesNothing) {
    MakeMachine();
    const fs::path machine = MachineFile("");
    ASSERT_EQ(QuietRun(machine), 0);
    // The user's own files stay, the viewer is gone.
    EXPECT_TRUE(fs::exists(Host("Program Files/Tavori Viewer/Beach.gif")));
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/TVIEWER.EXE")));

    const auto cleaned = MachineContents(machine);
    EXPECT_EQ(QuietRun(machine), 4);
    EXPECT_EQ(MachineContents(machine), cleaned);
}

} // namespace
} // namespace kestovan::robust
