#include "state/MainModule.h"

#include <array>

namespace kestovan {

namespace {

// How a catalogue entry is tested and reported.
enum class EntryKind {
    Installed,       // belongs in the program directory; missing is a problem
    HiddenIndex,     // hidden file, removed when present
    SharedRuntime,   // removed from the program directory only; a note otherwise
    WindowsLeftover, // setup leftover in the Windows directory
};

struct CatalogueEntry {
    const char* file;
    EntryKind kind;
    const char* removedLine;
    const char* missingLine; // nullptr: nothing is logged when missing
};

constexpr std::array<CatalogueEntry, 21> Catalogue{{
    {"TVIEWER.EXE", EntryKind::Installed,
     "(+) Main Tavori Viewer progam (TVIEWER.EXE) was REMOVED.",
     "(-) Main Tavori Viewer progam (TVIEWER.EXE) could not be found."},
    {"TVIEWER.HLP", EntryKind::Installed, "(+) The help file (TVIEWER.HLP) was REMOVED.",
     "(-) The help file (TVIEWER.HLP) could not be found."},
    {"TVIEWER.GID", EntryKind::HiddenIndex,
     "(*) The help file index data (TVIEWER.GID, a hidden file) was REMOVED.", nullptr},
    {"README.TXT", EntryKind::Installed, "(+) The readme file (README.TXT) was REMOVED.",
     "(-) The readme file (README.TXT) could not be found."},
    {"TVS.ICO", EntryKind::Installed, "(+) The slide show icon file (TVS.ICO) was REMOVED.",
     "(-) The slide show icon file (TVS.ICO) could not be found."},
    {"TVIEWER.ICO", EntryKind::Installed,
     "(+) The Tavori Viewer images icon file (TVIEWER.ICO) was REMOVED.",
     "(-) The Tavori Viewer images icon file (TVIEWER.ICO) could not be found."},
    {"TIPOFDAY.DAT", EntryKind::Installed,
     "(+) The tip of the day data file (TIPOFDAY.DAT) was REMOVED.",
     "(-) The tip of the day data file (TIPOFDAY.DAT) could not be found."},
    {"MSVBVM50.DLL", EntryKind::SharedRuntime,
     "(*) The run-time file MSVBVM50.DLL was REMOVED from the program directory.", nullptr},
    {"TVIEWLNK.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file TVIEWLNK.DLL was REMOVED from the program directory.",
     nullptr},
    {"GIF89.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file GIF89.DLL was REMOVED from the program directory.", nullptr},
    {"NVIEWLIB.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file NVIEWLIB.DLL was REMOVED from the program directory.",
     nullptr},
    {"OLEAUT32.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file OLEAUT32.DLL was REMOVED from the program directory.",
     nullptr},
    {"OLEPRO32.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file OLEPRO32.DLL was REMOVED from the program directory.",
     nullptr},
    {"ASYCFILT.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file ASYCFILT.DLL was REMOVED from the program directory.",
     nullptr},
    {"COMCAT.DLL", EntryKind::SharedRuntime,
     "(*) The run-time dependency file COMCAT.DLL was REMOVED from the program directory.",
     nullptr},
    {"STDOLE2.TLB", EntryKind::SharedRuntime,
     "(*) The run-time dependency file STDOLE2.TLB was REMOVED from the program directory.",
     nullptr},
    {"SETUP.EXE", EntryKind::Installed,
     "(+) The Tavori Viewer setup bootstrap (SETUP.EXE) was REMOVED.",
     "(-) The Tavori Viewer setup bootstrap (SETUP.EXE) was not REMOVED, it could not be found."},
    {"SETUP.LST", EntryKind::Installed,
     "(+) The Tavori Viewer setup program list file (SETUP.LST) was REMOVED.",
     "(-) The Tavori Viewer setup program list file (SETUP.LST) was not REMOVED, it could not be "
     "found."},
    {"SETUP1.EXE", EntryKind::Installed,
     "(+) The Tavori Viewer main setup program (SETUP1.EXE) was REMOVED.",
     "(-) The Tavori Viewer main setup program (SETUP1.EXE) was not REMOVED, it could not be "
     "found."},
    {"SETUPTMP.EXE", EntryKind::WindowsLeftover,
     "(*) The Tavori Viewer main setup program temp file (SetupTMP.EXE) was REMOVED.", nullptr},
    {"SETUP.INI", EntryKind::Installed,
     "(+) The Tavori Viewer setup program initialization file (SETUP.INI) was REMOVED.",
     "(-) The Tavori Viewer setup program initialization file (SETUP.INI) was not REMOVED, it "
     "could not be found."},
}};

} // namespace

std::string MainModule::NotRemovedLine(const std::string& path) {
    return "(-) " + path + " was not REMOVED.";
}

bool MainModule::TestPresent(const std::string& path, int attributes) {
    // A failing test goes on as if the file were there.
    bool present = true;
    TryContinueAnyway([&] { present = !platform_.Dir(path, attributes).empty(); });
    return present;
}

bool MainModule::TestAbsent(const std::string& path, int attributes) {
    // A failing test goes on as if the file were missing.
    bool absent = true;
    TryContinueAnyway([&] { absent = platform_.Dir(path, attributes).empty(); });
    return absent;
}

void MainModule::DeleteAndReport(const std::string& path, const std::string& removedLine) {
    // A deletion that failed is never reported as a removal.
    if (TryContinueAnyway([&] { platform_.Kill(path); }))
        AppendLogLine(removedLine);
    else
        AppendLogLine(NotRemovedLine(path));
}

void MainModule::RemoveProgramFiles() {
    auto& s = State;
    for (const CatalogueEntry& entry : Catalogue) {
        const std::string name = entry.file;
        switch (entry.kind) {
        case EntryKind::Installed: {
            const std::string path = s.RemovePath + name;
            if (TestAbsent(path, attr::Normal)) {
                s.ProblemsFound = True;
                AppendLogLine(entry.missingLine);
                if (name == "TVIEWER.EXE") {
                    s.Answer = static_cast<std::int16_t>(
                        MsgBox("The main Tavori Viewer executable could not be found." + s.CrLf2 +
                                   "Attempt to locate files used by Tavori Viewer anyway?",
                               forms::MbYesNoQuestion));
                    if (s.Answer == AnswerNo)
                        throw RunEnds{};
                }
            } else {
                DeleteAndReport(path, entry.removedLine);
            }
            break;
        }
        case EntryKind::HiddenIndex: {
            const std::string path = s.RemovePath + name;
            if (TestPresent(path, attr::Hidden)) {
                TryContinueAnyway([&] { platform_.SetAttr(path, attr::Normal); });
                DeleteAndReport(path, entry.removedLine);
            }
            break;
        }
        case EntryKind::SharedRuntime: {
            const std::string path = s.RemovePath + name;
            if (TestPresent(path, attr::Normal))
                DeleteAndReport(path, entry.removedLine);
            else
                AppendLogLine("(*) " + name + " can't be removed from your " + GetSystemDir() +
                              " directory, it is a shared file that may be in use by other "
                              "applications on your system.");
            break;
        }
        case EntryKind::WindowsLeftover: {
            const std::string path = GetWindowsDir() + name;
            if (TestPresent(path, attr::Normal))
                DeleteAndReport(path, entry.removedLine);
            break;
        }
        }
        Checkpoint();
    }
}

} // namespace kestovan
