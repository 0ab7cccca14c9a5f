#include "forms/Control.h"

#include "forms/FormsTestSupport.h"
#include "platform/RuntimeError.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

namespace kestovan::forms::testing {
namespace {

using kestovan::testing::FakePlatform;

class ControlTest : public ::testing::Test {
protected:
    std::vector<std::string> journal;
    FakePlatform platform;
    ScriptedFrontEnd front{journal};
    FormRuntime runtime{platform, front, nullptr};
    TestForm form{runtime, "TestFrm", journal};
};

int ErrorNumberOf(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

TEST_F(ControlTest, OptionButtonsAreExclusiveWithinTheirContainerOnly) {
    form.AddControl("AppFrame", ControlKind::Frame);
    Control& viewer = form.AddControl("OptTViewer", ControlKind::OptionButton);
    Control& sound = form.AddControl("OptTSound", ControlKind::OptionButton);
    viewer.Container = sound.Container = "AppFrame";
    Control& useReg = form.AddControl("OptUseReg", ControlKind::OptionButton);
    Control& ignore = form.AddControl("OptIgnore", ControlKind::OptionButton);

    useReg.SetValue(true);
    viewer.SetValue(true);
    EXPECT_TRUE(useReg.Value());
    EXPECT_TRUE(viewer.Value());

    sound.SetValue(true);
    EXPECT_FALSE(viewer.Value());
    EXPECT_TRUE(sound.Value());
    EXPECT_TRUE(useReg.Value()) << "another group is not touched";

    ignore.SetValue(true);
    EXPECT_FALSE(useReg.Value());
    EXPECT_TRUE(sound.Value());

    ignore.SetValue(false);
    EXPECT_FALSE(ignore.Value());
    EXPECT_FALSE(useReg.Value()) << "clearing one does not select another";
}

TEST_F(ControlTest, OptionButtonsOfAnotherFormAreNotCleared) {
    TestForm other{runtime, "OtherFrm", journal};
    Control& mine = form.AddControl("Opt1", ControlKind::OptionButton);
    Control& theirs = other.AddControl("Opt2", ControlKind::OptionButton);
    theirs.SetValue(true);
    mine.SetValue(true);
    EXPECT_TRUE(theirs.Value());
}

TEST_F(ControlTest, ListBoxKeepsItemsAndSelection) {
    Control& list = form.AddControl("AppList", ControlKind::ListBox);
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.SelectedText(), "");
    list.AddItem("Tavori Viewer");
    list.AddItem("Tavori Notes");
    ASSERT_EQ(list.ListCount(), 2);
    EXPECT_EQ(list.List(1), "Tavori Notes");

    list.SetListIndex(1);
    EXPECT_EQ(list.SelectedText(), "Tavori Notes");
    list.SetListIndex(-1);
    EXPECT_EQ(list.SelectedText(), "");

    list.SetListIndex(0);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(ControlTest, ListBoxIndexErrorsAreRunTimeErrors) {
    Control& list = form.AddControl("AppList", ControlKind::ListBox);
    list.AddItem("Tavori Viewer");
    try {
        (void)list.List(1);
        FAIL() << "List(1) of a one-entry list raised nothing";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 381);
        EXPECT_EQ(error.Text(), "Invalid property array index");
    }
    EXPECT_EQ(ErrorNumberOf([&] { (void)list.List(-1); }), 381);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetListIndex(1); }), 380);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetListIndex(-2); }), 380);
    EXPECT_EQ(list.ListIndex(), -1) << "a refused index leaves the selection";
}

TEST_F(ControlTest, FileListTakesSnapshotWhenPathOrPatternIsSet) {
    platform.files["C:\\TAVORI"] = {"a.TVS", "b.tvs", "viewer.exe"};
    Control& file1 = form.AddControl("File1", ControlKind::FileListBox);
    file1.SetPattern("*.TVS");
    EXPECT_EQ(platform.listFilesCalls, 0) << "no snapshot without a path";
    EXPECT_EQ(file1.ListCount(), 0);

    file1.SetPath("C:\\TAVORI");
    EXPECT_EQ(file1.Items(), (std::vector<std::string>{"a.TVS", "b.tvs"}));

    // Deleting a file does not change the snapshot...
    platform.files["C:\\TAVORI"] = {"b.tvs", "viewer.exe"};
    EXPECT_EQ(file1.ListCount(), 2);
    EXPECT_EQ(file1.List(0), "a.TVS");

    // ...until the pattern (or the path) is set again.
    file1.SetListIndex(0);
    file1.SetPattern("*.*");
    EXPECT_EQ(file1.Items(), (std::vector<std::string>{"b.tvs", "viewer.exe"}));
    EXPECT_EQ(file1.ListIndex(), -1);
    EXPECT_EQ(file1.Pattern(), "*.*");

    platform.files["C:\\TAVORI"] = {};
    file1.SetPath("C:\\TAVORI");
    EXPECT_EQ(file1.ListCount(), 0);
    EXPECT_EQ(platform.listFilesCalls, 3);
}

TEST_F(ControlTest, FileListErrorPropagatesAndKeepsTheOldSnapshot) {
    platform.files["C:\\TAVORI"] = {"a.wav"};
    Control& file1 = form.AddControl("File1", ControlKind::FileListBox);
    file1.SetPath("C:\\TAVORI");
    EXPECT_EQ(ErrorNumberOf([&] { file1.SetPath("C:\\MISSING"); }), 76);
    EXPECT_EQ(file1.Path(), "C:\\TAVORI");
    EXPECT_EQ(file1.Items(), std::vector<std::string>{"a.wav"});
}

