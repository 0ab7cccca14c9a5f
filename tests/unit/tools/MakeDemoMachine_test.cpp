// tools/make-demo-machine: it makes a machine in a new or empty directory,
// makes its own demo machines afresh, and refuses anything else untouched.

#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace kestovan::robust {
namespace {

// The tool's exit status on dir (standard error kept in `error`).
int MakeDemoMachine(const fs::path& dir, const fs::path& error) {
    const std::string command = "\"" + (RepositoryRoot() / "tools" / "make-demo-machine").string() +
                                "\" \"" + dir.string() + "\" > /dev/null 2> \"" + error.string() +
                                "\"";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakeDemoMachine, RefusesADirectoryHoldingSomethingElse) {
    TemporaryDirectory temporary;
    const fs::path dir = temporary.Path() / "work";
    fs::create_directory(dir);
    WriteBytes(dir / "thesis.txt", "four years of work\n");
    const fs::path error = temporary.Path() / "error";

    EXPECT_EQ(MakeDemoMachine(dir, error), 2);
    EXPECT_EQ(ReadBytes(dir / "thesis.txt"), "four years of work\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    const std::string message = ReadBytes(error);
    EXPECT_NE(message.find("refusing " + dir.string()), std::string::npos) << message;
    EXPECT_NE(message.find("not a demo machine"), std::string::npos) << message;

    // A plain file is no directory to make a machine in.
    EXPECT_EQ(MakeDemoMachine(dir / "thesis.txt", error), 2);
    EXPECT_EQ(ReadBytes(dir / "thesis.txt"), "four years of work\n");
}

TEST(MakeDemoMachine, MakesANewOrEmptyDirectoryAndRemakesItsOwnMachine) {
    TemporaryDirectory temporary;
    const fs::path error = temporary.Path() / "error";
    const fs::path empty = temporary.Path() / "empty";
    fs::create_directory(empty);
    EXPECT_EQ(MakeDemoMachine(empty, error), 0) << ReadBytes(error);
    EXPECT_TRUE(fs::is_directory(empty / "drive_c" / "Program Files" / "Tavori Viewer"));

    const fs::path machine = temporary.Path() / "machine";
    ASSERT_EQ(MakeDemoMachine(machine, error), 0) << ReadBytes(error);
    const fs::path readme = machine / "drive_c" / "Program Files" / "Tavori Viewer" / "README.TXT";
    fs::remove(readme);
    WriteBytes(machine / "drive_c" / "left-over.txt", "x");
    // Made again: afresh, the run's traces gone and the removed file back.
    ASSERT_EQ(MakeDemoMachine(machine, error), 0) << ReadBytes(error);
    EXPECT_TRUE(fs::exists(readme));
    EXPECT_FALSE(fs::exists(machine / "drive_c" / "left-over.txt"));
}

} // namespace
} // namespace kestovan::robust
