#pragma once

#include "platform/PlatformServices.h"
#include "state/Discovery.h"

#include <optional>
#include <string>
#include <vector>

namespace kestovan {

// One thing of Tavori Viewer found on the machine.
enum class TraceKind {
    Settings,        // the settings store's TViewer\Settings
    ProgramFile,     // a file of the installation in its directory
    PreferencesFile, // a tavori.ini that names the viewer
    StartMenuGroup,  // a Program Manager group of the viewer
    Shortcut,        // "Tavori Viewer.lnk" on the desktop or the Start Menu
    SystemFile,      // the screen saver's files in the system directory
    WindowsFile,     // setup and screen-saver leftovers, the wallpaper, in the Windows directory
    ClassKey,        // HKEY_CLASSES_ROOT\TavoriViewer, .tvs, TavoriViewer.Image
    Association,     // an image extension whose default names a class of the viewer
    TemporaryFile,   // Untitled.BMP
};

struct Trace {
    TraceKind kind;
    std::string where; // a Windows path, a key, a group name
    std::string state; // what was found, in a few words
};

// Every trace of Tavori Viewer, read without changing anything.  What the
// removal keeps as the user's own (slide shows, pictures, sounds, the
// current wallpaper, the folders holding them) and KESTOVAN.EXE are not
// traces.
struct ViewerTraces {
    std::string directory;      // the installation directory looked at ("" = none known)
    std::string directoryState; // "missing", "exists, holds TVIEWER.EXE", "exists, no TVIEWER.EXE"
    bool recorded = false;      // a tavori.ini in that directory names the viewer
    std::vector<Trace> items;

    // The groups among the items that may be deleted without a record: they
    // hold nothing but the viewer's own shortcuts and are no links.
    std::vector<std::string> removableGroups;

    bool Empty() const { return items.empty(); }
    bool Has(TraceKind kind) const;
    bool Has(TraceKind kind, const std::string& where) const;
};

// Where the traces are looked for: the installation directory is the one
// the records give for the viewer, else startDir.
ViewerTraces DiscoverViewerTraces(PlatformServices& platform, const Discovery& applications,
                                  const std::string& startDir);

// One line a trace: "  <what> <where> (<state>)".
std::string TraceLine(const Trace& trace);
// The traces as a section of the listing, and as the JSON value of "traces".
std::string TracesText(const ViewerTraces& traces);
std::string TracesJson(const ViewerTraces& traces);

} // namespace kestovan
