// KESTOVAN: removes a Tavori application from a machine.

#include "app/CommandLine.h"
#include "app/NamedFiles.h"
#include "app/QuietLeftovers.h"
#include "app/QuietPolicy.h"
#include "app/StopSignals.h"
#include "dialogs/RemoveDoneFrm.h"
#include "forms/FormRuntime.h"
#include "forms/unattended/UnattendedFrontEnd.h"
#include "platform/RecordingPlatform.h"
#include "platform/RuntimeError.h"
#include "state/Discovery.h"
#include "state/MainModule.h"
#include "state/SystemDirectories.h"
#include "state/Traces.h"
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
        throw app::UsageError("--transcript " + *path + ": cannot be written");
    return std::make_unique<forms::Transcript>(std::move(out));
}

// The status log file (--log): written once, when the status report is
// shown or, in a quiet run that shows none, when the run ends.  A preview's
// log says first that nothing was removed.
class StatusLogFile {
public:
    StatusLogFile(std::optional<std::string> path, bool preview)
        : path_(std::move(path)), preview_(preview) {}

    bool Wanted() const { return path_.has_value(); }
    bool Written() const { return written_; }

    // Writes text as the log; false (with a message) when it cannot be kept.
    bool Write(const std::string& text) {
        if (!path_ || written_)
            return true;
        written_ = true;
        std::ofstream log(*path_, std::ios::binary | std::ios::trunc);
        if (preview_)
            log << "PREVIEW - nothing was removed: the lines below say what the removal would "
                   "have done.\r\n\r\n";
        log << text;
        log.flush();
        if (!log) {
            std::cerr << "kestovan: --log " << *path_ << ": the status log could not be written\n";
            return false;
        }
        return true;
    }

    // For a run that ends without a status log of its own: one line that
    // says why.
    bool WriteReason(const std::string& why) { return Write("KESTOVAN: " + why + "\r\n"); }

    // Writes the log again, for lines added after it was written.
    bool Rewrite(const std::string& text) {
        written_ = false;
        return Write(text);
    }

private:
    std::optional<std::string> path_;
    bool preview_;
    bool written_ = false;
};

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

