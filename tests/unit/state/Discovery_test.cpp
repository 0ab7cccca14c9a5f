// What --list finds, against an in-memory machine.

#include "removal/RemovalFixture.h"
#include "state/Discovery.h"

namespace kestovan::memtest {
namespace {

class DiscoveryTest : public RemovalTest {};

TEST_F(DiscoveryTest, RecordsOfEveryPlaceAreJoined) {
    InstallViewer();
    // Tavori Notes is recorded in the viewer's tavori.ini only; Tavori Sound
    // is registered in a directory that no longer exists.
    SetPreference("RemoveProgram2", "Tavori Notes");
    SetPreference("StartMenu2", "Notes Group");
    platform.SetSetting("TSound", "Settings", "EXEPath", "C:\\Gone");

    const Discovery found = DiscoverApplications(platform, "");
    ASSERT_EQ(found.applications.size(), 3u);
    const DiscoveredApplication& viewer = found.applications[0];
    EXPECT_EQ(viewer.registeredPath, ProgramDir);
    EXPECT_TRUE(viewer.directoryExists);
    EXPECT_TRUE(viewer.holdsViewerExecutable);
    EXPECT_EQ(viewer.preferencesKey, "RemoveProgram1");
    EXPECT_EQ(viewer.groupExists, std::optional<bool>(true));

    const DiscoveredApplication& sound = found.applications[1];
    EXPECT_EQ(sound.directory, "C:\\Gone\\");
    EXPECT_FALSE(sound.directoryExists);
    EXPECT_FALSE(sound.preferencesFile.has_value());

    const DiscoveredApplication& notes = found.applications[2];
    EXPECT_FALSE(notes.registeredPath.has_value());
    EXPECT_EQ(notes.directory, ProgramDir); // where its record lies
    EXPECT_EQ(notes.preferencesKey, "RemoveProgram2");
    EXPECT_EQ(notes.groupExists, std::optional<bool>(false));

    EXPECT_EQ(found.classKeys.size(), 3u);
    EXPECT_EQ(found.shortcuts.size(), 2u);
    const std::string text = DiscoveryText(found);
    EXPECT_NE(text.find("Start Menu group: \"Notes Group\" (missing)"), std::string::npos);
    EXPECT_NE(text.find("C:\\Gone\\ (missing)"), std::string::npos);
}

TEST_F(DiscoveryTest, NothingIsChangedAndAMissingProgramManagerIsSaid) {
    InstallViewer();
    platform.programManager = false;
    platform.calls.clear();

    const Discovery found = DiscoverApplications(platform, ProgramDir);

    EXPECT_FALSE(found.applications[0].groupExists.has_value());
    EXPECT_NE(DiscoveryText(found).find("(Program Manager not answering)"), std::string::npos);
    for (const std::string& call : platform.calls)
        for (const char* change :
             {"Kill", "RmDir", "SetAttr", "DeleteSetting", "RegCreateKeyA", "RegSetValueA",
              "RegSetDefaults", "RegDeleteKeyA", "WritePrivateProfileStringA", "DdeExecute"})
            EXPECT_NE(call.rfind(change, 0), 0u) << call;
    EXPECT_TRUE(platform.ddeCommands.empty());
}

} // namespace
} // namespace kestovan::memtest
