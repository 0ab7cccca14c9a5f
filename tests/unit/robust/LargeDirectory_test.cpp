// A program directory holding more files than a 16-bit counter can count:
// the sweeps walk, delete and count every one of them.

#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kestovan::robust {
namespace {

TEST_F(RobustTest, AProgramDirectoryOfMoreThan32767PicturesIsSweptWhole) {
    MakeMachine();
    constexpr int Added = 40000;
    for (int i = 0; i < Added; ++i)
        std::ofstream(Host("Program Files/Tavori Viewer/p" + std::to_string(i) + ".jpg"));
    StartProgram();
    RunRemoval();

    // The demo installation holds three pictures of its own.
    EXPECT_TRUE(Logged("(*) 40003 image file(s) were REMOVED from the program directory."))
        << Log();
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/p0.jpg")));
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/p32767.jpg")));
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/p39999.jpg")));
    EXPECT_TRUE(Logged("(+) The preferences file (TAVORI.INI) was REMOVED."));
}

} // namespace
} // namespace kestovan::robust
