#include "forms/console/ConsoleFrontEnd.h"

#include "forms/FormsTestSupport.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestovan::forms::testing {
namespace {

using kestovan::testing::FakePlatform;
using Journal = std::vector<std::string>;

class ConsoleTest : public ::testing::Test {
protected:
    void Input(const std::string& text, std::function<bool()> inputWaiting = {}) {
        in_.str(text);
        out_.str("");
        front = std::make_unique<ConsoleFrontEnd>(in_, out_, std::move(inputWaiting));
        runtime = std::make_unique<FormRuntime>(platform, *front, nullptr);
    }
    std::string Output() const { return out_.str(); }

    // A dialog in the manner of the application chooser: a caption set at
    // load, labels, a list, two buttons with access keys, two options.
    std::unique_ptr<TestForm> MakeChooser() {
        auto form = std::make_unique<TestForm>(*runtime, "RemoveFrm", journal);
        TestForm& f = *form;
        form->onLoad = [&f] { f.Caption = "Tavori Software - [KESTOVAN]"; };
        Control& cancel = f.AddClickable("CmdCancel", ControlKind::CommandButton,
                                         [this, &f] { runtime->Unload(f); });
        cancel.Caption = "&Cancel";
        cancel.Position = {1800, 4560, 2175, 495};
        Control& remove = f.AddClickable("CmdRemove", ControlKind::CommandButton);
        remove.Caption = "&Remove";
        remove.Position = {4080, 4560, 2175, 495};
        Control& list = f.AddClickable("AppList", ControlKind::ListBox);
        list.AddItem("Tavori Viewer");
        list.AddItem("Tavori Sound");
        list.SetListIndex(0);
        list.Position = {960, 2760, 4695, 840};
        Control& message = f.AddControl("lblMsg", ControlKind::Label);
        message.Caption = "Select the program.";
        message.Position = {960, 3720, 4695, 615};
        Control& path = f.AddClickable("lblPath", ControlKind::Label);
        path.Caption = "C:\\TAVORI\\";
        path.Position = {120, 2040, 6375, 255};
        Control& header = f.AddControl("lblHeader", ControlKind::Label);
        header.Caption = "Header line";
        header.Position = {1200, 225, 4575, 390};
        Control& hidden = f.AddControl("Text1", ControlKind::TextBox);
        hidden.Caption = "Text1 hidden";
        hidden.Visible = false;
        Control& first = f.AddClickable("OptFirst", ControlKind::OptionButton);
        first.Caption = "&First way";
        first.Position = {360, 4000, 2000, 255};
        Control& second = f.AddClickable("OptSecond", ControlKind::OptionButton);
        second.Caption = "Second way";
        second.Position = {360, 4200, 2000, 255};
        second.Enabled = false;
        first.SetValue(true);
        return form;
    }

    Journal journal;
    FakePlatform platform;
    std::unique_ptr<ConsoleFrontEnd> front;
    std::unique_ptr<FormRuntime> runtime;

private:
    std::istringstream in_;
    std::ostringstream out_;
};

TEST_F(ConsoleTest, MessageBoxIsFramedWithTitlePromptLinesAndButtons) {
    Input("y\n");
    EXPECT_EQ(runtime->MsgBox("Welcome to:\r\nTavori Software - [KESTOVAN]\r\n\r\nPLEASE NOTE:",
                              MbYesNoQuestion, "Tavori Software - [KESTOVAN]"),
              IdYes);
    const auto lines = Lines(Output());
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[1], "+" + std::string(74, '-') + "+");
    EXPECT_TRUE(Contains(lines[2], "| (?) Tavori Software - [KESTOVAN]"));
    EXPECT_EQ(lines[2].size(), 76u);
    EXPECT_TRUE(Contains(lines[4], "| Welcome to:"));
    EXPECT_TRUE(Contains(lines[5], "| Tavori Software - [KESTOVAN]"));
    EXPECT_EQ(lines[6], "|" + std::string(74, ' ') + "|");
    EXPECT_TRUE(Contains(lines[7], "| PLEASE NOTE:"));
    EXPECT_EQ(lines[9], "  y/n, Enter = Yes, ? = help");
}

