#include "dialogs/RemoveFrm.h"
#include "dialogs/ShortcutFrm.h"
#include "removal/RemovalFixture.h"
#include "state/GroupList.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const std::string DesktopShortcut = std::string(DesktopDir) + "\\Tavori Viewer.lnk";
const std::string StartMenuShortcut = std::string(StartMenuDir) + "Tavori Viewer.lnk";

const std::string RegionThreeBox =
    "An error occured while trying to remove the Tavori Viewer shortcuts from the start menu...";
const std::string RegionThreeLine =
    "(-) The Tavori Viewer Start Menu Programs folder and shortcuts could not be removed.";
const std::string RegionFourBox = "An error occured while trying to remove the Tavori Viewer "
                                  "shortcuts from the top of your start menu and/or desktop...";
const std::string RegionFourLine = "(-) The Tavori Viewer shortcuts could not be removed from your "
                                   "desktop and/or the top of your Start Menu.";
const std::string RemovedLine =
    "(+) The Tavori Viewer Start Menu Programs folder and all of it's shortcuts were removed.";
const std::string NotRemovedLine =
    "(-) Tavori Viewer Start Menu shortcuts were not removed, you may delete these later.";

class RemovalStartMenu : public RemovalTest {
protected:
    RemovalStartMenu() { InstallViewer(); }

    Lines ShortcutLines() const {
        Lines lines;
        for (const std::string& line : LogLines())
            if (line.find("Start Menu") != std::string::npos ||
                line.find("shortcuts") != std::string::npos)
                lines.push_back(line);
        return lines;
    }

    bool ShortcutsLeft() const {
        return platform.Exists(DesktopShortcut) || platform.Exists(StartMenuShortcut);
    }
};

TEST_F(RemovalStartMenu, RecordedGroupIsDeletedAfterTheCautionQuestion) {
    s.StartMenu1.clear(); // no group recorded: the family's default

    Run();

    const auto caution = front.PromptsWith("Caution");
    ASSERT_EQ(caution.size(), 1u);
    EXPECT_EQ(caution[0].prompt,
              "Caution, the following Start Menu Programs folder may contain shortcuts to other "
              "\"Tavori\" applications:\r\n\r\nTavori Software\r\n\r\nDelete this folder and ALL "
              "of the shortcuts that it contains?");
    EXPECT_EQ(caution[0].buttons, 36);
    EXPECT_EQ(platform.ddeCommands, (Lines{"[DeleteGroup(Tavori Software)]"}));
    EXPECT_EQ(platform.groups, (Lines{"Accessories", "Main", "StartUp"}));
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine}));
    EXPECT_FALSE(ShortcutsLeft());
    EXPECT_EQ(module.RemoveFrm()["Text1"].LinkMode(), 0);
    // Both folders were asked for with RemoveFrm's window.
    EXPECT_EQ(platform.folderWindows,
              (std::vector<std::intptr_t>{module.RemoveFrm().hWnd(), module.RemoveFrm().hWnd()}));
}

TEST_F(RemovalStartMenu, GroupComesFromTheSlotOfTheSelectedApplication) {
    s.RemoveProgram1 = "Tavori Sound";
    s.StartMenu1 = "Sound Group";
    s.RemoveProgram2 = "Tavori Viewer";
    s.StartMenu2 = "Viewer Group";
    EXPECT_EQ(module.FindStartMenuGroup(), "Viewer Group");

    s.StartMenu2.clear();
    EXPECT_EQ(module.FindStartMenuGroup(), "Tavori Software");

    s.SelectedApp = "tavori viewer"; // names compare exactly
    s.StartMenu2 = "Viewer Group";
    EXPECT_EQ(module.FindStartMenuGroup(), "Tavori Software");

    s.RemoveProgram1 = s.RemoveProgram2 = s.RemoveProgram3 = "";
    s.StartMenu1 = s.StartMenu2 = s.StartMenu3 = "";
    EXPECT_EQ(module.FindStartMenuGroup(), "Tavori Software");
    EXPECT_TRUE(front.shownForms.empty());
}

