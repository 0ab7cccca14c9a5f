// KESTOVAN: removes a Tavori application from a machine.

#include "app/CommandLine.h"
#include "dialogs/RemoveDoneFrm.h"
#include "forms/FormRuntime.h"
#include "forms/unattended/UnattendedFrontEnd.h"
#include "platform/RuntimeError.h"
#include "state/MainModule.h"
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

int Run(const app::Options& options, const char* argv0) {
#ifdef _WIN32
    (void)argv0;
    win32::Win32Platform platform;
#else
    std::filesystem::path machine = options.machineDir;
    if (!posix::PosixPlatform::IsMachineDirectory(machine))
        throw app::UsageError("not a machine directory (no drive C:): " + machine.string());

    posix::PosixPlatform platform(machine, options.exeDir, app::ExecutablePath(argv0));
#endif
    auto transcript = OpenTranscript(options.transcript);

    std::ifstream answersFile;
    std::unique_ptr<forms::FrontEnd> frontEnd;
    MainModule* modulePointer = nullptr;
    if (options.answers) {
        std::istream* answers = &std::cin;
        if (*options.answers != "-") {
            answersFile.open(*options.answers, std::ios::binary);
            if (!answersFile)
                throw app::UsageError("cannot read the answers file " + *options.answers);
            answers = &answersFile;
        }
        frontEnd = std::make_unique<forms::UnattendedFrontEnd>(
            *answers, *options.answers,
            [&modulePointer]() -> const std::string& { return modulePointer->State.StatusLog; });
    } else {
#ifdef _WIN32
        frontEnd = std::make_unique<forms::Win32FrontEnd>();
#else
        frontEnd =
            std::make_unique<forms::ConsoleFrontEnd>(std::cin, std::cout, TypedLineWaiting());
#endif
    }

    forms::FormRuntime runtime(platform, *frontEnd, transcript.get());
    MainModule module(platform, runtime);
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
    try {
        module.Main();
        frontEnd->RunEventLoop(runtime);
        return finish(ExitEnded);
    } catch (const forms::EndProgram&) {
        return finish(ExitEnded);
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
        return finish(ExitUsage);
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
            std::cout << "kestovan 1.5.23\n";
            return ExitEnded;
        }
        return Run(options, argv[0]);
    } catch (const app::UsageError& error) {
        std::cerr << "kestovan: " << error.what() << "\n";
        return ExitUsage;
    } catch (const RuntimeError& error) {
        std::cerr << "kestovan: " << error.Text() << "\n";
        return ExitUsage;
    }
}
