#include "platform/posix/ProgramManager.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace kestovan::posix {
namespace {
namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-progman-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void Touch(const fs::path& file) {
    std::ofstream(file) << "shortcut";
}

int ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

class ProgramManagerDde : public ::testing::Test {
protected:
    ProgramManagerDde() : programs_(scratch_.path() / "Programs"), progman_(programs_) {
        fs::create_directory(programs_);
    }

    void Group(const std::string& name) {
        fs::create_directory(programs_ / name);
        Touch(programs_ / name / (name + ".lnk"));
    }
    bool HasGroup(const std::string& name) const {
        return fs::exists(fs::symlink_status(programs_ / name));
    }
    std::string List() { return progman_.Request("ProgMan|Progman", "PROGMAN"); }
    int Execute(const std::string& command) {
        return ErrorOf([&] { progman_.Execute("Progman|Progman", command); });
    }

    ScratchDir scratch_;
    fs::path programs_;
    ProgramManager progman_;
};

TEST_F(ProgramManagerDde, ListsGroupFoldersSortedWithoutRegardToCase) {
    Group("startup");
    Group("Accessories");
    Group("Tavori Software");
    Group("games");
    Group("Zebra");
    Touch(programs_ / "Loose Shortcut.lnk");
    EXPECT_EQ(List(), "Accessories\r\ngames\r\nstartup\r\nTavori Software\r\nZebra\r\n");
    EXPECT_EQ(progman_.Request("PROGMAN|PROGMAN", "progman"), List());
}

TEST_F(ProgramManagerDde, EmptyProgramsFolderGivesAnEmptyList) {
    EXPECT_EQ(List(), "");
}

TEST_F(ProgramManagerDde, ListsALinkToAFolderAsAGroupButNotABrokenLink) {
    Group("Accessories");
    fs::create_directory(scratch_.path() / "Elsewhere");
    fs::create_directory_symlink(scratch_.path() / "Elsewhere", programs_ / "Linked");
    fs::create_directory_symlink(scratch_.path() / "Missing", programs_ / "Broken");
    EXPECT_EQ(List(), "Accessories\r\nLinked\r\n");
}

TEST_F(ProgramManagerDde, UnknownItemIsRefused) {
    EXPECT_EQ(ErrorOf([&] { progman_.Request("ProgMan|Progman", "Groups2"); }),
              err::DdeMethodRefused);
}

TEST_F(ProgramManagerDde, OnlyTheProgmanTopicAnswers) {
    EXPECT_EQ(ErrorOf([&] { progman_.Initiate("ProgMan|Progman"); }), 0);
    EXPECT_EQ(ErrorOf([&] { progman_.Initiate("progman|PROGMAN"); }), 0);
    EXPECT_EQ(ErrorOf([&] { progman_.Initiate("Excel|System"); }), err::DdeNoForeignApplication);
    EXPECT_EQ(ErrorOf([&] { progman_.Initiate("ProgMan"); }), err::DdeNoForeignApplication);
    EXPECT_EQ(ErrorOf([&] { progman_.Request("Shell|Progman", "PROGMAN"); }),
              err::DdeNoForeignApplication);
    EXPECT_EQ(ErrorOf([&] { progman_.Execute("Shell|Progman", "[DeleteGroup(x)]"); }),
              err::DdeNoForeignApplication);
}

TEST(ProgramManagerAbsent, MissingProgramsFolderMeansNoProgramManager) {
    ScratchDir scratch;
    Touch(scratch.path() / "NotAFolder");
    for (const fs::path& programs : {scratch.path() / "Programs", scratch.path() / "NotAFolder"}) {
        ProgramManager progman(programs);
        EXPECT_EQ(ErrorOf([&] { progman.Initiate("ProgMan|Progman"); }),
                  err::DdeNoForeignApplication);
        EXPECT_EQ(ErrorOf([&] { progman.Request("ProgMan|Progman", "PROGMAN"); }),
                  err::DdeNoForeignApplication);
        EXPECT_EQ(ErrorOf([&] { progman.Execute("Progman|Progman", "[DeleteGroup(A)]"); }),
                  err::DdeNoForeignApplication);
    }
    EXPECT_EQ(RuntimeErrorText(err::DdeNoForeignApplication),
              "No foreign application responded to a DDE initiate");
}

TEST_F(ProgramManagerDde, DeleteGroupRemovesTheFolderWithAllItHolds) {
    Group("Tavori Software");
    fs::create_directories(programs_ / "Tavori Software" / "Extras" / "Deeper");
    Touch(programs_ / "Tavori Software" / "Extras" / "Deeper" / "Help.lnk");
    Group("Accessories");
    EXPECT_EQ(Execute("[DeleteGroup(Tavori Software)]"), 0);
    EXPECT_FALSE(HasGroup("Tavori Software"));
    EXPECT_TRUE(HasGroup("Accessories"));
    EXPECT_EQ(List(), "Accessories\r\n");
}

TEST_F(ProgramManagerDde, DeleteGroupWithAQuotedName) {
    Group("Tavori Software");
    Group("Say \"Hi\"");
    EXPECT_EQ(Execute("[DeleteGroup(\"Tavori Software\")]"), 0);
    EXPECT_FALSE(HasGroup("Tavori Software"));
    EXPECT_EQ(Execute("[DeleteGroup(\"Say \"\"Hi\"\"\")]"), 0);
    EXPECT_FALSE(HasGroup("Say \"Hi\""));
}

TEST_F(ProgramManagerDde, CommandAndGroupNamesIgnoreLetterCase) {
    Group("Tavori Software");
    EXPECT_EQ(Execute("[deletegroup(TAVORI SOFTWARE)]"), 0);
    EXPECT_FALSE(HasGroup("Tavori Software"));
}

TEST_F(ProgramManagerDde, ExactNameIsPreferredOverAnotherCase) {
    Group("GAMES");
    Group("Games");
    Group("games");
    EXPECT_EQ(Execute("[DeleteGroup(Games)]"), 0);
    EXPECT_TRUE(HasGroup("GAMES"));
    EXPECT_FALSE(HasGroup("Games"));
    EXPECT_TRUE(HasGroup("games"));
    // No exact match: the first in byte order goes.
    EXPECT_EQ(Execute("[DeleteGroup(gAMES)]"), 0);
    EXPECT_FALSE(HasGroup("GAMES"));
    EXPECT_TRUE(HasGroup("games"));
}

TEST_F(ProgramManagerDde, BlanksAroundTheCommandPartsAreAllowed) {
    Group("Tavori Software");
    Group("Second");
    EXPECT_EQ(Execute("  [ DeleteGroup ( Tavori Software ) ]  [DeleteGroup( \"Second\" )] "), 0);
    EXPECT_FALSE(HasGroup("Tavori Software"));
    EXPECT_FALSE(HasGroup("Second"));
}

TEST_F(ProgramManagerDde, CraftedNameBecomesTwoCommandsOnlyWhenUnquoted) {
    const std::string crafted = "X)][DeleteGroup(Accessories";
    Group("X");
    Group("Accessories");
    Group(crafted);

    // Quoted, the whole name is one argument: only the group of that name goes.
    EXPECT_EQ(Execute("[DeleteGroup(\"" + crafted + "\")]"), 0);
    EXPECT_FALSE(HasGroup(crafted));
    EXPECT_TRUE(HasGroup("X"));
    EXPECT_TRUE(HasGroup("Accessories"));

    // Unquoted, the name ends at its ')' and the rest is a second command.
    Group(crafted);
    EXPECT_EQ(Execute("[DeleteGroup(" + crafted + ")]"), 0);
    EXPECT_FALSE(HasGroup("X"));
    EXPECT_FALSE(HasGroup("Accessories"));
    EXPECT_TRUE(HasGroup(crafted));
}

TEST_F(ProgramManagerDde, CommandsBeforeAFailingOneStayDoneAndLaterOnesAreNotRun) {
    Group("First");
    Group("Third");
    EXPECT_EQ(Execute("[DeleteGroup(First)][DeleteGroup(Second)][DeleteGroup(Third)]"),
              err::DdeMethodRefused);
    EXPECT_FALSE(HasGroup("First"));
    EXPECT_TRUE(HasGroup("Third"));

    // The same with the crafted name whose first half names no group.
    Group("Accessories");
    EXPECT_EQ(Execute("[DeleteGroup(X)][DeleteGroup(Accessories)]"), err::DdeMethodRefused);
    EXPECT_TRUE(HasGroup("Accessories"));

    // A malformed command after a good one.
    EXPECT_EQ(Execute("[DeleteGroup(Third)][DeleteGroup(Accessories"), err::DdeMethodRefused);
    EXPECT_FALSE(HasGroup("Third"));
    EXPECT_TRUE(HasGroup("Accessories"));
    Group("Fourth");
    EXPECT_EQ(Execute("[DeleteGroup(Fourth)] junk [DeleteGroup(Accessories)]"),
              err::DdeMethodRefused);
    EXPECT_FALSE(HasGroup("Fourth"));
    EXPECT_TRUE(HasGroup("Accessories"));
}

TEST_F(ProgramManagerDde, MissingGroupIsRefused) {
    Group("Accessories");
    EXPECT_EQ(Execute("[DeleteGroup(Tavori Software)]"), err::DdeMethodRefused);
    Touch(programs_ / "File");
    EXPECT_EQ(Execute("[DeleteGroup(File)]"), err::DdeMethodRefused) << "a file is not a group";
    EXPECT_TRUE(fs::exists(programs_ / "File"));
    EXPECT_EQ(Execute("[DeleteGroup(.)]"), err::DdeMethodRefused);
    EXPECT_TRUE(fs::exists(programs_));
    EXPECT_EQ(RuntimeErrorText(err::DdeMethodRefused),
              "Foreign application won't perform DDE method or operation");
}

TEST_F(ProgramManagerDde, NamesThatReachOutsideAGroupAreRefused) {
    fs::create_directories(scratch_.path() / "Victim" / "Inner");
    Group("Accessories");
    for (const std::string& name :
         {std::string("..\\Victim"), std::string("../Victim"), std::string(".."),
          std::string("Accessories/../../Victim"), std::string("C:\\Victim"),
          std::string("Accessories\\x"), std::string("\"../Victim\""), std::string("a:b")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Execute("[DeleteGroup(" + name + ")]"), err::DdeMethodRefused);
    }
    // A name that only looks like it climbs is refused even when a group has it.
    Group("a..b");
    EXPECT_EQ(Execute("[DeleteGroup(a..b)]"), err::DdeMethodRefused);
    EXPECT_TRUE(fs::exists(scratch_.path() / "Victim" / "Inner"));
    EXPECT_TRUE(HasGroup("Accessories"));
    EXPECT_TRUE(HasGroup("a..b"));
}

TEST_F(ProgramManagerDde, EmptyNameIsRefused) {
    Group("Accessories");
    EXPECT_EQ(Execute("[DeleteGroup()]"), err::DdeMethodRefused);
    EXPECT_EQ(Execute("[DeleteGroup(\"\")]"), err::DdeMethodRefused);
    EXPECT_EQ(Execute("[DeleteGroup(   )]"), err::DdeMethodRefused);
    EXPECT_TRUE(HasGroup("Accessories"));
}

TEST_F(ProgramManagerDde, UnknownOrMalformedCommandsAreRefused) {
    Group("Accessories");
    for (const std::string& command : {
             std::string(""),
             std::string("   "),
             std::string("DeleteGroup(Accessories)"),
             std::string("[DeleteGroup(Accessories)"),
             std::string("[DeleteGroup(Accessories]"),
             std::string("[DeleteGroup Accessories]"),
             std::string("[DeleteGroup]"),
             std::string("[(Accessories)]"),
             std::string("[CreateGroup(Accessories)]"),
             std::string("[DeleteGroups(Accessories)]"),
             std::string("[DeleteGroup(\"Accessories)]"),
             std::string("[DeleteGroup(\"Accessories\"x)]"),
             std::string("[DeleteGroup(Accessories,1)]"),
             std::string("junk [DeleteGroup(Accessories)]"),
         }) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Execute(command), err::DdeMethodRefused);
        EXPECT_TRUE(HasGroup("Accessories"));
    }
}