TEST_F(RemovalStartMenu, RecordsAreReadAgainWhenTheRemovalMovedElsewhere) {
    const std::string other = "D:\\Apps\\Viewer\\";
    platform.AddDirectory("D:");
    platform.SetProfileString(other + "tavori.ini", "Remove", "RemoveProgram1", "Tavori Viewer");
    platform.SetProfileString(other + "tavori.ini", "Remove", "StartMenu1", "Viewer Group");
    // The start directory's records, as read at start-up.
    s.RemoveProgram1 = "Tavori Viewer";
    s.StartMenu1 = "Start Directory Group";

    s.RemovePath = "c:\\program files\\tavori viewer\\"; // the same directory
    EXPECT_EQ(module.FindStartMenuGroup(), "Start Directory Group");

    s.RemovePath = other;
    EXPECT_EQ(module.FindStartMenuGroup(), "Viewer Group");
    EXPECT_EQ(s.StartMenu1, "Viewer Group");
}

TEST_F(RemovalStartMenu, ChooserOpensWhenOnlyGroupsAreRecorded) {
    s.RemoveProgram1.clear();
    s.StartMenu1.clear();
    s.StartMenu2 = "Viewer Group";
    platform.groups.push_back("Viewer Group");
    front.dialogActions = {Select("ListFolders", 1), Click("CmdRemove")};

    EXPECT_EQ(module.FindStartMenuGroup(), "Viewer Group");
    EXPECT_EQ(front.shownForms, (Lines{"ShortcutFrm (modal)"}));
}

TEST_F(RemovalStartMenu, DecliningTheChooserKeepsTheGroupButNotTheShortcuts) {
    s.RemoveProgram1.clear();
    s.StartMenu1.clear();
    s.StartMenu2 = "Tavori Software";
    front.dialogActions = {Click("CmdDontRemove")};

    Run();

    EXPECT_EQ(front.shownForms, (Lines{"ShortcutFrm (modal)"}));
    EXPECT_EQ(ShortcutLines(), (Lines{NotRemovedLine}));
    EXPECT_TRUE(platform.ddeCommands.empty());
    EXPECT_EQ(platform.groups.back(), "Tavori Software");
    EXPECT_FALSE(ShortcutsLeft());
}

TEST_F(RemovalStartMenu, MissingGroupIsReportedAndShortcutsStillGo) {
    for (const std::string group : {"Viewer Group", "tavori software"}) {
        SCOPED_TRACE(group);
        InstallViewer();
        s.StartMenu1 = group;
        front.prompts.clear();

        Run();

        const auto notice = front.PromptsWith("could not be found, they may");
        ASSERT_EQ(notice.size(), 1u);
        EXPECT_EQ(notice[0].prompt, "Tavori Viewer Start Menu shortcuts could not be found, they "
                                    "may have already been deleted or moved since setup was run.");
        EXPECT_EQ(notice[0].buttons, 64);
        EXPECT_EQ(ShortcutLines(), (Lines{"(-) Tavori Viewer Start Menu shortcuts could not be "
                                          "found, they may have already been deleted."}));
        EXPECT_FALSE(ShortcutsLeft());
        EXPECT_TRUE(platform.ddeCommands.empty());
    }
}

TEST_F(RemovalStartMenu, SystemFoldersAreRefusedAndShortcutsKept) {
    for (const std::string group : {"Accessories", "StartUp"}) {
        SCOPED_TRACE(group);
        InstallViewer();
        s.StartMenu1 = group;
        front.prompts.clear();

        Run();

        const auto notice = front.PromptsWith("system folder");
        ASSERT_EQ(notice.size(), 1u);
        EXPECT_EQ(notice[0].prompt,
                  group + " is a system folder and may not be removed by KESTOVAN, Start Menu "
                          "shortcuts for this application will not be deleted as a result...");
        EXPECT_EQ(notice[0].buttons, 64);
        EXPECT_EQ(ShortcutLines(), (Lines{"(-) Tavori Viewer Start Menu shortcuts could not be "
                                          "deleted, unable to remove system folder: " +
                                          group}));
        EXPECT_TRUE(front.PromptsWith("Caution").empty());
        EXPECT_TRUE(platform.ddeCommands.empty());
        EXPECT_TRUE(platform.Exists(DesktopShortcut));
        EXPECT_TRUE(platform.Exists(StartMenuShortcut));
        EXPECT_TRUE(Logged(FinishBanner));
    }
}

