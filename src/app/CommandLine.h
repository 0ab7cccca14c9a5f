#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestovan::app {

// A command line or machine the program cannot work with (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::filesystem::path machineDir;
    std::string machineSource = "--machine"; // where machineDir came from, for messages
    std::optional<std::string> exeDir;
    std::optional<std::string> answers;
    std::optional<std::string> transcript;
    std::optional<std::string> log;
    bool quiet = false;           // no window, no prompt: the quiet policy answers
    bool removeUserFiles = false; // the quiet policy also deletes slide shows, pictures, sounds
    bool preview = false;         // record the changes instead of making them
    bool list = false;            // print the Tavori applications found, change nothing
    bool json = false;            // --list as JSON
    bool showHelp = false;
    bool showVersion = false;
};

// Raises UsageError for an unknown option, a missing value or options that
// do not go together.
Options ParseCommandLine(int argc, const char* const* argv);

// The switches people type on Windows, as the options above: /quiet, /S,
// /SILENT, /VERYSILENT and /SUPPRESSMSGBOXES (all --quiet), /log FILE and
// /log=FILE, /preview, /list, /json, /remove-user-files and /? (--help),
// letter case ignored.  Other arguments are kept as they are.
std::vector<std::string> TranslateWindowsSwitches(const std::vector<std::string>& arguments);

// Exit status of the administrators' runs (--quiet), on this platform: the
// Windows program uses the codes deployment tools know from the Windows
// Installer; a POSIX exit status keeps only 8 bits.
struct QuietExitCodes {
    int removed;      // removed, nothing left behind
    int leftBehind;   // finished, but something was left behind or an error continued
    int nothing;      // nothing to remove
    int anotherCopy;  // another copy is running
    int stopped;      // stopped by a question's answer or Cancel
    int badArguments; // a bad command line
};
#ifdef _WIN32
inline constexpr QuietExitCodes QuietExit{0, 1603, 1605, 1618, 1602, 87};
#else
inline constexpr QuietExitCodes QuietExit{0, 3, 4, 5, 6, 2};
#endif
// True when the raw arguments ask for a quiet run (for the exit status of a
// command line that cannot be read).
bool AsksForQuiet(int argc, const char* const* argv);
std::string UsageText();
// The running executable's own file (for App.Path without --exe-dir).
std::filesystem::path ExecutablePath(const char* argv0);

} // namespace kestovan::app
