#include "state/Traces.h"
#include "state/Lookup.h"
#include "state/ViewerFiles.h"

#include "platform/RuntimeError.h"
#include "state/GroupList.h"
#include "state/SystemDirectories.h"
#include "state/Text.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

namespace kestovan {

namespace {

using viewer::Handler;
using viewer::HandlerData;
using viewer::HandlerSetup;
using viewer::ViewerImageClass;
using viewer::Wallpaper;

constexpr const char* Viewer = "Tavori Viewer";
constexpr const char* ShortcutName = "Tavori Viewer.lnk";
constexpr const char* ViewerClass = "TavoriViewer";
constexpr const char* TemporaryFile = "Untitled.BMP";
constexpr const char* SettingsKey =
    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\TViewer\\Settings";

// The files of the installation in its directory: the catalogue (without
// the setup leftover of the Windows directory), the screen saver's copies
// and the archives.  Slide shows, pictures and sounds are the user's.
constexpr std::array<const char*, 33> ProgramFiles{
    "TVIEWER.EXE",  "TVIEWER.HLP",  "TVIEWER.GID",  "README.TXT",   "TVS.ICO",      "TVIEWER.ICO",
    "TIPOFDAY.DAT", "MSVBVM50.DLL", "TVIEWLNK.DLL", "GIF89.DLL",    "NVIEWLIB.DLL", "OLEAUT32.DLL",
    "OLEPRO32.DLL", "ASYCFILT.DLL", "COMCAT.DLL",   "STDOLE2.TLB",  "SETUP.EXE",    "SETUP.LST",
    "SETUP1.EXE",   "SETUP.INI",    Handler,        HandlerSetup,   HandlerData,    "TVIEW105.ZIP",
    "TVIEW11S.ZIP", "TVIEW11R.ZIP", "TVIEW12R.ZIP", "TVIEW12S.ZIP", "TVIEW13R.ZIP", "TVIEW13S.ZIP",
    "TVIEW14R.ZIP", "TVIEW15R.ZIP", "TVIEWER.ZIP"};

// The shortcuts the viewer's setup puts into its program group.
constexpr std::array<const char*, 3> GroupShortcuts{ShortcutName, "Tavori Viewer Help.lnk",
                                                    "Read Me.lnk"};

// The image extensions the viewer's setup associates with its class.
constexpr std::array<const char*, 10> ImageExtensions{".jpg", ".jpe", ".jpeg", ".jif", ".gif",
                                                      ".bmp", ".dib", ".rle",  ".wmf", ".emf"};

std::string WindowsDirectory(PlatformServices& platform) {
    std::string buffer(128, ' ');
    const auto count = std::min<std::uint32_t>(platform.GetWindowsDirectoryA(buffer, 128), 128);
    return count == 0 ? std::string() : WithTrailingBackslash(buffer.substr(0, count));
}

std::string SystemDirectory(PlatformServices& platform) {
    std::string buffer(255, ' ');
    if (platform.GetSystemDirectoryA(buffer, 255) < 1)
        return {};
    const std::size_t nul = buffer.find('\0');
    if (nul != std::string::npos)
        buffer.resize(nul);
    return WithTrailingBackslash(std::move(buffer));
}

std::string TemporaryDirectory(PlatformServices& platform) {
    std::string buffer(255, ' ');
    const std::uint32_t count = platform.GetTempPathA(255, buffer);
    if (count == 0)
        return {};
    return WithTrailingBackslash(
        Trim(std::string_view(buffer).substr(0, std::min<std::size_t>(count, buffer.size()))));
}

// True when path is the desktop's wallpaper (compared by short name, as the
// removal's wallpaper step does).
bool IsCurrentWallpaper(PlatformServices& platform, const std::string& path) {
    std::string buffer(128, ' ');
    const auto count =
        platform.GetPrivateProfileStringA("Desktop", "Wallpaper", "", buffer, 128, "win.ini");
    const std::string value =
        Trim(std::string_view(buffer).substr(0, std::min<std::size_t>(count, 128)));
    if (value.empty() || value == "(None)")
        return false;
    std::string shortPath(300, ' ');
    const auto length = platform.GetShortPathNameA(path, shortPath, 300);
    if (length == 0)
        return false;
    return UCase(Trim(std::string_view(shortPath).substr(
               0, std::min<std::size_t>(length, shortPath.size())))) == UCase(value);
}

bool NamesViewerClass(const std::string& className) {
    return SameIgnoringCase(className, ViewerClass) ||
           SameIgnoringCase(className, ViewerImageClass);
}

const char* KindName(TraceKind kind) {
    switch (kind) {
    case TraceKind::Settings: return "settings";
    case TraceKind::ProgramFile: return "program file";
    case TraceKind::PreferencesFile: return "preferences file";
    case TraceKind::StartMenuGroup: return "Start Menu group";
    case TraceKind::Shortcut: return "shortcut";
    case TraceKind::SystemFile: return "system directory file";
    case TraceKind::WindowsFile: return "Windows directory file";
    case TraceKind::ClassKey: return "class key";
    case TraceKind::Association: return "association";
    case TraceKind::TemporaryFile: return "temporary file";
    }
    return "trace";
}

} // namespace

bool ViewerTraces::Has(TraceKind kind) const {
    return std::any_of(items.begin(), items.end(),
                       [&](const Trace& trace) { return trace.kind == kind; });
}

bool ViewerTraces::Has(TraceKind kind, const std::string& where) const {
    return std::any_of(items.begin(), items.end(), [&](const Trace& trace) {
        return trace.kind == kind && SameIgnoringCase(trace.where, where);
    });
}

ViewerTraces DiscoverViewerTraces(PlatformServices& platform, const Discovery& applications,
                                  const std::string& startDir) {
    ViewerTraces traces;
    const DiscoveredApplication* viewer = nullptr;
    for (const DiscoveredApplication& app : applications.applications)
        if (app.name == Viewer)
            viewer = &app;
    const std::string start = startDir.empty() ? std::string() : WithTrailingBackslash(startDir);
    const std::string windowsDir = WindowsDirectory(platform);
    const std::string systemDir = SystemDirectory(platform);
    const SystemDirectories system(platform, windowsDir, systemDir);
    auto add = [&](TraceKind kind, std::string where, std::string state) {
        traces.items.push_back(Trace{kind, std::move(where), std::move(state)});
    };

    // The settings entry, and the directory it gives.
    if (viewer != nullptr && viewer->registeredPath)
        add(TraceKind::Settings, SettingsKey,
            "EXEPath " + *viewer->registeredPath +
                (viewer->directoryExists ? ", directory exists" : ", directory missing"));

    // The installation directory: where the records place the viewer, else
    // the start directory.  Never the system's own directories.
    traces.directory = viewer != nullptr && !viewer->directory.empty() ? viewer->directory : start;
    if (!traces.directory.empty()) {
        const bool exists = Exists(platform, traces.directory, attr::Directory);
        const bool holdsExecutable =
            exists && Exists(platform, traces.directory + "TVIEWER.EXE", attr::Normal);
        traces.directoryState = !exists           ? "missing"
                                : holdsExecutable ? "exists, holds TVIEWER.EXE"
                                                  : "exists, no TVIEWER.EXE";
        if (exists && !system.HoldsSystemFiles(traces.directory)) {
            for (const char* file : ProgramFiles)
                if (Exists(platform, traces.directory + file, attr::Normal | attr::Hidden))
                    add(TraceKind::ProgramFile, traces.directory + file, "present");
        }
    }
    if (viewer != nullptr && viewer->preferencesFile) {
        add(TraceKind::PreferencesFile, *viewer->preferencesFile,
            "names the viewer (" + viewer->preferencesKey + ")");
        traces.recorded =
            SameIgnoringCase(*viewer->preferencesFile, traces.directory + "tavori.ini");
    }

    // The Start Menu group: the recorded one, else every group holding the
    // viewer's shortcut.
    const auto groups = Ask(std::optional<std::vector<std::string>>(), [&] {
        return std::optional(
            SplitGroupList(platform.DdeRequest("ProgMan|Progman", "PROGMAN"), 201));
    });
    std::string programs;
    const bool programsKnown = Ask(0L, [&] { return platform.GetFolderPath(0, 2, programs); }) != 0;
    if (groups) {
        const std::string recorded = viewer != nullptr ? viewer->group : std::string();
        for (const std::string& group : *groups) {
            const bool isRecorded = !recorded.empty() && group == recorded;
            const std::string folder =
                programsKnown ? WithTrailingBackslash(programs) + group + "\\" : std::string();
            if (!isRecorded &&
                (folder.empty() || !Exists(platform, folder + ShortcutName, attr::Normal)))
                continue;
            if (isRecorded) {
                add(TraceKind::StartMenuGroup, group, "recorded in tavori.ini");
                continue;
            }
            const std::string upper = UCase(group);
            if (upper == "STARTUP" || upper == "ACCESSORIES") {
                add(TraceKind::StartMenuGroup, group, "a system folder, kept");
                continue;
            }
            if (platform.IsProgramGroupLink(group)) {
                add(TraceKind::StartMenuGroup, group, "is a link, kept");
                continue;
            }
            const auto entries = Ask(std::vector<std::string>(), [&] {
                return platform.DirAll(folder + "*", attr::Normal | attr::Hidden | attr::System |
                                                         attr::Directory);
            });
            const bool onlyViewers =
                std::all_of(entries.begin(), entries.end(), [](const std::string& name) {
                    return name == "." || name == ".." ||
                           std::any_of(
                               GroupShortcuts.begin(), GroupShortcuts.end(),
                               [&](const char* own) { return SameIgnoringCase(name, own); });
                });
            if (onlyViewers) {
                add(TraceKind::StartMenuGroup, group, "holds only the viewer's shortcuts");
                traces.removableGroups.push_back(group);
            } else {
                add(TraceKind::StartMenuGroup, group, "also holds other shortcuts, kept");
            }
        }
    }

    // The shortcuts on the desktop and at the top of the Start Menu.
    for (int folder : {0, 11}) {
        std::string path;
        const long found = Ask(0L, [&] { return platform.GetFolderPath(0, folder, path); });
        if (found != 0 &&
            Exists(platform, WithTrailingBackslash(path) + ShortcutName, attr::Normal))
            add(TraceKind::Shortcut, WithTrailingBackslash(path) + ShortcutName, "present");
    }

    // The screen saver in the system directory (as the program sees it), and
    // what setup left in the Windows directory.
    if (!systemDir.empty())
        for (const char* file : {Handler, HandlerSetup, HandlerData})
            if (Exists(platform, systemDir + file, attr::Normal))
                add(TraceKind::SystemFile, systemDir + file, "present");
    if (!windowsDir.empty()) {
        for (const char* file : {"SETUPTMP.EXE", Handler, HandlerSetup, HandlerData})
            if (Exists(platform, windowsDir + file, attr::Normal))
                add(TraceKind::WindowsFile, windowsDir + file, "present");
        const std::string wallpaper = windowsDir + Wallpaper;
        if (Exists(platform, wallpaper, attr::Normal) && !IsCurrentWallpaper(platform, wallpaper))
            add(TraceKind::WindowsFile, wallpaper, "present, not the desktop's wallpaper");
    }

    // The class keys, and the associations that lead to them.
    for (const char* key : {ViewerClass, ".tvs", ViewerImageClass})
        if (platform.RegKeyExists(hkey::ClassesRoot, key))
            add(TraceKind::ClassKey, std::string("HKEY_CLASSES_ROOT\\") + key, "present");
    for (const char* extension : ImageExtensions) {
        std::string className;
        if (platform.RegQueryDefault(hkey::ClassesRoot, extension, className) == ErrorSuccess &&
            NamesViewerClass(className))
            add(TraceKind::Association, std::string("HKEY_CLASSES_ROOT\\") + extension,
                "default \"" + className + "\"");
    }

    // The temporary files.
    const std::string tempDir = TemporaryDirectory(platform);
    std::vector<std::string> temporary;
    for (const std::string& dir : {tempDir, start})
        if (!dir.empty() && std::none_of(temporary.begin(), temporary.end(),
                                         [&](const auto& d) { return SameIgnoringCase(d, dir); }))
            temporary.push_back(dir);
    for (const std::string& dir : temporary)
        if (Exists(platform, dir + TemporaryFile, attr::Normal))
            add(TraceKind::TemporaryFile, dir + TemporaryFile, "present");
    return traces;
}

std::string TraceLine(const Trace& trace) {
    return std::string(KindName(trace.kind)) + " " +
           (trace.kind == TraceKind::StartMenuGroup ? "\"" + trace.where + "\"" : trace.where) +
           " (" + trace.state + ")";
}

std::string TracesText(const ViewerTraces& traces) {
    std::string text = "Traces of Tavori Viewer:";
    if (!traces.directory.empty())
        text +=
            "\n  installation directory " + traces.directory + " (" + traces.directoryState + ")";
    if (traces.items.empty())
        text += "\n  none";
    for (const Trace& trace : traces.items)
        text += "\n  " + TraceLine(trace);
    return text + "\n";
}

std::string TracesJson(const ViewerTraces& traces) {
    using Json = nlohmann::ordered_json;
    Json all;
    all["directory"] = traces.directory.empty() ? Json(nullptr) : Json(traces.directory);
    all["directoryState"] =
        traces.directoryState.empty() ? Json(nullptr) : Json(traces.directoryState);
    Json items = Json::array();
    for (const Trace& trace : traces.items)
        items.push_back(
            Json{{"kind", KindName(trace.kind)}, {"where", trace.where}, {"state", trace.state}});
    all["items"] = std::move(items);
    return all.dump();
}

} // namespace kestovan