TEST_F(RemovalStartMenu, DecliningTheCautionQuestionKeepsTheGroup) {
    front.AnswerWhen("Caution", forms::IdNo);

    Run();

    EXPECT_EQ(ShortcutLines(), (Lines{"(-) The Tavori Viewer Start Menu shortcuts were not "
                                      "removed, you may delete these later."}));
    EXPECT_TRUE(platform.ddeCommands.empty());
    EXPECT_FALSE(ShortcutsLeft());
}

TEST_F(RemovalStartMenu, CraftedGroupNameCannotCarryASecondCommand) {
    const std::string crafted = "X)][DeleteGroup(Accessories";
    platform.groups = {"Accessories", crafted};
    s.StartMenu1 = crafted;

    Run();

    EXPECT_EQ(platform.ddeCommands, (Lines{"[DeleteGroup(\"X)][DeleteGroup(Accessories\")]"}));
    EXPECT_EQ(platform.groups, (Lines{"Accessories"}));
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine}));
}

TEST_F(RemovalStartMenu, QuoteInsideAQuotedGroupNameIsDoubled) {
    const std::string crafted = "X\")][DeleteGroup(\"Accessories";
    platform.groups = {"Accessories", crafted};
    s.StartMenu1 = crafted;

    Run();

    EXPECT_EQ(platform.ddeCommands,
              (Lines{"[DeleteGroup(\"X\"\")][DeleteGroup(\"\"Accessories\")]"}));
    EXPECT_EQ(platform.groups, (Lines{"Accessories"}));
}

TEST_F(RemovalStartMenu, NoProgramManagerIsRegionThree) {
    platform.programManager = false;

    Run();

    const auto notice = front.PromptsWith(RegionThreeBox);
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].buttons, 64);
    EXPECT_EQ(ShortcutLines(), (Lines{RegionThreeLine}));
    // Step 38 is skipped.
    EXPECT_TRUE(platform.Exists(DesktopShortcut));
    EXPECT_TRUE(platform.Exists(StartMenuShortcut));
    EXPECT_EQ(module.RemoveFrm()["Text1"].LinkMode(), 0);
    EXPECT_TRUE(Logged("(+) Tavori Viewer settings in the system registry have been removed."));
    // The user was told that shortcuts were left behind: no success report.
    EXPECT_EQ(s.ProblemsFound, True);
}

// A group folder that is a link (to the user's pictures, say) is never
// deleted through: no command is sent and the step reports the group as one
// that could not be removed.
TEST_F(RemovalStartMenu, GroupWhoseFolderIsALinkIsNeverDeleted) {
    platform.linkedGroups = {"Tavori Software"};

    Run();

    EXPECT_TRUE(platform.ddeCommands.empty());
    EXPECT_TRUE(front.PromptsWith("Caution").empty());
    EXPECT_EQ(front.PromptsWith(RegionThreeBox).size(), 1u);
    EXPECT_EQ(ShortcutLines(), (Lines{RegionThreeLine}));
    EXPECT_EQ(platform.groups, (Lines{"Accessories", "Main", "StartUp", "Tavori Software"}));
    EXPECT_TRUE(ShortcutsLeft());
    EXPECT_EQ(module.RemoveFrm()["Text1"].LinkMode(), 0);
    EXPECT_EQ(s.ProblemsFound, True);
}