int Run(const app::Options& options, const char* argv0) {
    // Everything the user named is checked before anything is opened or
    // changed.
#ifndef _WIN32
    const std::filesystem::path& machine = options.machineDir;
    app::CheckMachineDirectory(options.machineSource, machine);
    const auto registered = posix::PosixPlatform::RegisteredDirectory(machine, "TViewer");
    if (options.exeDir && !posix::PosixPlatform::HasDirectory(machine, *options.exeDir))
        throw app::UsageError("--exe-dir " + *options.exeDir +
                              ": no such directory in the machine " + machine.string() +
                              (registered ? " (its settings store registers Tavori Viewer in " +
                                                *registered + "; leave out --exe-dir to use that)"
                                          : ""));
#endif
    if (options.log)
        app::CheckWritableFile("--log", *options.log);
    if (options.transcript)
        app::CheckWritableFile("--transcript", *options.transcript);
    if (options.answers)
        app::CheckReadableFile("--answers", *options.answers);

    auto transcript = OpenTranscript(options.transcript);
    if (transcript && options.preview)
        transcript->Preview("a preview: nothing is changed; each change the run would make is "
                            "recorded as a change event");
    StatusLogFile logFile(options.log, options.preview);
    auto finish = [&](int code) {
        if (transcript)
            transcript->End(code);
        return code;
    };
    // A quiet run that ends before any removal: said on standard error and,
    // as its whole status log, in the log file.
    auto endQuietly = [&](int code, const std::string& said, const std::string& logged) {
        std::cerr << "kestovan: " << said << "\n";
        const bool kept = logFile.WriteReason(logged);
        return finish(kept ? code : ExitRuntimeError);
    };
    auto nothingToRemove = [&](const std::string& why) {
        return endQuietly(app::QuietExit.nothing, "nothing to remove: " + why,
                          "nothing to remove: " + why);
    };
    std::optional<std::string> noInstallation; // leftovers: why no installation is known

#ifdef _WIN32
    (void)argv0;
    win32::Win32Platform platform;
#else
    // An administrator's run finds the installation where the machine's
    // settings store registers it; so does an interactive run when this
    // program does not lie inside the machine.
    std::optional<std::string> exeDir = options.exeDir;
    const bool discovered = !exeDir && options.quiet;
    if (!exeDir && options.list) // the listing needs no directory of its own
        exeDir = registered.value_or("C:\\");
    if (discovered) {
        exeDir = registered;
        if (!exeDir) {
            // leftovers: what is left of an installation is looked for from
            // the drive's root.
            noInstallation =
                "the settings store of " + machine.string() + " registers no Tavori Viewer";
            exeDir = "C:\\";
        }
    }
    if (!exeDir &&
        !posix::PosixPlatform::WindowsPathOf(machine, app::ExecutablePath(argv0).parent_path())) {
        if (!registered)
            throw app::UsageError(
                "the settings store of " + machine.string() +
                " registers no Tavori Viewer: give --exe-dir with the viewer's directory, for "
                "example --exe-dir 'C:\\Program Files\\Tavori Viewer'");
        exeDir = registered;
        std::cerr << "kestovan: starting in " << *exeDir << ", where the settings store of "
                  << machine.string() << " registers Tavori Viewer (give --exe-dir to start "
                  << "elsewhere)\n";
    }
    // Runs that change nothing only look whether another copy holds the
    // machine.
    const auto lockMode = options.list || options.preview ? posix::PosixPlatform::LockMode::LookOnly
                                                          : posix::PosixPlatform::LockMode::Take;
    posix::PosixPlatform platform(machine, exeDir, app::ExecutablePath(argv0), lockMode);
#endif

    if (options.list) {
#ifdef _WIN32
        const std::string startDir = platform.AppPath();
#else
        const std::string startDir = options.exeDir.value_or(std::string());
#endif
        const Discovery found = DiscoverApplications(platform, startDir);
        const ViewerTraces traces = DiscoverViewerTraces(platform, found, startDir);
        std::cout << (options.json ? DiscoveryJson(found, &traces)
                                   : DiscoveryText(found) + TracesText(traces));
        return ExitEnded;
    }

    // A preview makes the whole run against a layer that changes nothing and
    // lists each change the run would make, naming the file it would really
    // change.
    RecordingPlatform preview(platform, [&](const std::string& change) {
        std::cout << change << "\n" << std::flush;
        if (transcript)
            transcript->Change(change);
    });
    preview.NameChangesAsSeenThrough(platform.SystemView());
    PlatformServices& services = options.preview ? static_cast<PlatformServices&>(preview)
                                                 : static_cast<PlatformServices&>(platform);

    if (options.quiet && platform.AppPrevInstance())
        return endQuietly(app::QuietExit.anotherCopy,
                          "another copy of KESTOVAN is running on this machine",
                          "not run: another copy of KESTOVAN is running on this machine");

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
                throw app::UsageError("--answers " + *options.answers + ": cannot be read");
            answers = &answersFile;
        }
        frontEnd =
            std::make_unique<forms::UnattendedFrontEnd>(*answers, *options.answers, statusLog);
    } else {
#ifdef _WIN32
        auto windows = std::make_unique<forms::Win32FrontEnd>();
        platform.WhileBusy([front = windows.get()] { front->AnswerMessages(); });
        frontEnd = std::move(windows);
#else
        frontEnd = std::make_unique<forms::ConsoleFrontEnd>(std::cin, std::cout, TypedLineWaiting(),
                                                            options.preview);
        platform.ShareClipboardWithDesktop(
            [](const std::string& notice) { std::cout << "  " << notice << "\n"; });
#endif
    }

    forms::FormRuntime runtime(services, *frontEnd, transcript.get());
    MainModule module(services, runtime);
    modulePointer = &module;

    // --- leftovers: every quiet run knows the traces before it starts, may
    // remove what is left of an installation that is gone, and takes its
    // exit status from discovering again at its end.
    std::optional<app::QuietLeftovers> leftovers;
    if (options.quiet)
#ifdef _WIN32
        leftovers.emplace(services, platform.AppPath());
#else
        leftovers.emplace(services, exeDir.value_or(std::string()));
