#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const std::string SettingsLine =
    "(+) Tavori Viewer settings in the system registry have been removed.";
const std::string SlideShowLine =
    "(+) Tavori Viewer Slide Show files (.TVS) are no longer associated to Tavori Viewer.";
const std::string RestoredLine =
    "(+) Image file associations were restored to their original settings.";
const std::string FailureLine =
    "(-) All Tavori Viewer system registry entries could not be removed.";
const std::string RestoreQuestion = "Restore image file type associations to the settings found "
                                    "before running Tavori Viewer setup?";
const char* const Extensions[] = {".jpg", ".jpe", ".jpeg", ".jif", ".gif",
                                  ".bmp", ".dib", ".rle",  ".wmf", ".emf"};

class RemovalRegistry : public RemovalTest {
protected:
    RemovalRegistry() { InstallViewer(); }

    Lines RegistryLines() const {
        Lines lines;
        for (const std::string& line : LogLines())
            if (line.find("registry") != std::string::npos ||
                line.find("associat") != std::string::npos)
                lines.push_back(line);
        return lines;
    }

    bool ClassKeysLeft() const {
        return platform.RegKeyExists("TavoriViewer") || platform.RegKeyExists(".tvs") ||
               platform.RegKeyExists("TavoriViewer.Image");
    }
};

TEST_F(RemovalRegistry, SettingsAndClassKeysGoAndSavedAssociationsComeBack) {
    s.RegJPG = "jpegfile";
    s.RegGIF = "TavoriViewer.Image";
    s.RegEMF = "emffile";
    platform.AddRegKey(".jpg", std::string("TavoriViewer.Image"));
    platform.AddRegKey(".gif", std::string("TavoriViewer.Image"));

    Run();

    const auto question = front.PromptsWith(RestoreQuestion);
    ASSERT_EQ(question.size(), 1u);
    EXPECT_EQ(question[0].prompt, RestoreQuestion);
    EXPECT_EQ(question[0].buttons, 36);
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine, RestoredLine}));
    EXPECT_FALSE(platform.HasSettings("TViewer", "Settings"));
    EXPECT_FALSE(ClassKeysLeft());
    EXPECT_EQ(platform.RegDefault(".jpg"), "jpegfile");
    EXPECT_EQ(platform.RegDefault(".gif"), ""); // the viewer's own class restores nothing
    EXPECT_EQ(platform.RegDefault(".emf"), "emffile");
    for (const char* extension : {".jpe", ".jpeg", ".jif", ".bmp", ".dib", ".rle", ".wmf"})
        EXPECT_FALSE(platform.RegKeyExists(extension)) << extension;
    EXPECT_EQ(platform.OpenRegKeys(), 0u);
}

TEST_F(RemovalRegistry, NothingSavedAsksNothing) {
    Run();

    EXPECT_TRUE(front.PromptsWith(RestoreQuestion).empty());
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine}));
    EXPECT_FALSE(ClassKeysLeft());
    for (const char* extension : Extensions)
        EXPECT_FALSE(platform.RegKeyExists(extension)) << extension;
}

TEST_F(RemovalRegistry, NoToTheRestoreQuestionWritesNothing) {
    s.RegJPEG = "jpegfile";
    front.AnswerWhen(RestoreQuestion, forms::IdNo);

    Run();

    EXPECT_EQ(front.PromptsWith(RestoreQuestion).size(), 1u);
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine}));
    EXPECT_FALSE(platform.RegKeyExists(".jpeg"));
    EXPECT_FALSE(platform.RegKeyExists("TavoriViewer.Image"));
}

TEST_F(RemovalRegistry, SettingsThatCannotBeDeletedReportTheErrorText) {
    platform.Fail("DeleteSetting", "TViewer", err::InvalidProcedureCall);

    Run();

    const auto notice = front.PromptsWith("system registry");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].prompt,
              "An error occurred while attempting to remove Tavori Viewer settings from the system "
              "registry.  The stored values will be left behind, there are only a couple of small "
              "entries. \r\n\r\nInvalid procedure call or argument...");
    EXPECT_EQ(notice[0].buttons, 64);
    EXPECT_EQ(RegistryLines(), (Lines{FailureLine}));
    EXPECT_TRUE(platform.HasSettings("TViewer", "Settings"));
    EXPECT_TRUE(platform.RegKeyExists("TavoriViewer"));
    EXPECT_TRUE(platform.RegKeyExists(".tvs"));
    EXPECT_TRUE(platform.RegKeyExists("TavoriViewer.Image"));
    EXPECT_TRUE(Logged(FinishBanner));
    EXPECT_EQ(s.ProblemsFound, True);
}

// Settings that are no longer stored (a run that was interrupted after it
// deleted them, or a viewer that never stored any) count as removed, and the
// class keys still go: stopping there would leave them for every later run.
TEST_F(RemovalRegistry, SettingsAlreadyGoneCountAsRemovedAndTheClassKeysStillGo) {
    platform.DeleteSetting("TViewer", "Settings");
    s.RegJPG = "jpegfile";
    platform.AddRegKey(".jpg", std::string("TavoriViewer.Image"));

    Run();

    EXPECT_TRUE(front.PromptsWith("system registry").empty());
    EXPECT_EQ(front.PromptsWith(RestoreQuestion).size(), 1u);
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine, RestoredLine}));
    EXPECT_FALSE(ClassKeysLeft());
    EXPECT_EQ(platform.RegDefault(".jpg"), "jpegfile");
    EXPECT_EQ(s.ProblemsFound, False);
}