TEST_F(RemovalStartMenu, RefusedDeleteGroupIsRegionThree) {
    platform.Fail("DdeExecute", "", err::DdeMethodRefused);

    Run();

    EXPECT_EQ(front.PromptsWith(RegionThreeBox).size(), 1u);
    EXPECT_EQ(ShortcutLines(), (Lines{RegionThreeLine}));
    EXPECT_EQ(module.RemoveFrm()["Text1"].LinkMode(), 0);
    EXPECT_TRUE(ShortcutsLeft());
}

TEST_F(RemovalStartMenu, GroupListHoldsAtMost201Names) {
    // 201 names, the viewer's group the last of them: it is found.
    Lines groups;
    for (int i = 0; i < 200; ++i)
        groups.push_back("Group " + std::to_string(1000 + i));
    groups.push_back("Tavori Software");
    platform.groups = groups;

    Run();

    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine}));

    // One name more is an error of the group step.
    InstallViewer();
    groups.push_back("Z Group");
    platform.groups = groups;

    Run();

    EXPECT_EQ(front.PromptsWith(RegionThreeBox).size(), 1u);
    EXPECT_EQ(ShortcutLines(), (Lines{RegionThreeLine}));
    EXPECT_EQ(platform.groups.size(), 202u);
    EXPECT_TRUE(ShortcutsLeft());
}

// A missing desktop shortcut is region 4's error, reported as always; the
// Start Menu shortcut still goes first (a run interrupted between the two
// deletions would else leave it for every later run).
TEST_F(RemovalStartMenu, MissingDesktopShortcutIsRegionFourAfterTheStartMenuShortcut) {
    platform.Kill(DesktopShortcut);

    Run();

    const auto notice = front.PromptsWith(RegionFourBox);
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].buttons, 64);
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine, RegionFourLine}));
    EXPECT_FALSE(platform.Exists(StartMenuShortcut));
    EXPECT_TRUE(Logged(FinishBanner));
    EXPECT_EQ(s.ProblemsFound, True);
}

// Any other failure at the desktop shortcut stops the step there.
TEST_F(RemovalStartMenu, DesktopShortcutThatCannotBeDeletedKeepsTheStartMenuShortcut) {
    platform.Fail("Kill", DesktopShortcut, err::PathFileAccessError);

    Run();

    EXPECT_EQ(front.PromptsWith(RegionFourBox).size(), 1u);
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine, RegionFourLine}));
    EXPECT_TRUE(platform.Exists(DesktopShortcut));
    EXPECT_TRUE(platform.Exists(StartMenuShortcut));
    EXPECT_EQ(s.ProblemsFound, True);
}

TEST_F(RemovalStartMenu, UnknownShellFolderIsNotedAndTheOtherShortcutStillGoes) {
    platform.shellFolders.erase(0);

    Run();

    const auto notice = front.PromptsWith("desktop folder");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].prompt, "An error occurred while getting the path to your desktop "
                                "folder, unable to remove shortcut...");
    EXPECT_EQ(notice[0].buttons, 48);
    EXPECT_FALSE(platform.Exists(StartMenuShortcut));
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine}));

    InstallViewer();
    platform.shellFolders.erase(11);
    front.prompts.clear();

    Run();

    const auto second = front.PromptsWith("Start Menu folder");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].prompt, "An error occurred while getting the path to your Start Menu "
                                "folder, unable to remove shortcut at the top of your Start "
                                "Menu...");
    EXPECT_EQ(second[0].buttons, 48);
    EXPECT_FALSE(platform.Exists(DesktopShortcut));
    EXPECT_EQ(ShortcutLines(), (Lines{RemovedLine}));
}

TEST_F(RemovalStartMenu, CancelWhileTheChooserIsOpenStopsTheRun) {
    s.RemoveProgram1.clear();
    s.StartMenu1.clear();
    s.StartMenu2 = "Tavori Software";
    front.dialogActions = {[&](forms::FormRuntime& rt, forms::Form& form) {
        s.CancelRequested = True;
        form.Raise("CmdRemove", "Click");
        (void)rt;
    }};

    Run();

    EXPECT_TRUE(ShortcutLines().empty());
    EXPECT_TRUE(platform.ddeCommands.empty());
    EXPECT_FALSE(Logged(FinishBanner));
    EXPECT_TRUE(ShortcutsLeft());
}