#endif
    // The verified status of a run whose outcome the program state tells;
    // the traces left are added to the log.
    auto verified = [&](int outcome, std::string& log) {
        const bool finished = module.State.StatusLog.find(">>  Finished removing Tavori Viewer "
                                                          "files...") != std::string::npos;
        if (finished && outcome != app::QuietExit.stopped)
            leftovers->FollowUp(module);
        log = module.State.StatusLog;
        return leftovers->Verify(outcome, log, std::cerr);
    };
    // --- end leftovers

    // Ctrl-C and SIGTERM press the progress dialog's Cancel while the
    // removal runs, and only once.
    app::StopSignals stopSignals;
    bool cancelPressed = false;
    runtime.OnDoEvents([&] {
        if (cancelPressed || stopSignals.Received() == 0)
            return;
        forms::Form* progress = runtime.FindLoaded("RemoveWaitFrm");
        if (progress == nullptr || !progress->IsVisible())
            return;
        cancelPressed = true;
        if (const forms::Control* cancel = progress->Find("CmdCancel");
            cancel != nullptr && cancel->Enabled)
            progress->Raise("CmdCancel", "Click");
    });

    if (transcript)
        platform.OnClipboardSet([&](const std::string& text) { transcript->Clipboard(text); });
    bool logKept = true;
    runtime.OnShow([&](forms::Form& form) {
        if (form.Name() == "RemoveWaitFrm")
            stopSignals.SetRemovalUnderway(true);
        if (form.Name() != "RemoveDoneFrm")
            return;
        logKept = logFile.Write(module.State.StatusLog) && logKept;
        // The records are written: a signal ends the program again.
        stopSignals.SetRemovalUnderway(false);
    });

    // A quiet run's log is written at its end when no status report wrote it.
    auto keepQuietLog = [&](const std::string& whyWhenEmpty) {
        if (!options.quiet || logFile.Written())
            return;
        const std::string& log = module.State.StatusLog;
        logKept = (log.empty() ? logFile.WriteReason(whyWhenEmpty) : logFile.Write(log)) && logKept;
    };
    auto ended = [&] {
        if (!options.quiet) {
            if (stopSignals.Received() != 0)
                return finish(stopSignals.ExitStatus());
            return finish(logKept ? ExitEnded : ExitRuntimeError);
        }
        const int outcome = QuietOutcome(module.State);
        // The policy answers every question but one way: a run it answered
        // that ended before any removal was refused at start-up.
        if (outcome == app::QuietExit.stopped && !options.answers && stopSignals.Received() == 0)
            return nothingToRemove("KESTOVAN does not work from the Windows or the system "
                                   "directory (" +
                                   module.State.StartPath + ")");
        // leftovers: the status verified, the traces left added to the log.
        const std::string shown = module.State.StatusLog;
        std::string log;
        const int checked = verified(outcome, log);
        if (log != shown)
            logKept = (logFile.Written() ? logFile.Rewrite(log) : logFile.Write(log)) && logKept;
        keepQuietLog(stopSignals.Received() != 0 ? "stopped by a signal before the removal began"
                                                 : "stopped before the removal began");
        return finish(logKept || checked != app::QuietExit.removed ? checked : ExitRuntimeError);
    };
    // leftovers: a quiet run without an installation to remove removes what
    // is left of one, or has nothing to remove.
    auto leftoversOr = [&](const std::string& why) {
        if (!leftovers || !leftovers->FoundBefore())
            return nothingToRemove(why);
        leftovers->Remove(module);
        std::string log;
        const int code = verified(QuietOutcome(module.State), log);
        logKept = logFile.Write(log) && logKept;
        return finish(logKept || code != app::QuietExit.removed ? code : ExitRuntimeError);
    };
    try {
#ifndef _WIN32
        // A registered directory that is, or leads to, the system's own is
        // never the installation.
        if (discovered && !noInstallation &&
            SystemDirectories(services, module.GetWindowsDir(), module.GetSystemDir())
                .HoldsSystemFiles(*exeDir))
            return nothingToRemove("the settings store registers Tavori Viewer in " + *exeDir +
                                   ", which is or leads to a system directory");
#endif
        if (noInstallation) // leftovers
            return leftoversOr(*noInstallation);
        module.Main();
        frontEnd->RunEventLoop(runtime);
        return ended();
    } catch (const forms::EndProgram&) {
        return ended();
    } catch (const app::NothingToRemove& nothing) {
        return leftoversOr(nothing.what()); // leftovers
    } catch (const RuntimeError& error) {
        const std::string report =
            "Run-time error '" + std::to_string(error.Number()) + "':\r\n\r\n" + error.Text();
        std::cerr << "KESTOVAN: Run-time error '" << error.Number() << "':\n\n"
                  << error.Text() << "\n";
#ifdef _WIN32
        // A windowed program's standard error is seen by nobody: the report
        // is the run-time's message box.
        if (!options.answers)
            frontEnd->MsgBox(report, forms::MbOkCritical, "KESTOVAN");
#endif
        if (options.quiet && !logFile.Written())
            logFile.Write(module.State.StatusLog + report + "\r\n");
        return finish(ExitRuntimeError);
    } catch (const forms::AnswersError& error) {
        std::cerr << "kestovan: " << error.what() << "\n";
        if (options.quiet && !logFile.Written())
            logFile.Write(module.State.StatusLog + "KESTOVAN: stopped: " + error.what() + "\r\n");
        return finish(options.quiet ? app::QuietExit.badArguments : ExitUsage);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::optional<app::Options> parsed;
    try {
        parsed = app::ParseCommandLine(argc, argv);
        const app::Options& options = *parsed;
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
        // A refused quiet run still leaves its log, where the log can be kept.
        if (parsed && parsed->quiet && parsed->log) {
            try {
                app::CheckWritableFile("--log", *parsed->log);
                StatusLogFile(parsed->log, parsed->preview)
                    .WriteReason(std::string("refused: ") + error.what());
            } catch (const app::UsageError&) {
            }
        }
        return app::AsksForQuiet(argc, argv) ? app::QuietExit.badArguments : ExitUsage;
    } catch (const RuntimeError& error) {
        std::cerr << "kestovan: " << error.Text() << "\n";
        return app::AsksForQuiet(argc, argv) ? app::QuietExit.badArguments : ExitUsage;
    }
}
