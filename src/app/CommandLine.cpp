#include "app/CommandLine.h"

#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace kestovan::app {

namespace {

#ifndef _WIN32
std::filesystem::path DefaultMachine() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return prefix;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::filesystem::path(home) / ".wine";
    throw UsageError("no machine directory: give --machine, or set WINEPREFIX or HOME");
}
#endif

} // namespace

Options ParseCommandLine(int argc, const char* const* argv) {
    Options options;
#ifndef _WIN32
    std::optional<std::filesystem::path> machine;
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw UsageError("option " + std::string(argument) + " needs a value");
            return argv[++i];
        };
#ifndef _WIN32 // on Windows the machine is the one the program runs on
        if (argument == "--machine")
            machine = value();
        else if (argument == "--exe-dir")
            options.exeDir = value();
        else
#endif
            if (argument == "--answers")
            options.answers = value();
        else if (argument == "--transcript")
            options.transcript = value();
        else if (argument == "--log")
            options.log = value();
        else if (argument == "--help" || argument == "-h")
            options.showHelp = true;
        else if (argument == "--version")
            options.showVersion = true;
        else
            throw UsageError("unknown argument " + std::string(argument) + " (see --help)");
    }
#ifndef _WIN32
    if (!options.showHelp && !options.showVersion)
        options.machineDir = machine ? *machine : DefaultMachine();
#endif
    return options;
}

std::string UsageText() {
#ifdef _WIN32
    return "Usage: KESTOVAN [options]\n"
           "Removes a Tavori application from this computer.\n"
           "\n"
           "  --answers FILE      answer every message box and dialog from FILE ('-' = stdin)\n"
           "  --transcript FILE   write a JSON Lines record of the run to FILE\n"
           "  --log FILE          write the status log to FILE when the report is shown\n"
           "  --help, --version   this text; the version\n"
           "\n"
           "Exit status: 0 when the program ends normally, 1 after an unhandled run-time\n"
           "error, 2 for a bad command line or an answers file that ran out or did not fit.\n";
#else
    return "Usage: kestovan [options]\n"
           "Removes a Tavori application from a machine directory laid out as a Wine prefix.\n"
           "\n"
           "  --machine DIR       the machine directory (default $WINEPREFIX, else ~/.wine)\n"
           "  --exe-dir PATH      the Windows path taken as the program's own directory\n"
           "  --answers FILE      answer every message box and dialog from FILE ('-' = stdin)\n"
           "  --transcript FILE   write a JSON Lines record of the run to FILE\n"
           "  --log FILE          write the status log to FILE when the report is shown\n"
           "  --help, --version   this text; the version\n"
           "\n"
           "Exit status: 0 when the program ends normally, 1 after an unhandled run-time\n"
           "error, 2 for a bad command line, an unusable machine or an answers file that\n"
           "ran out or did not fit.\n";
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
