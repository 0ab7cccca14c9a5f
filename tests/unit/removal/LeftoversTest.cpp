// The associations a leftover run empties: together when the registry takes
// them at once, one by one (each failure told and logged) when it does not.

#include "removal/RemovalFixture.h"
#include "state/Traces.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const char* const Dangling[] = {".jpg", ".gif", ".bmp"};

class LeftoverAssociations : public RemovalTest {
protected:
    LeftoverAssociations() {
        platform.AddRegKey("TavoriViewer.Image", std::string("Tavori Viewer Image"));
        traces.items.push_back(
            {TraceKind::ClassKey, "HKEY_CLASSES_ROOT\\TavoriViewer.Image", "exists"});
        for (const char* extension : Dangling) {
            platform.AddRegKey(extension, std::string("TavoriViewer.Image"));
            traces.items.push_back({TraceKind::Association,
                                    std::string("HKEY_CLASSES_ROOT\\") + extension,
                                    "leads to TavoriViewer.Image"});
        }
        platform.AddRegKey(".png", std::string("pngfile"));
        platform.calls.clear();
    }

    void Run() { module.RemoveLeftovers(traces); }

    Lines AssociationLines() const { return StepLinesWith("file association"); }
    std::size_t CallsOf(const std::string& operation) const {
        return static_cast<std::size_t>(
            std::count_if(platform.calls.begin(), platform.calls.end(),
                          [&](const auto& call) { return call.rfind(operation + " ", 0) == 0; }));
    }
    static std::string Emptied(const std::string& extension) {
        return "(+) The file association of " + extension +
               ", which led to Tavori Viewer, was emptied.";
    }

    ViewerTraces traces;
};

TEST_F(LeftoverAssociations, AreEmptiedWithOneChange) {
    Run();

    EXPECT_TRUE(Called("RegSetDefaults .jpg .gif .bmp"));
    EXPECT_EQ(CallsOf("RegSetDefaults"), 1u);
    EXPECT_EQ(CallsOf("RegCreateKeyA"), 3u) << "inside the one change";
    for (const char* extension : Dangling)
        EXPECT_EQ(platform.RegDefault(extension), "") << extension;
    EXPECT_EQ(platform.RegDefault(".png"), "pngfile");
    EXPECT_FALSE(platform.RegKeyExists("TavoriViewer.Image"));
    EXPECT_EQ(AssociationLines(), (Lines{Emptied(".jpg"), Emptied(".gif"), Emptied(".bmp")}));
    EXPECT_TRUE(front.prompts.empty());
    EXPECT_EQ(s.ProblemsFound, False);
    EXPECT_EQ(platform.OpenRegKeys(), 0u);
}

TEST_F(LeftoverAssociations, ThatCannotBeEmptiedTogetherAreTriedOneByOne) {
    platform.Fail("RegSetDefaults", "", ErrorAccessDenied);

    Run();

    EXPECT_EQ(CallsOf("RegCreateKeyA"), 3u);
    for (const char* extension : Dangling)
        EXPECT_EQ(platform.RegDefault(extension), "") << extension;
    EXPECT_EQ(AssociationLines(), (Lines{Emptied(".jpg"), Emptied(".gif"), Emptied(".bmp")}));
    EXPECT_TRUE(front.prompts.empty());
    EXPECT_EQ(s.ProblemsFound, False);
}

TEST_F(LeftoverAssociations, OneThatCannotBeWrittenIsToldAndNeverLoggedAsEmptied) {
    platform.Fail("RegSetValueA", ".gif", ErrorAccessDenied);

    Run();

    ASSERT_EQ(front.prompts.size(), 1u);
    EXPECT_EQ(front.prompts[0].prompt, "An unknown error occurred while trying to associate .gif "
                                       "files with TavoriViewer.Image.  (Error location = 2 )");
    EXPECT_EQ(platform.RegDefault(".jpg"), "");
    EXPECT_EQ(platform.RegDefault(".gif"), "TavoriViewer.Image");
    EXPECT_EQ(platform.RegDefault(".bmp"), "");
    EXPECT_EQ(AssociationLines(),
              (Lines{Emptied(".jpg"),
                     "(-) The file association of .gif, which leads to Tavori Viewer, could not "
                     "be emptied.",
                     Emptied(".bmp")}));
    EXPECT_EQ(s.ProblemsFound, True);
    EXPECT_EQ(platform.OpenRegKeys(), 0u);
}

} // namespace
} // namespace kestovan::memtest
