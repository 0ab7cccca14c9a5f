#include "dialogs/RemoveFrm.h"
#include "state/GroupList.h"
#include "state/MainModule.h"
#include "state/SystemDirectories.h"
#include "state/Text.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kestovan {

namespace {
constexpr const char* SettingsSection = "Settings";
constexpr const char* SettingsKey = "EXEPath";
constexpr const char* PreferencesSection = "Remove";
constexpr std::size_t MaxGroupNames = 201;
} // namespace

void MainModule::ReadRegistryPaths() {
    auto& s = State;
    const std::array<std::pair<const char*, std::string*>, 3> records{{
        {"TViewer", &s.ViewerPath},
        {"TSound", &s.SoundPath},
        {"TNotes", &s.NotesPath},
    }};
    // A damaged or hostile record must never point the removal at the
    // Windows or the system directory: a directory that is one of them, or
    // leads to one of them, to a drive's root or to a directory holding them
    // through links, counts as not found.
    const std::string windowsDir = GetWindowsDir();
    const std::string systemDir = GetSystemDir();
    const SystemDirectories system(platform_, windowsDir, systemDir);

    for (const auto& record : records) {
        const char* application = record.first;
        std::string* field = record.second;
        s.TempText.clear();
        TryIgnore([&] {
            s.TempText = platform_.GetSetting(application, SettingsSection, SettingsKey, "");
        });
        if (s.TempText.empty()) {
            field->clear();
            continue;
        }
        s.TempText = WithTrailingBackslash(s.TempText);
        if (SameIgnoringCase(s.TempText, windowsDir) ||
            (!systemDir.empty() && SameIgnoringCase(s.TempText, systemDir)) ||
            system.HoldsSystemFiles(s.TempText)) {
            field->clear();
        } else if (SameIgnoringCase(s.TempText, s.StartPath)) {
            *field = ".";
        } else {
            // An error in the directory test itself is passed over, and the
            // value then counts as found.
            bool exists = true;
            TryIgnore([&] { exists = !platform_.Dir(s.TempText, attr::Directory).empty(); });
            if (exists)
                *field = s.TempText;
            else
                field->clear();
        }
    }
}

void MainModule::ReadPreferencesFile() {
    auto& s = State;
    s.ProgramCount = 0;
    const std::string file = s.RemovePath + "tavori.ini";
    std::string buffer(128, ' ');

    auto read = [&](const char* key, std::string& field) {
        s.ApiResult = 0;
        TryIgnore([&] {
            s.ApiResult = static_cast<std::int32_t>(
                platform_.GetPrivateProfileStringA(PreferencesSection, key, "", buffer, 128, file));
        });
        if (s.ApiResult < 1) {
            field.clear();
            return;
        }
        std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(s.ApiResult), 128);
        field = Trim(std::string_view(buffer).substr(0, count));
    };

    read("RemoveProgram1", s.RemoveProgram1);
    read("StartMenu1", s.StartMenu1);
    if (!s.RemoveProgram1.empty())
        ++s.ProgramCount;
    read("RemoveProgram2", s.RemoveProgram2);
    read("StartMenu2", s.StartMenu2);
    if (!s.RemoveProgram2.empty())
        ++s.ProgramCount;
    read("RemoveProgram3", s.RemoveProgram3);
    read("StartMenu3", s.StartMenu3);
    if (!s.RemoveProgram3.empty())
        ++s.ProgramCount;

    read("RegJPG", s.RegJPG);
    read("RegJPE", s.RegJPE);
    read("RegJPEG", s.RegJPEG);
    read("RegJIF", s.RegJIF);
    read("RegGIF", s.RegGIF);
    read("RegBMP", s.RegBMP);
    read("RegDIB", s.RegDIB);
    read("RegRLE", s.RegRLE);
    read("RegWMF", s.RegWMF);
    read("RegEMF", s.RegEMF);
}

void MainModule::ForgetApplication(std::string name) {
    auto& s = State;
    const std::string file = s.RemovePath + "TAVORI.INI";
    bool exists = false;
    TryIgnore([&] { exists = !platform_.Dir(file, attr::Normal).empty(); });
    if (!exists)
        return;

    // Only the slot that names the application is cleared; a name that no
    // slot holds leaves the record of the other applications alone.
    const char* programKey = nullptr;
    const char* groupKey = nullptr;
    std::string group;
    if (s.RemoveProgram1 == name) {
        programKey = "RemoveProgram1";
        groupKey = "StartMenu1";
        group = s.StartMenu1;
    } else if (s.RemoveProgram2 == name) {
        programKey = "RemoveProgram2";
        groupKey = "StartMenu2";
        group = s.StartMenu2;
    } else if (s.RemoveProgram3 == name) {
        programKey = "RemoveProgram3";
        groupKey = "StartMenu3";
        group = s.StartMenu3;
    } else {
        return;
    }

    s.ApiResult = static_cast<std::int32_t>(
        platform_.WritePrivateProfileStringA(PreferencesSection, programKey, "", file));

    // Ask Program Manager whether the application's group still exists.
    // When it cannot be asked, the group may well still exist, so its record
    // is kept.
    std::string reply;
    bool asked = false;
    TryIgnore([&] {
        auto& link = RemoveFrm()["Text1"];
        TryIgnore([&] { link.LinkTopic = "ProgMan|Progman"; });
        TryIgnore([&] { link.LinkItem = "PROGMAN"; });
        asked = TryIgnore([&] { link.SetLinkMode(2); });
        asked = TryIgnore([&] { link.LinkRequest(); }) && asked;
        TryIgnore([&] { link.SetLinkMode(0); });
        reply = link.Caption;
    });
    if (!asked)
        return;

    const std::vector<std::string> groups = SplitGroupList(reply, MaxGroupNames);
    bool groupExists = false;
    for (s.LoopIndex = 0; s.LoopIndex < static_cast<std::int32_t>(groups.size()); ++s.LoopIndex) {
        if (groups[static_cast<std::size_t>(s.LoopIndex)] == group) {
            groupExists = true;
            break;
        }
    }
    if (!groupExists)
        s.ApiResult = static_cast<std::int32_t>(
            platform_.WritePrivateProfileStringA(PreferencesSection, groupKey, "", file));
}

} // namespace kestovan
