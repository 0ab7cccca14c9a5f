#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kestovan::app {
namespace {

// Restores an environment variable when the test ends.
class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name))
            value_ = value;
    }
    ~SavedVariable() {
        if (value_)
            ::setenv(name_, value_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> value_;
};

Options Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "kestovan");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, TakesEveryOptionOfTheContract) {
    Options options = Parse({"--machine", "/m", "--exe-dir", "C:\\Tools", "--answers", "a.txt",
                             "--transcript", "t.jsonl", "--log", "status.log"});
    EXPECT_EQ(options.machineDir, "/m");
    EXPECT_EQ(options.exeDir, "C:\\Tools");
    EXPECT_EQ(options.answers, "a.txt");
    EXPECT_EQ(options.transcript, "t.jsonl");
    EXPECT_EQ(options.log, "status.log");
    EXPECT_FALSE(options.showHelp);
}

TEST(CommandLine, MachineDefaultsToWinePrefixThenHome) {
    SavedVariable prefix("WINEPREFIX"), home("HOME");
    ::setenv("WINEPREFIX", "/prefix", 1);
    EXPECT_EQ(Parse({}).machineDir, "/prefix");
    ::unsetenv("WINEPREFIX");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(Parse({}).machineDir, "/home/someone/.wine");
}

TEST(CommandLine, RefusesUnknownOptionsAndMissingValues) {
    EXPECT_THROW(Parse({"--frobnicate"}), UsageError);
    EXPECT_THROW(Parse({"--answers"}), UsageError);
    EXPECT_THROW(Parse({"stray"}), UsageError);
}

TEST(CommandLine, HelpAndVersionNeedNoMachine) {
    SavedVariable prefix("WINEPREFIX"), home("HOME");
    ::unsetenv("WINEPREFIX");
    ::unsetenv("HOME");
    EXPECT_TRUE(Parse({"--help"}).showHelp);
    EXPECT_TRUE(Parse({"--version"}).showVersion);
    EXPECT_NE(UsageText().find("--answers FILE"), std::string::npos);
}

TEST(CommandLine, TakesTheAdministratorsOptions) {
    Options options = Parse({"--machine", "/m", "--quiet", "--remove-user-files", "--preview"});
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.removeUserFiles);
    EXPECT_TRUE(options.preview);
    EXPECT_FALSE(options.list);
    options = Parse({"--machine", "/m", "--list", "--json"});
    EXPECT_TRUE(options.list);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(Parse({"--machine", "/m", "--answers", "a", "--preview"}).preview);
}

TEST(CommandLine, RefusesAdministratorsOptionsThatDoNotGoTogether) {
    EXPECT_THROW(Parse({"--machine", "/m", "--remove-user-files"}), UsageError);
    EXPECT_THROW(Parse({"--machine", "/m", "--json"}), UsageError);
    EXPECT_THROW(Parse({"--machine", "/m", "--list", "--quiet"}), UsageError);
    EXPECT_THROW(Parse({"--machine", "/m", "--list", "--answers", "a"}), UsageError);
    EXPECT_THROW(Parse({"--machine", "/m", "--list", "--preview"}), UsageError);
}

TEST(CommandLine, WindowsSwitchesAreTheOptionsInAnyLetterCase) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(
        TranslateWindowsSwitches({"/quiet", "/S", "/Silent", "/VERYSILENT", "/suppressmsgboxes"}),
        (Args{"--quiet", "--quiet", "--quiet", "--quiet", "--quiet"}));
    EXPECT_EQ(TranslateWindowsSwitches({"/LOG", "C:\\temp\\remove.log", "/log=C:\\x y.log"}),
              (Args{"--log", "C:\\temp\\remove.log", "--log", "C:\\x y.log"}));
    EXPECT_EQ(TranslateWindowsSwitches({"/Preview", "/LIST", "/json", "/?"}),
              (Args{"--preview", "--list", "--json", "--help"}));
    // Values and other arguments are kept as written; an unknown switch
    // stays unknown so that the parser refuses it.
    EXPECT_EQ(TranslateWindowsSwitches({"--answers", "/tmp/a", "/frobnicate", "/"}),
              (Args{"--answers", "/tmp/a", "/frobnicate", "/"}));
}

TEST(CommandLine, QuietRunsAreRecognisedForTheirExitStatus) {
    const char* quiet[] = {"kestovan", "--machine", "/m", "/SILENT", "--bogus"};
    const char* plain[] = {"kestovan", "--machine", "/m", "--bogus"};
    EXPECT_TRUE(AsksForQuiet(5, quiet));
    EXPECT_FALSE(AsksForQuiet(4, plain));
}

} // namespace
} // namespace kestovan::app
