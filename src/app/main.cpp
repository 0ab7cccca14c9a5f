// KESTOVAN: removes a Tavori application from a machine.

#include "app/CommandLine.h"
#include "app/QuietPolicy.h"
#include "dialogs/RemoveDoneFrm.h"
#include "forms/FormRuntime.h"
#include "forms/unattended/UnattendedFrontEnd.h"
#include "platform/RecordingPlatform.h"
#include "platform/RuntimeError.h"
#include "state/Discovery.h"
#include "state/MainModule.h"
#include "state/SystemDirectories.h"
#ifdef _WIN32
#include "forms/win32/Win32FrontEnd.h"
#include "platform/win32/Win32Platform.h"
#else
#include "forms/console/ConsoleFrontEnd.h"
#include "platform/posix/PosixPlatform.h"

#include <poll.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>

namespace {

using namespace kestovan;

constexpr int ExitEnded = 0;
constexpr int ExitRuntimeError = 1;
constexpr int ExitUsage = 2;

std::unique_ptr<forms::Transcript> OpenTranscript(const std::optional<std::string>& path) {
    if (!path)
        return nullptr;
    auto out = std::make_unique<std::ofstream>(*path, std::ios::binary | std::ios::trunc);
    if (!*out)
        throw app::UsageError("cannot write the transcript file " + *path);
    return std::make_unique<forms::Transcript>(std::move(out));
}

#ifndef _WIN32
// On a terminal, whether a line typed while the program works is there to
// be read (the terminal hands over whole lines).  Input from a file or a
// pipe is kept for the questions it answers.
std::function<bool()> TypedLineWaiting() {
    if (::isatty(STDIN_FILENO) != 1)
        return {};
    return [] {
        if (std::cin.rdbuf()->in_avail() > 0)
            return true;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        return ::poll(&in, 1, 0) == 1 && (in.revents & POLLIN) != 0;
    };
}
#endif

// How a quiet run ended, from what the program state holds at its end.
int QuietOutcome(const ProgramState& s) {
    if (s.StatusLog.find(">>  Finished removing Tavori Viewer files...") != std::string::npos)
        return s.ProblemsFound != 0 ? app::QuietExit.leftBehind : app::QuietExit.removed;
    // A removal that is not implemented went through the whole Remove
    // command: the application is still there.
    if (!s.SelectedApp.empty() && s.StatusLog.empty() && s.CancelRequested == 0)
        return app::QuietExit.leftBehind;
    return app::QuietExit.stopped;
}

int NothingToRemove(forms::Transcript* transcript, const std::string& why) {
    std::cerr << "kestovan: nothing to remove: " << why << "\n";
    if (transcript)
        transcript->End(app::QuietExit.nothing);
    return app::QuietExit.nothing;
}

int Run(const app::Options& options, const char* argv0) {
    auto transcript = OpenTranscript(options.transcript);
#ifdef _WIN32
    (void)argv0;
    win32::Win32Platform platform;
#else
    std::filesystem::path machine = options.machineDir;
    if (!posix::PosixPlatform::IsMachineDirectory(machine))
        throw app::UsageError("not a machine directory (no drive C:): " + machine.string());

    // An administrator's run finds the installation where the machine's
    // settings store registers it.
    std::optional<std::string> exeDir = options.exeDir;
    const bool discovered = !exeDir && options.quiet;
    if (!exeDir && options.list) // the listing needs no directory of its own
        exeDir = posix::PosixPlatform::RegisteredDirectory(machine, "TViewer").value_or("C:\\");
    if (discovered) {
        exeDir = posix::PosixPlatform::RegisteredDirectory(machine, "TViewer");
        if (!exeDir)
            return NothingToRemove(transcript.get(),
                                   "the settings store of " + machine.string() +
                                       " registers no Tavori Viewer (give --exe-dir)");
    }
    posix::PosixPlatform platform(machine, exeDir, app::ExecutablePath(argv0));
#endif

    if (options.list) {
#ifdef _WIN32
        const std::string startDir = platform.AppPath();
#else
        const std::string startDir = options.exeDir.value_or(std::string());
#endif
        const Discovery found = DiscoverApplications(platform, startDir);
        std::cout << (options.json ? DiscoveryJson(found) : DiscoveryText(found));
        return ExitEnded;
    }

    // A preview makes the whole run against a layer that changes nothing and
    // lists each change the run would make.
    RecordingPlatform preview(platform, [&](const std::string& change) {
        std::cout << change << "\n" << std::flush;
        if (transcript)
            transcript->Change(change);
    });
    PlatformServices& services = options.preview ? static_cast<PlatformServices&>(preview)
                                                 : static_cast<PlatformServices&>(platform);

    if (options.quiet && platform.AppPrevInstance()) {
        std::cerr << "kestovan: another copy of KESTOVAN is running on this machine\n";
        if (transcript)
            transcript->End(app::QuietExit.anotherCopy);
        return app::QuietExit.anotherCopy;
    }

    std::ifstream answersFile;
    std::unique_ptr<forms::FrontEnd> frontEnd;
    MainModule* modulePointer = nullptr;
    auto statusLog = [&modulePointer]() -> const std::string& {
        return modulePointer->State.StatusLog;
    };
    if (options.quiet && !options.answers) {
        // The policy reads the program state, which exists once the module
        // does; it is asked nothing before.
        frontEnd = std::make_unique<forms::UnattendedFrontEnd>(
            std::make_unique<app::QuietPolicy>(
                [&modulePointer]() -> const ProgramState& { return modulePointer->State; },
                services, options.removeUserFiles),
            statusLog);
    } else if (options.answers) {
        std::istream* answers = &std::cin;
        if (*options.answers != "-") {
            answersFile.open(*options.answers, std::ios::binary);
            if (!answersFile)
                throw app::UsageError("cannot read the answers file " + *options.answers);
            answers = &answersFile;
        }
        frontEnd =
            std::make_unique<forms::UnattendedFrontEnd>(*answers, *options.answers, statusLog);
    } else {
#ifdef _WIN32
        frontEnd = std::make_unique<forms::Win32FrontEnd>();
#else
        frontEnd =
            std::make_unique<forms::ConsoleFrontEnd>(std::cin, std::cout, TypedLineWaiting());
#endif
    }

    forms::FormRuntime runtime(services, *frontEnd, transcript.get());
    MainModule module(services, runtime);
    modulePointer = &module;

    if (transcript)
        platform.OnClipboardSet([&](const std::string& text) { transcript->Clipboard(text); });
    if (options.log)
        runtime.OnShow([&](forms::Form& form) {
            if (form.Name() != "RemoveDoneFrm")
                return;
            std::ofstream log(*options.log, std::ios::binary | std::ios::trunc);
            log << module.State.StatusLog;
        });

    auto finish = [&](int code) {
        if (transcript)
            transcript->End(code);
        return code;
    };
    auto ended = [&] {
        if (!options.quiet)
            return finish(ExitEnded);
        const int outcome = QuietOutcome(module.State);
        // The policy answers every question but one way: a run it answered
        // that ended before any removal was refused at start-up.
        if (outcome == app::QuietExit.stopped && !options.answers)
            return NothingToRemove(transcript.get(), "KESTOVAN does not work from the Windows or "
                                                     "the system directory (" +
                                                         module.State.StartPath + ")");
        return finish(outcome);
    };
    try {
#ifndef _WIN32
        // A registered directory that is, or leads to, the system's own is
        // never the installation.
        if (discovered && SystemDirectories(services, module.GetWindowsDir(), module.GetSystemDir())
                              .HoldsSystemFiles(*exeDir))
            return NothingToRemove(transcript.get(),
                                   "the settings store registers Tavori Viewer in " + *exeDir +
                                       ", which is or leads to a system directory");
#endif
        module.Main();
        frontEnd->RunEventLoop(runtime);
        return ended();
    } catch (const forms::EndProgram&) {
        return ended();
    } catch (const app::NothingToRemove& nothing) {
        return NothingToRemove(transcript.get(), nothing.what());
    } catch (const RuntimeError& error) {
        std::cerr << "KESTOVAN: Run-time error '" << error.Number() << "':\n\n"
                  << error.Text() << "\n";
#ifdef _WIN32
        // A windowed program's standard error is seen by nobody: the report
        // is the run-time's message box.
        if (!options.answers)
            frontEnd->MsgBox("Run-time error '" + std::to_string(error.Number()) + "':\r\n\r\n" +
                                 error.Text(),
                             forms::MbOkCritical, "KESTOVAN");
#endif
        return finish(ExitRuntimeError);
    } catch (const forms::AnswersError& error) {
        std::cerr << "kestovan: " << error.what() << "\n";
        return finish(options.quiet ? app::QuietExit.badArguments : ExitUsage);
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        const app::Options options = app::ParseCommandLine(argc, argv);
        if (options.showHelp) {
            std::cout << app::UsageText();
            return ExitEnded;
        }
        if (options.showVersion) {
            std::cout << "kestovan " KESTOVAN_VERSION "\n";
            return ExitEnded;
        }
        return Run(options, argv[0]);
    } catch (const app::UsageError& error) {
        std::cerr << "kestovan: " << error.what() << "\n";
        return app::AsksForQuiet(argc, argv) ? app::QuietExit.badArguments : ExitUsage;
    } catch (const RuntimeError& error) {
        std::cerr << "kestovan: " << error.Text() << "\n";
        return app::AsksForQuiet(argc, argv) ? app::QuietExit.badArguments : ExitUsage;
    }
}
