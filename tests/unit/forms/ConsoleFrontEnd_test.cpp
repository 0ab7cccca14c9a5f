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
    void Input(const std::string& text, std::function<bool()> inputWaiting = {},
               bool preview = false) {
        in_.str(text);
        out_.str("");
        front = std::make_unique<ConsoleFrontEnd>(in_, out_, std::move(inputWaiting), preview);
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

// --- What a person reads -----------------------------------------------------

// The names the program gives its windows and controls never reach the
// screen: windows are headed by their captions, the prompt is plain, and
// refusals name buttons by their captions.
TEST_F(ConsoleTest, NoFormOrControlNamesReachTheScreen) {
    Input("?\n3\nr\n\nbogus\n9\nx\n");
    auto form = MakeChooser();
    (*form)["CmdRemove"].Enabled = false;
    (*form)["CmdCancel"].IsCancel = true;
    (*form)["lblPath"].ToolTipText = "This shows the location of the files to be removed.";
    runtime->Show(*form, 1);
    const std::string out = Output();
    for (const char* name : {"RemoveFrm", "CmdRemove", "CmdCancel", "lblPath", "AppList",
                             "OptFirst", "OptSecond", "(buttons", "end of input"})
        EXPECT_EQ(out.find(name), std::string::npos) << name << " in:\n" << out;
    EXPECT_TRUE(Contains(out, "\n> "));
    EXPECT_TRUE(Contains(out, "\"Remove\" is not available now."));
    // The number before the path is explained where it stands.
    EXPECT_TRUE(Contains(out, "  [3] C:\\TAVORI\\\n"
                              "      (This shows the location of the files to be removed. Type 3 "
                              "to see\n      more about it.)\n"))
        << out;
    EXPECT_TRUE(Contains(out, "(the input ended: the window is closed)"));
}

TEST_F(ConsoleTest, AHintStandsUnderEveryWindowAndQuestion) {
    Input("");
    auto form = MakeChooser();
    (*form)["CmdRemove"].IsDefault = true;
    (*form)["CmdCancel"].IsCancel = true;
    runtime->Show(*form);
    EXPECT_TRUE(Contains(Output(), "  [C]ancel  [R]emove \n  1-5 = choose, letter in [ ] = press, "
                                   "Enter = Remove, Esc = Cancel, ? = help\n"))
        << Output();
    runtime->MsgBox("Delete?", MbYesNoQuestion, "t");
    EXPECT_TRUE(Contains(Output(), "-+\n  y/n, Enter = Yes, ? = help\n> "));
    runtime->MsgBox("Sure?", MbYesNoExclamationDefaultNo, "t");
    EXPECT_TRUE(Contains(Output(), "-+\n  y/n, Enter = No, ? = help\n> "));
    runtime->MsgBox("Done.", MbOkInformation, "t");
    EXPECT_TRUE(Contains(Output(), "-+\n  Enter = OK, ? = help\n> "));
}

TEST_F(ConsoleTest, QuestionMarkShowsTheKeysOfTheWindowOrTheQuestion) {
    Input("?\nc\n?\ny\n");
    auto form = MakeChooser();
    (*form)["CmdRemove"].IsDefault = true;
    (*form)["CmdCancel"].IsCancel = true;
    runtime->Show(*form, 1);
    const std::string keys = Output();
    for (const char* line :
         {"  Keys for this window:\n", "    1        select \"Tavori Viewer\"\n",
          "    2        select \"Tavori Sound\"\n", "    3        more about \"C:\\TAVORI\\\"\n",
          "    4        choose \"First way\"\n",
          "    5        choose \"Second way\"  (not available now)\n",
          "    c        press Cancel\n", "    r        press Remove\n",
          "    f        choose First way\n", "    Enter    press Remove\n",
          "    Esc      press Cancel", "    ?        this help\n"})
        EXPECT_TRUE(Contains(keys, line)) << line << "\n" << keys;
    EXPECT_FALSE(form->IsLoaded()) << "c pressed Cancel after the help";

    EXPECT_EQ(runtime->MsgBox("Delete?", MbYesNoQuestion, "t"), IdYes) << "after the help";
    EXPECT_TRUE(Contains(Output(), "  Keys for this question:\n    y        answer Yes\n"
                                   "    n        answer No\n    Enter    answer Yes\n"));
}

// A question that deletes the user's own files takes no Enter default: y or
// n must be typed; the hint and ? say so.  The end of the input still
// answers No.
TEST_F(ConsoleTest, AQuestionWithoutDefaultWantsYOrNTyped) {
    Input("\n\n?\ny\n\nn\n");
    EXPECT_EQ(
        runtime->MsgBox("Found 3 image file(s)", MbYesNoQuestion, "t", DefaultAnswer::Refused),
        IdYes);
    const std::string out = Output();
    EXPECT_TRUE(Contains(out, "-+\n  y/n (type y or n: Enter alone does not answer this), ? = "
                              "help\n> "))
        << out;
    const auto lines = Lines(out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         ">   Type y or n: Enter alone does not answer this question."),
              2)
        << out;
    EXPECT_TRUE(Contains(out, "    Enter    nothing: type y or n\n"));
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t", DefaultAnswer::Refused), IdNo);
    // An OK box has nothing to choose: Enter answers it all the same.
    Input("\n");
    EXPECT_EQ(runtime->MsgBox("Done.", MbOkInformation, "t", DefaultAnswer::Refused), IdOk);
    Input("");
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t", DefaultAnswer::Refused), IdNo);
    EXPECT_TRUE(Contains(Output(), "(the input ended: answered No)"));
}

