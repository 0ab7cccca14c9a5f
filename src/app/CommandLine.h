#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace kestovan::app {

// A command line or machine the program cannot work with (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::filesystem::path machineDir;
    std::optional<std::string> exeDir;
    std::optional<std::string> answers;
    std::optional<std::string> transcript;
    std::optional<std::string> log;
    bool showHelp = false;
    bool showVersion = false;
};

// Raises UsageError for an unknown option or a missing value.
Options ParseCommandLine(int argc, const char* const* argv);
std::string UsageText();
// The running executable's own file (for App.Path without --exe-dir).
std::filesystem::path ExecutablePath(const char* argv0);

} // namespace kestovan::app
