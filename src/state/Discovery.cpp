#include "state/Discovery.h"
#include "state/Lookup.h"

#include "platform/RuntimeError.h"
#include "state/GroupList.h"
#include "state/Text.h"
#include "state/Traces.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

namespace kestovan {

namespace {

struct KnownApplication {
    const char* name;
    const char* settingsName;
};
constexpr std::array<KnownApplication, 3> Applications{{
    {"Tavori Viewer", "TViewer"},
    {"Tavori Sound", "TSound"},
    {"Tavori Notes", "TNotes"},
}};
constexpr std::array<const char*, 3> ClassKeys{"TavoriViewer", ".tvs", "TavoriViewer.Image"};
constexpr const char* Shortcut = "Tavori Viewer.lnk";

std::string ProfileValue(PlatformServices& platform, const std::string& file, const char* key) {
    std::string buffer(128, ' ');
    const auto count = platform.GetPrivateProfileStringA("Remove", key, "", buffer, 128, file);
    return Trim(std::string_view(buffer).substr(0, std::min<std::size_t>(count, 128)));
}

// The groups Program Manager lists; nullopt when it cannot be asked.
std::optional<std::vector<std::string>> ProgramGroups(PlatformServices& platform) {
    return Ask(std::optional<std::vector<std::string>>(), [&] {
        return std::optional(
            SplitGroupList(platform.DdeRequest("ProgMan|Progman", "PROGMAN"), 201));
    });
}

} // namespace

Discovery DiscoverApplications(PlatformServices& platform, const std::string& startDir) {
    Discovery discovery;
    std::vector<std::string> directories;
    if (!startDir.empty())
        directories.push_back(WithTrailingBackslash(startDir));
    for (const KnownApplication& known : Applications) {
        DiscoveredApplication app;
        app.name = known.name;
        const std::string registered = Ask(std::string(), [&] {
            return platform.GetSetting(known.settingsName, "Settings", "EXEPath", "");
        });
        if (!registered.empty()) {
            app.registeredPath = registered;
            app.directory = WithTrailingBackslash(registered);
            if (std::none_of(directories.begin(), directories.end(), [&](const std::string& d) {
                    return SameIgnoringCase(d, app.directory);
                }))
                directories.push_back(app.directory);
        }
        discovery.applications.push_back(std::move(app));
    }

    const auto groups = ProgramGroups(platform);
    for (const std::string& directory : directories) {
        const std::string file = directory + "tavori.ini";
        if (!Exists(platform, file, attr::Normal | attr::Hidden | attr::System))
            continue;
        for (int slot = 1; slot <= 3; ++slot) {
            const std::string programKey = "RemoveProgram" + std::to_string(slot);
            const std::string name = ProfileValue(platform, file, programKey.c_str());
            auto app = std::find_if(discovery.applications.begin(), discovery.applications.end(),
                                    [&](const DiscoveredApplication& a) { return a.name == name; });
            if (app == discovery.applications.end() || app->preferencesFile)
                continue;
            app->preferencesFile = file;
            app->preferencesKey = programKey;
            app->group = ProfileValue(platform, file, ("StartMenu" + std::to_string(slot)).c_str());
            if (app->directory.empty())
                app->directory = directory;
        }
    }

    for (DiscoveredApplication& app : discovery.applications) {
        if (!app.directory.empty()) {
            app.directoryExists = Exists(platform, app.directory, attr::Directory);
            app.holdsViewerExecutable =
                app.directoryExists &&
                Exists(platform, app.directory + "TVIEWER.EXE", attr::Normal);
        }
        if (!app.group.empty() && groups)
            app.groupExists = std::find(groups->begin(), groups->end(), app.group) != groups->end();
    }

    for (const char* key : ClassKeys)
        if (platform.RegKeyExists(hkey::ClassesRoot, key))
            discovery.classKeys.push_back(std::string("HKEY_CLASSES_ROOT\\") + key);
    for (int folder : {0, 11}) {
        std::string path;
        const long found = Ask(0L, [&] { return platform.GetFolderPath(0, folder, path); });
        if (found != 0 && Exists(platform, WithTrailingBackslash(path) + Shortcut, attr::Normal))
            discovery.shortcuts.push_back(WithTrailingBackslash(path) + Shortcut);
    }
    return discovery;
}

std::string DiscoveryText(const Discovery& discovery) {
    std::string text;
    for (const DiscoveredApplication& app : discovery.applications) {
        if (!app.registeredPath && !app.preferencesFile) {
            text += app.name + ": not found\n";
            continue;
        }
        text += app.name + "\n";
        text += "  settings store:   " +
                (app.registeredPath ? *app.registeredPath : std::string("(not registered)")) + "\n";
        text += "  directory:        " + app.directory +
                (app.directoryExists
                     ? std::string(" (exists") + (app.holdsViewerExecutable ? ", holds TVIEWER.EXE)"
                                                                            : ", no TVIEWER.EXE)")
                     : std::string(" (missing)")) +
                "\n";
        text += "  tavori.ini:       " +
                (app.preferencesFile ? *app.preferencesFile + " (" + app.preferencesKey + ")"
                                     : std::string("(does not name it)")) +
                "\n";
        if (!app.group.empty())
            text += "  Start Menu group: \"" + app.group + "\" (" +
                    (!app.groupExists   ? "Program Manager not answering"
                     : *app.groupExists ? "exists"
                                        : "missing") +
                    ")\n";
    }
    auto list = [](const std::vector<std::string>& items) {
        std::string joined;
        for (const std::string& item : items)
            joined += "\n  " + item;
        return items.empty() ? std::string(" none") : joined;
    };
    text += "Class keys:" + list(discovery.classKeys) + "\n";
    text += "Shortcuts:" + list(discovery.shortcuts) + "\n";
    return text;
}

std::string DiscoveryJson(const Discovery& discovery, const ViewerTraces* traces) {
    using Json = nlohmann::ordered_json;
    Json apps = Json::array();
    for (const DiscoveredApplication& app : discovery.applications) {
        Json entry;
        entry["name"] = app.name;
        entry["found"] = app.registeredPath.has_value() || app.preferencesFile.has_value();
        entry["settingsPath"] = app.registeredPath ? Json(*app.registeredPath) : Json(nullptr);
        entry["directory"] = app.directory.empty() ? Json(nullptr) : Json(app.directory);
        entry["directoryExists"] = app.directoryExists;
        entry["holdsViewerExecutable"] = app.holdsViewerExecutable;
        entry["preferencesFile"] = app.preferencesFile ? Json(*app.preferencesFile) : Json(nullptr);
        entry["preferencesKey"] =
            app.preferencesKey.empty() ? Json(nullptr) : Json(app.preferencesKey);
        entry["group"] = app.group.empty() ? Json(nullptr) : Json(app.group);
        entry["groupExists"] = app.groupExists ? Json(*app.groupExists) : Json(nullptr);
        apps.push_back(std::move(entry));
    }
    Json all;
    all["applications"] = std::move(apps);
    all["classKeys"] = discovery.classKeys;
    all["shortcuts"] = discovery.shortcuts;
    if (traces != nullptr)
        all["traces"] = Json::parse(TracesJson(*traces));
    return all.dump(2) + "\n";
}

} // namespace kestovan
