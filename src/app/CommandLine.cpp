#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <tuple>
#include <utility>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestovan::app {

namespace {

#ifndef _WIN32
// The machine when --machine is not given, and what named it.
std::pair<std::filesystem::path, std::string> DefaultMachine() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return {prefix, "$WINEPREFIX"};
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return {std::filesystem::path(home) / ".wine", "the default machine"};
    throw UsageError("no machine directory: give --machine, or set WINEPREFIX or HOME");
}
#endif

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

} // namespace

std::vector<std::string> TranslateWindowsSwitches(const std::vector<std::string>& arguments) {
    std::vector<std::string> translated;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || argument.front() != '/') {
            translated.push_back(argument);
            continue;
        }
        const std::string lower = Lower(argument);
        if (lower == "/quiet" || lower == "/s" || lower == "/silent" || lower == "/verysilent" ||
            lower == "/suppressmsgboxes")
            translated.push_back("--quiet");
        else if (lower == "/log")
            translated.push_back("--log");
        else if (lower.rfind("/log=", 0) == 0) {
            translated.push_back("--log");
            translated.push_back(argument.substr(5));
        } else if (lower == "/preview" || lower == "/list" || lower == "/json" ||
                   lower == "/remove-user-files")
            translated.push_back("--" + lower.substr(1));
        else if (lower == "/?")
            translated.push_back("--help");
        else
            translated.push_back(argument);
    }
    return translated;
}

bool AsksForQuiet(int argc, const char* const* argv) {
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    for (const std::string& argument : TranslateWindowsSwitches(arguments))
        if (argument == "--quiet")
            return true;
    return false;
}

Options ParseCommandLine(int argc, const char* const* argv) {
    Options options;
#ifndef _WIN32
    std::optional<std::filesystem::path> machine;
#endif
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
#ifdef _WIN32
    arguments = TranslateWindowsSwitches(arguments);
#endif
    const std::size_t count = arguments.size();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < count; ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-")
            throw UsageError("unexpected argument '" + argument +
                             "': the program takes options only (see --help)");
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // --option=value is the same as --option value.
        std::optional<std::string> attached;
        if (const std::size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            attached = argument.substr(equals + 1);
            argument.resize(equals);
        }
        auto value = [&]() -> std::string {
            if (attached)
                return *std::exchange(attached, std::nullopt);
            if (i + 1 >= count)
                throw UsageError("option " + argument + " needs a value");
            return arguments[++i];
        };
        auto path = [&]() -> std::string {
            std::string given = value();
            if (given.empty())
                throw UsageError("option " + argument + " needs a path, not an empty text");
            return given;
        };
#ifndef _WIN32 // on Windows the machine is the one the program runs on
        if (argument == "--machine")
            machine = path();
        else if (argument == "--exe-dir")
            options.exeDir = path();
        else
#endif
            if (argument == "--answers")
            options.answers = path();
        else if (argument == "--transcript")
            options.transcript = path();
        else if (argument == "--log")
            options.log = path();
        else if (argument == "--quiet")
            options.quiet = true;
        else if (argument == "--remove-user-files")
            options.removeUserFiles = true;
        else if (argument == "--preview")
            options.preview = true;
        else if (argument == "--list")
            options.list = true;
        else if (argument == "--json")
            options.json = true;
        else if (argument == "--help" || argument == "-h")
            options.showHelp = true;
        else if (argument == "--version")
            options.showVersion = true;
        else
            throw UsageError("unknown option " + argument + " (see --help)");
        if (attached)
            throw UsageError("option " + argument + " takes no value");
    }
    if (options.removeUserFiles && !options.quiet)
        throw UsageError("--remove-user-files goes with --quiet");
    if (options.json && !options.list)
        throw UsageError("--json goes with --list");
    if (options.list && (options.quiet || options.preview || options.answers))
        throw UsageError("--list removes nothing: it goes with no other action");
#ifndef _WIN32
    if (machine)
        options.machineDir = *machine;
    else if (!options.showHelp && !options.showVersion)
        std::tie(options.machineDir, options.machineSource) = DefaultMachine();
#endif
    return options;
}

std::string UsageText() {
#ifdef _WIN32
    return "Usage: KESTOVAN [options]\n"
           "Removes a Tavori application from this computer.\n"
           "\n"
           "  /quiet (/S, /SILENT, /VERYSILENT, /SUPPRESSMSGBOXES), --quiet\n"
           "                      remove Tavori Viewer with no window and no question,\n"
           "                      keeping the user's slide shows, pictures and sounds\n"
           "  --remove-user-files with /quiet: delete those files too\n"
           "  /preview, --preview change nothing, list the changes the removal would make\n"
           "  /list, --list       list the Tavori applications found, change nothing\n"
           "  --json              with /list: as JSON\n"
           "  /log FILE, /log=FILE, --log FILE\n"
           "                      write the status log to FILE\n"
           "  --answers FILE      answer every message box and dialog from FILE ('-' = stdin)\n"
           "  --transcript FILE   write a JSON Lines record of the run to FILE\n"
           "  /?, --help, --version  this text; the version\n"
           "\n"
           "Exit status: 0 when the program ends normally, 1 after an unhandled run-time\n"
           "error, 2 for a bad command line or an answers file that ran out or did not fit.\n"
           "With /quiet: 0 removed, 1603 finished but something was left behind, 1605\n"
           "nothing to remove, 1618 another copy is running, 1602 stopped by an answer,\n"
           "87 a bad command line.\n";
#else
    return "Usage: kestovan [options]\n"
           "Removes a Tavori application from a machine directory laid out as a Wine prefix.\n"
           "\n"
           "  --machine DIR       the machine directory (default $WINEPREFIX, else ~/.wine)\n"
           "  --exe-dir PATH      the Windows path taken as the program's own directory\n"
           "                      (with --quiet or --list: default the viewer's directory\n"
           "                      as the machine's settings store registers it)\n"
           "  --quiet             remove Tavori Viewer with no question, keeping the user's\n"
           "                      slide shows, pictures and sounds\n"
           "  --remove-user-files with --quiet: delete those files too\n"
           "  --preview           change nothing, list the changes the removal would make\n"
           "  --list [--json]     list the Tavori applications found, change nothing\n"
           "  --answers FILE      answer every message box and dialog from FILE ('-' = stdin)\n"
           "  --transcript FILE   write a JSON Lines record of the run to FILE\n"
           "  --log FILE          write the status log to FILE when the report is shown\n"
           "  -h, --help, --version  this text; the version\n"
           "An option's value may also be given as --option=VALUE; -- ends the options.\n"
           "Without --exe-dir, a run from outside the machine starts in the directory its\n"
           "settings store registers.\n"
           "Ctrl-C during the removal stops it as Cancel does, after the step it is making.\n"
           "\n"
           "Exit status: 0 when the program ends normally, 1 after an unhandled run-time\n"
           "error, 2 for a bad command line, an unusable machine or an answers file that\n"
           "ran out or did not fit, 128 + N when signal N (Ctrl-C: 130) stopped the\n"
           "removal.  With --quiet: 0 removed, 3 finished but something was left behind,\n"
           "4 nothing to remove, 5 another copy is running, 6 stopped by an answer or a\n"
           "signal, 2 a bad command line.\n";
#endif
}

std::filesystem::path ExecutablePath(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return self;
    return std::filesystem::absolute(argv0, ec);
}

} // namespace kestovan::app