// Registry class names ignore letter case: a saved class that names the
// viewer's own image class in other letters is still the viewer's, and the
// extension is not pointed back at the class that was just deleted.
TEST_F(RemovalRegistry, SavedViewerClassInOtherLettersRestoresNothing) {
    s.RegGIF = "tavoriviewer.IMAGE";
    s.RegJPG = "jpegfile";
    platform.AddRegKey(".gif", std::string("TavoriViewer.Image"));

    Run();

    EXPECT_EQ(platform.RegDefault(".gif"), "");
    EXPECT_EQ(platform.RegDefault(".jpg"), "jpegfile");
    EXPECT_FALSE(platform.RegKeyExists("TavoriViewer.Image"));
    EXPECT_EQ(s.ProblemsFound, False);
}

// A class key that is not there counts as deleted, for the same reason.
TEST_F(RemovalRegistry, MissingClassKeysCountAsDeleted) {
    platform.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer");
    platform.RegDeleteKeyA(hkey::ClassesRoot, ".tvs");
    s.RegJPG = "jpegfile";

    Run();

    EXPECT_TRUE(front.PromptsWith("system registry").empty());
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine, RestoredLine}));
    EXPECT_FALSE(ClassKeysLeft());
    EXPECT_EQ(platform.RegDefault(".jpg"), "jpegfile");
    EXPECT_EQ(s.ProblemsFound, False);
}

TEST_F(RemovalRegistry, ClassKeyThatCannotBeDeletedIsAnUnknownErrorAndStopsTheRest) {
    platform.Fail("RegDeleteKeyA", "TavoriViewer", ErrorAccessDenied);
    s.RegJPG = "jpegfile";

    Run();

    const auto notice = front.PromptsWith("system registry");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].prompt, "An unknown error occurred while attempting to remove Tavori "
                                "Viewer settings from the system registry.  The stored values "
                                "will be left behind, there are only a couple of small entries.");
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, FailureLine}));
    EXPECT_TRUE(front.PromptsWith(RestoreQuestion).empty());
    EXPECT_TRUE(platform.RegKeyExists(".tvs"));
    EXPECT_TRUE(platform.RegKeyExists("TavoriViewer.Image"));
    EXPECT_FALSE(platform.RegKeyExists(".jpg"));
}

TEST_F(RemovalRegistry, ImageClassThatCannotBeDeletedComesAfterTheRestore) {
    s.RegBMP = "Paint.Picture";
    platform.Fail("RegDeleteKeyA", "TavoriViewer.Image", ErrorAccessDenied);

    Run();

    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine, RestoredLine, FailureLine}));
    EXPECT_EQ(front.PromptsWith("An unknown error occurred while attempting").size(), 1u);
    EXPECT_EQ(platform.RegDefault(".bmp"), "Paint.Picture");
}

TEST_F(RemovalRegistry, FailingAssociationWriteIsReportedAndTheRestGoesOn) {
    s.RegBMP = "Paint.Picture";
    s.RegDIB = "Paint.Picture";
    s.RegWMF = "wmffile";
    platform.Fail("RegSetValueA", ".bmp", ErrorAccessDenied);

    Run();

    const auto notice = front.PromptsWith("associate");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].prompt, "An unknown error occurred while trying to associate .bmp files "
                                "with Paint.Picture.  (Error location = 2 )");
    EXPECT_EQ(notice[0].buttons, 16);
    EXPECT_EQ(platform.RegDefault(".dib"), "Paint.Picture");
    EXPECT_EQ(platform.RegDefault(".wmf"), "wmffile");
    EXPECT_EQ(platform.RegDefault(".bmp"), std::nullopt);
    EXPECT_EQ(RegistryLines(), (Lines{SettingsLine, SlideShowLine, RestoredLine}));
    EXPECT_EQ(platform.OpenRegKeys(), 0u);
    EXPECT_FALSE(ClassKeysLeft());
}

TEST_F(RemovalRegistry, KeyThatCannotBeCreatedIsLocationOne) {
    s.RegRLE = "TavoriViewer.Image";
    platform.Fail("RegCreateKeyA", ".rle", ErrorAccessDenied);

    module.AssociateExtension(".rle", s.RegRLE);

    ASSERT_EQ(front.prompts.size(), 1u);
    EXPECT_EQ(front.prompts[0].prompt, "An unknown error occurred while trying to associate .rle "
                                       "files with TavoriViewer.Image.  (Error location = 1 )");
    EXPECT_EQ(s.RegRLE, "TavoriViewer.Image");
    EXPECT_EQ(platform.OpenRegKeys(), 0u);
}

TEST_F(RemovalRegistry, EmptyClassNameDoesNothing) {
    platform.calls.clear();

    module.AssociateExtension(".jpg", "");

    EXPECT_TRUE(platform.calls.empty());
    EXPECT_TRUE(front.prompts.empty());
}

} // namespace
} // namespace kestovan::memtest