TEST_F(ConsoleTest, MessageBoxAnswersAndDefaults) {
    Input("no\nN\nYES\n\n\n\nmaybe\no\nok\n");
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t"), IdNo);
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t"), IdNo);
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoExclamationDefaultNo, "t"), IdYes);
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t"), IdYes) << "Enter = Yes for 36";
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoExclamationDefaultNo, "t"), IdNo) << "Enter = No for 308";
    EXPECT_EQ(runtime->MsgBox("p", MbOkExclamation, "t"), IdOk);
    EXPECT_EQ(runtime->MsgBox("p", MbOkInformation, "t"), IdOk) << "after one wrong answer";
    EXPECT_TRUE(Contains(Output(), "Please answer o or press Enter."));
    EXPECT_EQ(runtime->MsgBox("p", MbOkCritical, "t"), IdOk);
}

TEST_F(ConsoleTest, EndOfInputAnswersNoOrOk) {
    Input("");
    EXPECT_EQ(runtime->MsgBox("Delete this directory now?", MbYesNoQuestion, "t"), IdNo);
    EXPECT_EQ(runtime->MsgBox("Done.", MbOkInformation, "t"), IdOk);
    EXPECT_EQ(runtime->MsgBox("Again?", MbYesNoQuestion, "t"), IdNo);
}

TEST_F(ConsoleTest, PanelShowsTheDialogInReadingOrder) {
    Input("");
    auto form = MakeChooser();
    runtime->Show(*form);
    const std::string out = Output();
    const std::vector<std::string> expected = {
        "== Tavori Software - [KESTOVAN] ==",
        "  Header line",
        "  [3] C:\\TAVORI\\",
        "    [1] > Tavori Viewer",
        "    [2]   Tavori Sound",
        "  Select the program.",
        "  [4] (\u2022) [F]irst way",
        "  [5] ( ) Second way  (disabled)",
        "  [C]ancel  [R]emove ",
    };
    std::size_t at = 0;
    for (const std::string& line : expected) {
        const std::size_t found = out.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << out;
        at = found + line.size();
    }
    EXPECT_EQ(out.find("Text1 hidden"), std::string::npos) << "hidden controls are not drawn";
}

TEST_F(ConsoleTest, DisabledButtonsAreMarkedAndRefused) {
    Input("r\nclose\n");
    auto form = MakeChooser();
    (*form)["CmdRemove"].Enabled = false;
    runtime->Show(*form, 1);
    EXPECT_TRUE(Contains(Output(), "(Remove: disabled)"));
    EXPECT_TRUE(Contains(Output(), "\"Remove\" is not available now."));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "RemoveFrm.CmdRemove_Click"), 0);
}

TEST_F(ConsoleTest, ShortCommandsSelectClickAndSet) {
    Input("2\n3\nf\nR\nRemoveFrm.AppList select 0\n?\nbogus\n42\nc\n");
    auto form = MakeChooser();
    (*form)["OptSecond"].SetValue(true);
    runtime->Show(*form, 1);
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(journal,
              (Journal{"RemoveFrm.Form_Load", "RemoveFrm.AppList_Click", "RemoveFrm.lblPath_Click",
                       "RemoveFrm.OptFirst_Click", "RemoveFrm.CmdRemove_Click",
                       "RemoveFrm.AppList_Click", "RemoveFrm.CmdCancel_Click",
                       "RemoveFrm.Form_QueryUnload 1", "RemoveFrm.Form_Unload"}));
    EXPECT_TRUE((*form)["OptFirst"].Value());
    EXPECT_EQ((*form)["AppList"].ListIndex(), 0);
    EXPECT_TRUE(Contains(Output(), "Keys for this window:"));
    EXPECT_TRUE(Contains(Output(), "Unknown command"));
    EXPECT_TRUE(Contains(Output(), "There is no entry 42."));
}

// Enter presses the dialog's default button and Esc its Cancel button.
TEST_F(ConsoleTest, EnterAndEscPressTheDefaultAndCancelButtons) {
    Input("\n\x1b\n");
    auto form = MakeChooser();
    (*form)["CmdRemove"].IsDefault = true;
    (*form)["CmdCancel"].IsCancel = true;
    runtime->Show(*form, 1);
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(journal, (Journal{"RemoveFrm.Form_Load", "RemoveFrm.CmdRemove_Click",
                                "RemoveFrm.CmdCancel_Click", "RemoveFrm.Form_QueryUnload 1",
                                "RemoveFrm.Form_Unload"}));
}

