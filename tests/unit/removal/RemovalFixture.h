#pragma once

// A machine with Tavori Viewer installed, in memory, and the program module
// ready to run the removal the way the Remove command does.

#include "forms/FormRuntime.h"
#include "state/MainModule.h"
#include "support/MemoryPlatform.h"
#include "support/ScriptedFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestovan::memtest {

inline constexpr const char* ProgramDir = "C:\\Program Files\\Tavori Viewer\\";
inline constexpr const char* WindowsDir = "C:\\WINDOWS\\";
inline constexpr const char* SystemDir = "C:\\WINDOWS\\SYSTEM\\";
inline constexpr const char* DesktopDir = "C:\\WINDOWS\\Desktop";
inline constexpr const char* StartMenuDir = "C:\\WINDOWS\\Start Menu\\";

class RemovalTest : public ::testing::Test {
protected:
    MemoryPlatform platform;
    ScriptedFrontEnd front;
    forms::FormRuntime runtime{platform, front, nullptr};
    MainModule module{platform, runtime};
    ProgramState& s = module.State;

    RemovalTest() {
        platform.appPath = "C:\\Program Files\\Tavori Viewer";
        platform.AddDirectory(ProgramDir);
        platform.SetCurrentDirectory(ProgramDir);
        platform.calls.clear();
        s.CrLf = "\r\n";
        s.CrLf2 = "\r\n\r\n";
        s.StartPath = ProgramDir;
        s.RemovePath = ProgramDir;
        s.SelectedApp = "Tavori Viewer";
        front.defaultAnswer = forms::IdYes;
    }

    static std::string InProgram(const std::string& name) { return ProgramDir + name; }

    // The files of the program directory's catalogue, so that the steps
    // before the screen saver find everything in its place.
    void InstallProgramFiles() {
        for (const char* name :
             {"TVIEWER.EXE", "TVIEWER.HLP", "README.TXT", "TVS.ICO", "TVIEWER.ICO", "TIPOFDAY.DAT",
              "SETUP.EXE", "SETUP.LST", "SETUP1.EXE", "SETUP.INI"})
            platform.AddFile(InProgram(name));
    }

    // A complete installation of the viewer, as its setup leaves it.
    void InstallViewer() {
        InstallProgramFiles();
        platform.AddFile(std::string(SystemDir) + "Tavori Viewer Screen Saver.SCR");
        platform.AddFile(std::string(SystemDir) + "TVIEWSCR.DAT");
        SetPreference("RemoveProgram1", "Tavori Viewer");
        SetPreference("StartMenu1", "Tavori Software");
        s.RemoveProgram1 = "Tavori Viewer";
        s.StartMenu1 = "Tavori Software";
        s.ProgramCount = 1;
        platform.SetSetting("TViewer", "Settings", "EXEPath", ProgramDir);
        platform.AddRegKey("TavoriViewer", std::string("Tavori Viewer Slide Show"));
        platform.AddRegKey("TavoriViewer\\shell\\open\\command",
                           std::string("C:\\PROGRA~1\\TAVORI~1\\TVIEWER.EXE %1"));
        platform.AddRegKey(".tvs", std::string("TavoriViewer"));
        platform.AddRegKey("TavoriViewer.Image", std::string("Tavori Viewer Image"));
        platform.groups = {"Accessories", "Main", "StartUp", "Tavori Software"};
        platform.AddDirectory(DesktopDir);
        platform.AddDirectory(StartMenuDir);
        platform.shellFolders[0] = DesktopDir; // without its trailing backslash
        platform.shellFolders[11] = StartMenuDir;
        platform.AddFile(std::string(DesktopDir) + "\\Tavori Viewer.lnk");
        platform.AddFile(std::string(StartMenuDir) + "Tavori Viewer.lnk");
    }

    void SetPreference(const std::string& key, const std::string& value) {
        platform.SetProfileString(InProgram("tavori.ini"), "Remove", key, value);
    }

    void Run() { module.RemoveViewer(); }

    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        const std::string& log = s.StatusLog;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = log.find("\r\n", start);
            if (end == std::string::npos) {
                if (start < log.size())
                    lines.push_back(log.substr(start));
                return lines;
            }
            lines.push_back(log.substr(start, end - start));
            start = end + 2;
        }
    }

    bool Logged(const std::string& line) const {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // The step lines (those with a marker) from the first one that begins
    // with `first` to the end of the log.
    std::vector<std::string> StepLinesFrom(const std::string& first) const {
        std::vector<std::string> lines;
        bool taking = false;
        for (const std::string& line : LogLines()) {
            taking = taking || line.rfind(first, 0) == 0;
            if (taking && line.size() > 3 && line[0] == '(' && line[2] == ')')
                lines.push_back(line);
        }
        return lines;
    }

    std::vector<std::string> StepLinesWith(const std::string& text) const {
        std::vector<std::string> lines;
        for (const std::string& line : LogLines())
            if (line.find(text) != std::string::npos)
                lines.push_back(line);
        return lines;
    }

    bool Called(const std::string& call) const {
        return std::find(platform.calls.begin(), platform.calls.end(), call) !=
               platform.calls.end();
    }

    static constexpr const char* ContinuedLine =
        "(!) An unexpected error occurred, the KESTOVAN of Tavori Viewer was continued anyway.";
    static constexpr const char* CanceledBanner =
        ">>  The KESTOVAN of Tavori Viewer was canceled.  <<";
    static constexpr const char* FinishBanner =
        ">>  Finished removing Tavori Viewer files...  (Date/Time: 12/7/2026 3:04:05 PM)  <<";
};

} // namespace kestovan::memtest