// While the wait window works, Cancel typed at one of the questions of its
// run is refused with a line that says when it can be pressed.
TEST_F(ConsoleTest, CancelAtAQuestionWhileTheWaitWindowWorksIsRefused) {
    Input("c\n\x1b\nn\n");
    auto wait = std::make_unique<TestForm>(*runtime, "WaitFrm", journal);
    Control& cancel = wait->AddClickable("CmdCancel", ControlKind::CommandButton);
    cancel.Caption = "&Cancel";
    cancel.IsCancel = true;
    runtime->Show(*wait);
    EXPECT_EQ(runtime->MsgBox("Found 3 image file(s)", MbYesNoQuestion, "t"), IdNo);
    const std::string refusal = "  Cancel cannot be pressed at a question: answer it, then press "
                                "Cancel between questions (c, then Enter), or press Ctrl-C.";
    const auto lines = Lines(Output());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return Contains(line, refusal); }),
              2)
        << Output();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "WaitFrm.CmdCancel_Click"), 0);

    // Without a working window, c is just no answer.
    runtime->Unload(*wait);
    wait.reset(); // before its runtime goes
    Input("c\nn\n");
    EXPECT_EQ(runtime->MsgBox("p", MbYesNoQuestion, "t"), IdNo);
    EXPECT_TRUE(Contains(Output(), "Please answer y or n."));
    EXPECT_FALSE(Contains(Output(), "Ctrl-C"));
}

// A question asked by the window whose button was pressed is not asked
// while it works: Cancel there is no answer either, and says nothing of
// Ctrl-C.
TEST_F(ConsoleTest, CancelAtAQuestionOfTheWindowOnTopIsNoAnswer) {
    Input("g\nc\nn\nclose\n");
    auto form = std::make_unique<TestForm>(*runtime, "AskFrm", journal);
    Control& cancel = form->AddClickable("CmdCancel", ControlKind::CommandButton);
    cancel.Caption = "&Cancel";
    cancel.IsCancel = true;
    form->AddClickable("CmdGo", ControlKind::CommandButton,
                       [this] {
                           journal.push_back(
                               runtime->MsgBox("Go?", MbYesNoQuestion, "t") == IdNo ? "no" : "yes");
                       })
        .Caption = "&Go";
    runtime->Show(*form, 1);
    EXPECT_TRUE(Contains(Output(), "Please answer y or n."));
    EXPECT_FALSE(Contains(Output(), "Ctrl-C"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "no"), 1);
}

TEST_F(ConsoleTest, APreviewSaysSoAboveEveryWindowAndMessageBox) {
    Input("", {}, true);
    auto form = MakeChooser();
    runtime->MsgBox("Welcome", MbYesNoQuestion, "t");
    runtime->Show(*form);
    runtime->MsgBox("Done.", MbOkInformation, "t");
    const auto lines = Lines(Output());
    int banners = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "PREVIEW \u2014 nothing will be changed")
            continue;
        ++banners;
        ASSERT_LT(i + 1, lines.size());
        EXPECT_TRUE(lines[i + 1].starts_with("+---") || lines[i + 1].starts_with("== "))
            << lines[i + 1];
    }
    EXPECT_EQ(banners, 3) << Output();

    form.reset(); // before its runtime goes
    Input("");
    runtime->MsgBox("Welcome", MbYesNoQuestion, "t");
    EXPECT_FALSE(Contains(Output(), "PREVIEW")) << "not in a run that changes the machine";
}

TEST_F(ConsoleTest, AWindowRefusingToCloseAtTheEndOfTheInputIsNamedByItsCaption) {
    Input("");
    auto form = std::make_unique<TestForm>(*runtime, "StubbornFrm", journal);
    form->Caption = "Tavori Software - [KESTOVAN]";
    form->onQueryUnload = [](int& cancel, int) { cancel = 1; };
    try {
        runtime->Show(*form, 1);
        ADD_FAILURE() << "no AnswersError";
    } catch (const AnswersError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the input ended while the window \"Tavori Software - [KESTOVAN]\" was "
                  "waiting, and it would not close");
    }
}

} // namespace
} // namespace kestovan::forms::testing