TEST_F(ProgramManagerDde, SymbolicLinksInsideAGroupAreNotFollowed) {
    fs::path outside = scratch_.path() / "Outside";
    fs::create_directory(outside);
    Touch(outside / "precious.txt");
    Touch(scratch_.path() / "precious-file.txt");
    Group("Tavori Software");
    fs::create_directory_symlink(outside, programs_ / "Tavori Software" / "LinkToDir");
    fs::create_symlink(scratch_.path() / "precious-file.txt",
                       programs_ / "Tavori Software" / "LinkToFile.lnk");

    EXPECT_EQ(Execute("[DeleteGroup(Tavori Software)]"), 0);
    EXPECT_FALSE(HasGroup("Tavori Software"));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
    EXPECT_TRUE(fs::exists(scratch_.path() / "precious-file.txt"));
}

TEST_F(ProgramManagerDde, AGroupThatIsALinkLosesTheLinkNotTheTarget) {
    fs::path outside = scratch_.path() / "RealGroup";
    fs::create_directory(outside);
    Touch(outside / "Viewer.lnk");
    fs::create_directory_symlink(outside, programs_ / "Linked");
    EXPECT_EQ(Execute("[DeleteGroup(Linked)]"), 0);
    EXPECT_FALSE(HasGroup("Linked"));
    EXPECT_TRUE(fs::exists(outside / "Viewer.lnk"));
}

TEST_F(ProgramManagerDde, AGroupThatCannotBeDeletedIsRefused) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores the permission bits";
    Group("Locked");
    fs::create_directory(programs_ / "Locked" / "Inner");
    Touch(programs_ / "Locked" / "Inner" / "a.lnk");
    fs::permissions(programs_ / "Locked" / "Inner", fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Execute("[DeleteGroup(Locked)]"), err::DdeMethodRefused);
    fs::permissions(programs_ / "Locked" / "Inner", fs::perms::owner_write, fs::perm_options::add);
}

} // namespace
} // namespace kestovan::posix