// A dialog without them is only shown again (Enter) or says so (Esc).
TEST_F(ConsoleTest, WithoutDefaultAndCancelButtonsEnterShowsAndEscSaysSo) {
    Input("\nesc\nshow\nc\n");
    auto plain = MakeChooser();
    runtime->Show(*plain, 1);
    EXPECT_EQ(journal, (Journal{"RemoveFrm.Form_Load", "RemoveFrm.CmdCancel_Click",
                                "RemoveFrm.Form_QueryUnload 1", "RemoveFrm.Form_Unload"}));
    EXPECT_TRUE(Contains(Output(), "This window has no Cancel button."));
}

TEST_F(ConsoleTest, AModalDialogTakesFullActionsForItselfOnly) {
    Input("OtherFrm.CmdGo click\nDoneFrm close\n");
    auto other = std::make_unique<TestForm>(*runtime, "OtherFrm", journal);
    other->AddClickable("CmdGo", ControlKind::CommandButton).Caption = "&Go";
    auto done = std::make_unique<TestForm>(*runtime, "DoneFrm", journal);
    runtime->Show(*other);
    runtime->Show(*done, 1);
    EXPECT_FALSE(done->IsLoaded());
    EXPECT_TRUE(Contains(Output(), "DoneFrm is waiting for an answer first."));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "OtherFrm.CmdGo_Click"), 0);
}

TEST_F(ConsoleTest, EndOfInputClosesTheTopmostDialog) {
    Input("");
    auto main = MakeChooser();
    auto wait = std::make_unique<TestForm>(*runtime, "WaitFrm", journal);
    runtime->Show(*main);
    runtime->Show(*wait);
    journal.clear();
    front->RunEventLoop(*runtime);
    EXPECT_EQ(journal, (Journal{"WaitFrm.Form_QueryUnload 0", "WaitFrm.Form_Unload",
                                "RemoveFrm.Form_QueryUnload 0", "RemoveFrm.Form_Unload"}));
}

TEST_F(ConsoleTest, ADialogRefusingToCloseAtEndOfInputDoesNotLoopForever) {
    Input("bogus\n");
    auto form = std::make_unique<TestForm>(*runtime, "StubbornFrm", journal);
    form->onQueryUnload = [](int& cancel, int) { cancel = 1; };
    EXPECT_THROW(runtime->Show(*form, 1), AnswersError);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "StubbornFrm.Form_QueryUnload 0"), 1);
}

// While the program works it calls DoEvents; a line typed meanwhile on a
// terminal is a command for the window on top (the wait window's Cancel).
TEST_F(ConsoleTest, ALineTypedWhileTheProgramWorksIsCarriedOutByDoEvents) {
    int looks = 0;
    Input("r\n", [&looks] {
        ++looks;
        return true;
    });
    auto form = MakeChooser();
    runtime->Show(*form);
    runtime->DoEvents();
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "RemoveFrm.CmdRemove_Click"), 1);
}

TEST_F(ConsoleTest, DoEventsLeavesInputFromAFileOrAPipeForTheQuestions) {
    Input("r\n");
    auto form = MakeChooser();
    runtime->Show(*form);
    runtime->DoEvents();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "RemoveFrm.CmdRemove_Click"), 0);
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t"), IdNo) << "r is no answer; input ends";
}

TEST_F(ConsoleTest, DoEventsReadsNothingUntilALineIsTyped) {
    Input("r\n", [] { return false; });
    auto form = MakeChooser();
    runtime->Show(*form);
    runtime->DoEvents();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "RemoveFrm.CmdRemove_Click"), 0);
}

TEST_F(ConsoleTest, EndOfInputWhileTheProgramWorksClosesNothing) {
    Input("", [] { return true; });
    auto form = MakeChooser();
    runtime->Show(*form);
    runtime->DoEvents();
    EXPECT_TRUE(form->IsLoaded());
    EXPECT_TRUE(form->IsVisible());
}

} // namespace
} // namespace kestovan::forms::testing