class ShortcutChooser : public RemovalTest {
protected:
    ShortcutChooser() { platform.groups = {"Accessories", "Main", "Viewer Group"}; }

    forms::Form& Load() { return module.ShortcutFrm(); }
};

TEST_F(ShortcutChooser, OffersTheDefaultAndTheRecordedGroupsThatExist) {
    s.TempText = "left over";
    s.StartMenu1 = "Viewer Group";
    s.StartMenu2 = "Gone Group";
    s.StartMenu3 = "Main";

    forms::Form& form = Load();

    EXPECT_EQ(form.Caption, "Tavori Software - [KESTOVAN]");
    EXPECT_EQ(form["ListFolders"].Items(), (Lines{"Tavori Software", "Viewer Group", "Main"}));
    EXPECT_EQ(form["ListFolders"].ListIndex(), 0);
    EXPECT_EQ(s.TempText, "");
    EXPECT_EQ(front.mousePointer, forms::PointerDefault);
}

TEST_F(ShortcutChooser, DefaultGroupIsListedOnce) {
    platform.groups.push_back("Tavori Software");
    s.StartMenu1 = "Tavori Software";
    s.StartMenu3 = "Tavori Software";

    EXPECT_EQ(Load()["ListFolders"].Items(), (Lines{"Tavori Software"}));
}

TEST_F(ShortcutChooser, ReplyNamesAreTrimmedButRecordedNamesAreNot) {
    platform.groupReply = "  Viewer Group  \r\n\r\n   \r\nMain\r\nNo line end";
    s.StartMenu1 = " Main";
    s.StartMenu2 = "Viewer Group";
    s.StartMenu3 = "No line end";

    EXPECT_EQ(Load()["ListFolders"].Items(), (Lines{"Tavori Software", "Viewer Group"}));
}

TEST_F(ShortcutChooser, WithoutProgramManagerOnlyTheDefaultIsOffered) {
    platform.programManager = false;
    s.StartMenu1 = "Viewer Group";

    forms::Form& form = Load();

    EXPECT_EQ(form["ListFolders"].Items(), (Lines{"Tavori Software"}));
    EXPECT_EQ(form["Text1"].Caption, "Text1");
}

TEST_F(ShortcutChooser, RemoveFolderNeedsASelection) {
    s.StartMenu1 = "Viewer Group";
    forms::Form& form = Load();
    runtime.Show(form);
    form["ListFolders"].SetListIndex(-1);

    form.Raise("CmdRemove", "Click");

    const auto notice = front.PromptsWith("select a folder");
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].prompt, "You need to select a folder to remove first...");
    EXPECT_EQ(notice[0].buttons, 64);
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_EQ(s.TempText, "");

    form["ListFolders"].SetListIndex(1);
    form.Raise("CmdRemove", "Click");

    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(s.TempText, "Viewer Group");
    EXPECT_EQ(front.mousePointer, forms::PointerHourglass);
}

TEST_F(ShortcutChooser, ClosingOrDecliningLeavesNoChoice) {
    s.StartMenu1 = "Viewer Group";
    s.TempText = "left over";
    front.dialogActions = {Select("ListFolders", 1), CloseBox()};
    runtime.Show(Load(), 1);
    EXPECT_EQ(s.TempText, "");

    s.TempText = "left over";
    front.dialogActions = {Select("ListFolders", 1), Click("CmdDontRemove")};
    runtime.Show(Load(), 1);
    EXPECT_EQ(s.TempText, "");

    // Enter presses Remove Folder, Esc Don't Remove Folder.
    forms::Form& form = Load();
    EXPECT_TRUE(form["CmdRemove"].IsDefault);
    EXPECT_TRUE(form["CmdDontRemove"].IsCancel);
}

} // namespace
} // namespace kestovan::memtest