TEST_F(ControlTest, DirListListsSubDirectories) {
    platform.directories["C:\\TAVORI"] = {"SLIDES", "MEDIA"};
    Control& dir1 = form.AddControl("Dir1", ControlKind::DirListBox);
    dir1.SetPath("C:\\TAVORI");
    EXPECT_EQ(dir1.ListCount(), 2);
    EXPECT_EQ(platform.listDirectoriesCalls, 1);
    EXPECT_EQ(platform.listFilesCalls, 0);
    EXPECT_EQ(ErrorNumberOf([&] { dir1.SetPath("C:\\NOWHERE"); }), 76);
    EXPECT_EQ(dir1.ListCount(), 2);
}

TEST_F(ControlTest, ListMethodsOnOtherKindsAreRefused) {
    Control& label = form.AddControl("lblMsg", ControlKind::Label);
    EXPECT_EQ(ErrorNumberOf([&] { label.AddItem("x"); }), 438);
    label.SetPath("C:\\TAVORI"); // ignored: labels list nothing
    EXPECT_EQ(platform.listFilesCalls + platform.listDirectoriesCalls, 0);
}

TEST_F(ControlTest, DdeLinkRequestAndExecute) {
    platform.ddeTopics = {"ProgMan|Progman"};
    platform.ddeReplies["PROGMAN"] = "Main\r\nTavori Software\r\n";
    Control& text1 = form.AddControl("Text1", ControlKind::TextBox);
    text1.Caption = "Text1";
    text1.LinkTopic = "progman|PROGMAN";
    text1.LinkItem = "PROGMAN";

    text1.SetLinkMode(2);
    EXPECT_EQ(text1.LinkMode(), 2);
    text1.LinkRequest();
    EXPECT_EQ(text1.Caption, "Main\r\nTavori Software\r\n");
    text1.LinkExecute("[DeleteGroup(Tavori Software)]");
    EXPECT_EQ(platform.ddeCommands, std::vector<std::string>{"[DeleteGroup(Tavori Software)]"});
    text1.SetLinkMode(0);
    EXPECT_EQ(text1.LinkMode(), 0);

    EXPECT_EQ(platform.calls,
              (std::vector<std::string>{
                  "DdeInitiate progman|PROGMAN", "DdeRequest progman|PROGMAN PROGMAN",
                  "DdeExecute progman|PROGMAN [DeleteGroup(Tavori Software)]"}));
}

TEST_F(ControlTest, DdeWithoutAnOpenLinkIsRefused) {
    Control& text1 = form.AddControl("Text1", ControlKind::TextBox);
    text1.Caption = "Text1";
    text1.LinkTopic = "ProgMan|Progman";
    text1.LinkItem = "PROGMAN";

    // Nobody answers: the error propagates and the link stays closed.
    EXPECT_EQ(ErrorNumberOf([&] { text1.SetLinkMode(2); }), 282);
    EXPECT_EQ(text1.LinkMode(), 0);

    try {
        text1.LinkRequest();
        FAIL() << "LinkRequest without a link raised nothing";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 293);
        EXPECT_EQ(error.Text(), "DDE method invoked with no channel open");
    }
    EXPECT_EQ(text1.Caption, "Text1") << "the design text stays";
    EXPECT_EQ(ErrorNumberOf([&] { text1.LinkExecute("[DeleteGroup(x)]"); }), 293);
    EXPECT_EQ(ErrorNumberOf([&] { text1.SetLinkMode(1); }), 380);
    EXPECT_EQ(platform.calls, std::vector<std::string>{"DdeInitiate ProgMan|Progman"});
}

TEST_F(ControlTest, RefusedDdeCommandPropagates) {
    platform.ddeTopics = {"Progman|Progman"};
    platform.ddeRefusesCommands = true;
    Control& text1 = form.AddControl("Text1", ControlKind::TextBox);
    text1.LinkTopic = "Progman|Progman";
    text1.SetLinkMode(2);
    EXPECT_EQ(ErrorNumberOf([&] { text1.LinkExecute("[DeleteGroup(Main)]"); }), 285);
}

TEST_F(ControlTest, FormFindsControlsByNameInStackingOrder) {
    form.AddControl("CmdCancel", ControlKind::CommandButton);
    form.AddControl("lblBack", ControlKind::Label);
    ASSERT_EQ(form.Controls().size(), 2u);
    EXPECT_EQ(form.Controls()[0]->Name(), "CmdCancel");
    EXPECT_EQ(&form["lblBack"], form.Controls()[1].get());
    EXPECT_EQ(form.Find("lblNothing"), nullptr);
    EXPECT_EQ(ErrorNumberOf([&] { (void)form["lblNothing"]; }), 5);
    EXPECT_THROW(form.AddControl("CmdCancel", ControlKind::Label), std::invalid_argument);

    TestForm other{runtime, "OtherFrm", journal};
    EXPECT_NE(form.hWnd(), other.hWnd());
    EXPECT_NE(form.hWnd(), 0);
}

TEST_F(ControlTest, RaiseRunsTheRegisteredHandler) {
    form.AddClickable("CmdOK", ControlKind::CommandButton);
    EXPECT_TRUE(form.HasHandler("CmdOK", "Click"));
    EXPECT_FALSE(form.HasHandler("CmdOK", "DblClick"));
    EXPECT_TRUE(form.Raise("CmdOK", "Click"));
    EXPECT_FALSE(form.Raise("CmdOK", "DblClick"));
    EXPECT_EQ(journal, std::vector<std::string>{"TestFrm.CmdOK_Click"});
}

} // namespace
} // namespace kestovan::forms::testing
