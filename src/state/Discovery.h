#pragma once

#include "platform/PlatformServices.h"

#include <optional>
#include <string>
#include <vector>

namespace kestovan {

struct ViewerTraces;

// What the machine holds of the Tavori applications, read without changing
// anything: where the install records place each application, and the
// leftovers a removal of the viewer would look for.
struct DiscoveredApplication {
    std::string name;                          // "Tavori Viewer"
    std::optional<std::string> registeredPath; // the settings store's EXEPath, as stored
    std::string directory;                     // where the records place it ("" = nowhere)
    bool directoryExists = false;
    bool holdsViewerExecutable = false;         // TVIEWER.EXE in that directory
    std::optional<std::string> preferencesFile; // a tavori.ini that names it
    std::string preferencesKey;                 // "RemoveProgram2"
    std::string group;                          // its Start Menu group, "" when none recorded
    std::optional<bool> groupExists;            // nullopt: Program Manager could not be asked
};

struct Discovery {
    std::vector<DiscoveredApplication> applications; // the three, in their order
    std::vector<std::string> classKeys;              // the viewer's class keys present
    std::vector<std::string> shortcuts;              // "Tavori Viewer.lnk" files present
};

// Looks at the settings store, at tavori.ini in every registered directory
// and in startDir (when not empty), at Program Manager's groups, the class
// keys and the two shortcuts.
Discovery DiscoverApplications(PlatformServices& platform, const std::string& startDir);

// The discovery as text for a person, and as JSON.
std::string DiscoveryText(const Discovery& discovery);
// With traces, the JSON also holds them as "traces".
std::string DiscoveryJson(const Discovery& discovery, const ViewerTraces* traces = nullptr);

} // namespace kestovan
