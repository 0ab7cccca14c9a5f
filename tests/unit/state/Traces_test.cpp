// Discovery of the viewer's traces on machines made by make-demo-machine and
// changed as users and interrupted removals leave them.

#include "platform/RecordingPlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "robust/CrashHarness.h"
#include "state/Discovery.h"
#include "state/Traces.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kestovan {
namespace {

namespace fs = std::filesystem;
using robust::TemporaryDirectory;

constexpr const char* ProgramDir = "C:\\Program Files\\Tavori Viewer\\";
constexpr const char* Group = "Tavori Software";

class TracesTest : public ::testing::Test {
protected:
    void SetUp() override { robust::MakeDemoMachine(machine_); }
    fs::path Host(const std::string& relative) const { return machine_ / "drive_c" / relative; }
    fs::path Programs() const {
        return Host("users/demo/AppData/Roaming/Microsoft/Windows/Start Menu/Programs");
    }
    ViewerTraces Discover(PlatformServices& platform) {
        return DiscoverViewerTraces(platform, DiscoverApplications(platform, ProgramDir),
                                    ProgramDir);
    }
    ViewerTraces Discover() {
        posix::PosixPlatform platform(machine_, std::string("C:\\"), "/nowhere");
        return Discover(platform);
    }
    static const Trace* Find(const ViewerTraces& traces, TraceKind kind, const std::string& part) {
        for (const Trace& trace : traces.items)
            if (trace.kind == kind && trace.where.find(part) != std::string::npos)
                return &trace;
        return nullptr;
    }

    TemporaryDirectory work_;
    fs::path machine_ = work_.Path() / "machine";
};

TEST_F(TracesTest, ACompleteInstallationIsEveryTraceButTheUsersOwnFiles) {
    const ViewerTraces traces = Discover();
    EXPECT_EQ(traces.directoryState, "exists, holds TVIEWER.EXE");
    EXPECT_TRUE(traces.recorded);
    ASSERT_NE(Find(traces, TraceKind::ProgramFile, "TVIEWER.EXE"), nullptr);
    ASSERT_NE(Find(traces, TraceKind::ProgramFile, "TVIEWER.GID"), nullptr)
        << "hidden, still found";
    ASSERT_NE(Find(traces, TraceKind::StartMenuGroup, Group), nullptr);
    EXPECT_EQ(Find(traces, TraceKind::StartMenuGroup, Group)->state, "recorded in tavori.ini");
    EXPECT_EQ(traces.items.front().kind, TraceKind::Settings);
    // The user's own files, KESTOVAN.EXE, the current wallpaper and the
    // system's shared run-time files are no traces.
    for (const Trace& trace : traces.items) {
        for (const char* kept : {"Beach.gif", "Holiday.tvs", "Chime.WAV", "KESTOVAN.EXE", "SLIDES",
                                 "Wallpaper", "system32\\MSVBVM50.DLL", "system32\\OLEAUT32.DLL"})
            EXPECT_EQ(trace.where.find(kept), std::string::npos) << TraceLine(trace);
    }
    EXPECT_EQ(Find(traces, TraceKind::Association, ".jpg")->state,
              "default \"TavoriViewer.Image\"");
}

TEST_F(TracesTest, GroupsFoundWithoutARecordAreRemovableOnlyWhenTheyHoldTheViewersShortcutsAlone) {
    fs::remove_all(Host("Program Files/Tavori Viewer"));
    // "Tavori Software" also holds another application's shortcut; "Viewer"
    // holds the viewer's alone; "Linked" is a link to a folder holding it;
    // "Accessories" holds nothing of the viewer.
    std::ofstream(Programs() / Group / "Tavori Notes.lnk").put('x');
    fs::create_directories(Programs() / "Viewer");
    std::ofstream(Programs() / "Viewer" / "Tavori Viewer.lnk").put('x');
    fs::create_directories(Host("users/demo/Links"));
    std::ofstream(Host("users/demo/Links/Tavori Viewer.lnk")).put('x');
    fs::create_directory_symlink(Host("users/demo/Links"), Programs() / "Linked");

    const ViewerTraces traces = Discover();
    EXPECT_EQ(traces.directoryState, "missing");
    EXPECT_FALSE(traces.recorded);
    EXPECT_EQ(Find(traces, TraceKind::StartMenuGroup, Group)->state,
              "also holds other shortcuts, kept");
    EXPECT_EQ(Find(traces, TraceKind::StartMenuGroup, "Viewer")->state,
              "holds only the viewer's shortcuts");
    EXPECT_EQ(Find(traces, TraceKind::StartMenuGroup, "Linked")->state, "is a link, kept");
    EXPECT_EQ(Find(traces, TraceKind::StartMenuGroup, "Accessories"), nullptr);
    EXPECT_EQ(traces.removableGroups, std::vector<std::string>{"Viewer"});
}

TEST_F(TracesTest, AWallpaperThatIsNotTheDesktopsIsATrace) {
    const std::string wallpaper = "C:\\windows\\Tavori Viewer Wallpaper.BMP";
    EXPECT_FALSE(Discover().Has(TraceKind::WindowsFile, wallpaper));
    {
        posix::PosixPlatform platform(machine_, std::string("C:\\"), "/nowhere");
        ASSERT_NE(platform.WritePrivateProfileStringA("Desktop", "Wallpaper", "(None)", "win.ini"),
                  0);
    }
    EXPECT_TRUE(Discover().Has(TraceKind::WindowsFile, wallpaper));
}

TEST_F(TracesTest, APreviewDiscoversTheMachineAsItsChangesLeaveIt) {
    posix::PosixPlatform real(machine_, std::string("C:\\"), "/nowhere");
    RecordingPlatform preview(real);
    std::uint32_t key = 0;
    ASSERT_EQ(preview.RegCreateKeyA(hkey::ClassesRoot, ".gif", key), ErrorSuccess);
    ASSERT_EQ(preview.RegSetValueA(key, "", RegSz, "giffile", 0), ErrorSuccess);
    preview.RegCloseKey(key);
    preview.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer");
    preview.Kill("C:\\users\\demo\\Desktop\\Tavori Viewer.lnk");

    std::string value;
    EXPECT_EQ(preview.RegQueryDefault(hkey::ClassesRoot, ".gif", value), ErrorSuccess);
    EXPECT_EQ(value, "giffile");
    EXPECT_EQ(preview.RegQueryDefault(hkey::ClassesRoot, "TavoriViewer", value), ErrorFileNotFound);
    const ViewerTraces seen = Discover(preview);
    EXPECT_FALSE(seen.Has(TraceKind::Association, "HKEY_CLASSES_ROOT\\.gif"));
    EXPECT_TRUE(seen.Has(TraceKind::Association, "HKEY_CLASSES_ROOT\\.jpg"));
    EXPECT_FALSE(seen.Has(TraceKind::ClassKey, "HKEY_CLASSES_ROOT\\TavoriViewer"));
    EXPECT_FALSE(seen.Has(TraceKind::Shortcut, "C:\\users\\demo\\Desktop\\Tavori Viewer.lnk"));
    // The machine itself is as it was.
    EXPECT_TRUE(Discover().Has(TraceKind::Association, "HKEY_CLASSES_ROOT\\.gif"));
    EXPECT_EQ(real.RegQueryDefault(hkey::ClassesRoot, ".gif", value), ErrorSuccess);
    EXPECT_EQ(value, "TavoriViewer.Image");
}

} // namespace
} // namespace kestovan
