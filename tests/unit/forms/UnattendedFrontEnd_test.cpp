#include "forms/unattended/UnattendedFrontEnd.h"

#include "forms/FormsTestSupport.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestovan::forms::testing {
namespace {

using kestovan::testing::FakePlatform;
using Journal = std::vector<std::string>;

class UnattendedTest : public ::testing::Test {
protected:
    // Builds the front end and the runtime over the given answers file.
    void Answers(const std::string& text, const std::string& name = "answers.txt") {
        answers_.str(text);
        auto stream = std::make_unique<std::ostringstream>();
        transcriptText_ = stream.get();
        transcript_ = std::make_unique<Transcript>(std::move(stream));
        front = std::make_unique<UnattendedFrontEnd>(
            answers_, name, [this]() -> const std::string& { return statusLog; });
        runtime = std::make_unique<FormRuntime>(platform, *front, transcript_.get());
    }

    std::unique_ptr<TestForm> MakeForm(const std::string& name) {
        auto form = std::make_unique<TestForm>(*runtime, name, journal);
        form->onLoad = [f = form.get()] { f->Caption = "Tavori Software - [KESTOVAN]"; };
        return form;
    }

    // The message of the AnswersError that statement raises.
    static std::string AnswersErrorOf(const std::function<void()>& statement) {
        try {
            statement();
        } catch (const AnswersError& error) {
            return error.what();
        }
        ADD_FAILURE() << "no AnswersError";
        return {};
    }

    std::vector<std::string> TranscriptLines() const { return Lines(transcriptText_->str()); }

    Journal journal;
    std::string statusLog;
    FakePlatform platform;
    std::unique_ptr<UnattendedFrontEnd> front;
    std::unique_ptr<FormRuntime> runtime;

private:
    std::istringstream answers_;
    std::ostringstream* transcriptText_ = nullptr;
    std::unique_ptr<Transcript> transcript_;
};

TEST_F(UnattendedTest, MessageBoxesTakeAnswersInOrderSkippingCommentsAndBlankLines) {
    Answers("# welcome question, then the cancel notice\n\nno\r\n  OK \n#\nyes\n");
    EXPECT_EQ(runtime->MsgBox("Welcome", MbYesNoQuestion, "T"), IdNo);
    EXPECT_EQ(runtime->MsgBox("Canceled", MbOkInformation, "T"), IdOk);
    EXPECT_EQ(runtime->MsgBox("Sure?", MbYesNoExclamationDefaultNo, "T"), IdYes);
}

TEST_F(UnattendedTest, AnAnswerTheButtonsDoNotOfferNamesTheLineAndThePrompt) {
    Answers("ok\n");
    std::string message = AnswersErrorOf([&] {
        runtime->MsgBox("Welcome to:\r\nTavori Software", MbYesNoQuestion, "Tavori Software");
    });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "\"Tavori Software\""));
    EXPECT_TRUE(Contains(message, "Welcome to: Tavori Software"));

    Answers("\n# only yes here\nyes\n");
    message = AnswersErrorOf([&] { runtime->MsgBox("Done.", MbOkCritical, "T"); });
    EXPECT_TRUE(Contains(message, "answers.txt:3:"));
    EXPECT_TRUE(Contains(message, "Done."));

    Answers("maybe\n");
    message = AnswersErrorOf([&] { runtime->MsgBox("Sure?", MbYesNoQuestion, "T"); });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "maybe"));
}

TEST_F(UnattendedTest, RunningOutNamesTheLastLineAndWhatWaits) {
    Answers("no\n# nothing more\n");
    runtime->MsgBox("Welcome", MbYesNoQuestion, "T");
    std::string message =
        AnswersErrorOf([&] { runtime->MsgBox("KESTOVAN has been CANCELED...", 64, "T"); });
    EXPECT_TRUE(Contains(message, "answers.txt"));
    EXPECT_TRUE(Contains(message, "after line 2"));
    EXPECT_TRUE(Contains(message, "KESTOVAN has been CANCELED..."));

    Answers("");
    auto form = MakeForm("RemoveFrm");
    message = AnswersErrorOf([&] { runtime->Show(*form, 1); });
    EXPECT_TRUE(Contains(message, "ran out of answers before its first line (it holds none)"))
        << message;

    EXPECT_TRUE(Contains(message, "RemoveFrm"));
    // Answers read from standard input are said to be.
    form.reset(); // before its runtime goes
    Answers("", "-");
    message = AnswersErrorOf([&] { runtime->MsgBox("Welcome", MbYesNoQuestion, "T"); });
    EXPECT_TRUE(message.starts_with("standard input (--answers -): ran out of answers")) << message;
}

TEST_F(UnattendedTest, ADialogActionWhereAMessageBoxWaitsIsAnError) {
    Answers("RemoveFrm.CmdRemove click\n");
    const std::string message =
        AnswersErrorOf([&] { runtime->MsgBox("Are you sure?", MbYesNoQuestion, "T"); });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "Are you sure?"));
}

TEST_F(UnattendedTest, AMessageBoxAnswerWhereADialogWaitsIsAnError) {
    Answers("yes\n");
    auto form = MakeForm("SelectDirFrm");
    const std::string message = AnswersErrorOf([&] { runtime->Show(*form, 1); });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "SelectDirFrm"));
}

TEST_F(UnattendedTest, AModalFormTakesOnlyActionsAddressedToIt) {
    Answers("RemoveFrm.CmdRemove click\nShortcutFrm close\n");
    auto main = MakeForm("RemoveFrm");
    main->AddClickable("CmdRemove", ControlKind::CommandButton);
    auto modal = MakeForm("ShortcutFrm");
    runtime->Show(*main);
    const std::string message = AnswersErrorOf([&] { runtime->Show(*modal, 1); });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "ShortcutFrm"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "RemoveFrm.CmdRemove_Click"), 0);
}

TEST_F(UnattendedTest, DialogActionsDriveTheControlsAndAreRecorded) {
    Answers("SelFrm.AppList select 1\n"
            "SelFrm.AppList select \"Tavori Viewer\"\n"
            "# the registry option\n"
            "SelFrm.OptUseData set\n"
            "SelFrm.CmdContinue click\n");
    auto form = MakeForm("SelFrm");
    Control& list = form->AddClickable("AppList", ControlKind::ListBox);
    list.AddItem("Tavori Viewer");
    list.AddItem("Tavori Sound");
    Control& useReg = form->AddControl("OptUseReg", ControlKind::OptionButton);
    useReg.SetValue(true);
    Control& useData = form->AddClickable("OptUseData", ControlKind::OptionButton);
    form->AddClickable("CmdContinue", ControlKind::CommandButton, [&] {
        journal.push_back("selected " + list.SelectedText());
        runtime->Unload(*form);
    });

    runtime->Show(*form, 1);
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_TRUE(useData.Value());
    EXPECT_FALSE(useReg.Value());
    EXPECT_EQ(journal, (Journal{"SelFrm.Form_Load", "SelFrm.AppList_Click", "SelFrm.AppList_Click",
                                "SelFrm.OptUseData_Click", "SelFrm.CmdContinue_Click",
                                "selected Tavori Viewer", "SelFrm.Form_QueryUnload 1",
                                "SelFrm.Form_Unload"}));
    const auto lines = TranscriptLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(Contains(lines[0], R"("event":"show","form":"SelFrm","modal":true)"));
    EXPECT_EQ(lines[1], R"({"event":"action","line":1,"text":"SelFrm.AppList select 1"})");
    EXPECT_EQ(lines[2],
              R"({"event":"action","line":2,"text":"SelFrm.AppList select \"Tavori Viewer\""})");
    EXPECT_EQ(lines[3], R"({"event":"action","line":4,"text":"SelFrm.OptUseData set"})");
    EXPECT_EQ(lines[4], R"({"event":"action","line":5,"text":"SelFrm.CmdContinue click"})");
}

// Found by fuzz/answers: "click" on an option button raised its Click
// without selecting it, so its handler saw a button the user had not set.
TEST_F(UnattendedTest, ClickOnAnOptionButtonSelectsItFirst) {
    Answers("SelFrm.OptUseData click\nSelFrm.CmdContinue click\n");
    auto form = MakeForm("SelFrm");
    Control& useReg = form->AddControl("OptUseReg", ControlKind::OptionButton);
    useReg.SetValue(true);
    Control& useData = form->AddControl("OptUseData", ControlKind::OptionButton);
    bool setWhenClicked = false;
    form->On("OptUseData", "Click", [&] { setWhenClicked = useData.Value(); });
    form->AddClickable("CmdContinue", ControlKind::CommandButton, [&] { runtime->Unload(*form); });

    runtime->Show(*form, 1);
    EXPECT_TRUE(setWhenClicked);
    EXPECT_TRUE(useData.Value());
    EXPECT_FALSE(useReg.Value());
}

// Found by fuzz/answers: "click" on a list with no entry selected raised its
// Click with ListIndex -1, which no user's click can do.
TEST_F(UnattendedTest, ClickOnAListNeedsASelectedEntry) {
    Answers("SelFrm.AppList click\n");
    auto form = MakeForm("SelFrm");
    Control& list = form->AddClickable("AppList", ControlKind::ListBox);
    list.AddItem("Tavori Viewer");
    const std::string message = AnswersErrorOf([&] { runtime->Show(*form, 1); });
    EXPECT_TRUE(Contains(message, "answers.txt:1:"));
    EXPECT_TRUE(Contains(message, "SelFrm.AppList has no entry selected"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "SelFrm.AppList_Click"), 0);
}

TEST_F(UnattendedTest, ClickOnAListClicksItsSelectedEntry) {
    Answers("SelFrm.AppList click\nSelFrm close\n");
    auto form = MakeForm("SelFrm");
    form->AddClickable("AppList", ControlKind::ListBox).AddItem("Tavori Viewer");
    (*form)["AppList"].SetListIndex(0);
    runtime->Show(*form, 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "SelFrm.AppList_Click"), 1);
}

TEST_F(UnattendedTest, CloseIsTheWindowsCloseBox) {
    Answers("DoneFrm close\n");
    auto form = MakeForm("DoneFrm");
    runtime->Show(*form, 1);
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(journal,
              (Journal{"DoneFrm.Form_Load", "DoneFrm.Form_QueryUnload 0", "DoneFrm.Form_Unload"}));
}

TEST_F(UnattendedTest, ActionsOnControlsTheUserCannotReachAreErrors) {
    const auto errorFor = [&](const std::string& line) {
        Answers("# first\n" + line + "\n");
        journal.clear();
        auto form = MakeForm("RemoveFrm");
        form->AddClickable("CmdRemove", ControlKind::CommandButton).Enabled = false;
        form->AddClickable("File1", ControlKind::FileListBox).Visible = false;
        form->AddClickable("AppList", ControlKind::ListBox).AddItem("Tavori Viewer");
        form->AddClickable("CmdCancel", ControlKind::CommandButton);
        std::string message = AnswersErrorOf([&] { runtime->Show(*form, 1); });
        EXPECT_TRUE(Contains(message, "answers.txt:2:")) << line;
        EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                                [](const std::string& e) { return e.ends_with("_Click"); }),
                  0)
            << line;
        return message;
    };
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.CmdRemove click"), "disabled"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.File1 select 0"), "not visible"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.AppList select 1"), "no entry 1"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.AppList select \"Tavori Notes\""), "Tavori Notes"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.CmdCancel set"), "not an option button"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.lblNone click"), "no control lblNone"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.CmdCancel push"), "push"));
    EXPECT_TRUE(Contains(errorFor("RemoveFrm.AppList select x"), "select N"));
}

TEST_F(UnattendedTest, EventLoopTakesActionsUntilNoFormIsVisible) {
    Answers("WaitFrm.CmdCancel click\nRemoveFrm.CmdCancel click\n");
    auto main = MakeForm("RemoveFrm");
    auto wait = MakeForm("WaitFrm");
    auto hidden = MakeForm("HiddenFrm");
    main->AddClickable("CmdCancel", ControlKind::CommandButton, [&] { runtime->Unload(*main); });
    wait->AddClickable("CmdCancel", ControlKind::CommandButton, [&] { runtime->Hide(*wait); });
    runtime->Show(*main);
    runtime->Show(*wait);
    runtime->Load(*hidden);

    front->RunEventLoop(*runtime);
    EXPECT_FALSE(main->IsLoaded());
    EXPECT_FALSE(wait->IsVisible());
    EXPECT_TRUE(hidden->IsLoaded()) << "a loaded hidden form does not keep the loop going";
}

TEST_F(UnattendedTest, EventLoopRunningOutNamesTheVisibleForms) {
    Answers("");
    auto main = MakeForm("RemoveFrm");
    runtime->Show(*main);
    EXPECT_TRUE(Contains(AnswersErrorOf([&] { front->RunEventLoop(*runtime); }), "RemoveFrm"));
}

class ArmedCancelTest : public UnattendedTest {
protected:
    // The progress dialog as the program has it: its Cancel disables itself,
    // lets events run, and raises the flag.
    void ShowWaitForm(const std::string& answers) {
        wait.reset(); // a form does not outlive its runtime
        Answers(answers);
        wait = MakeForm("RemoveWaitFrm");
        cancel = &wait->AddControl("CmdCancel", ControlKind::CommandButton);
        wait->On("CmdCancel", "Click", [this] {
            cancel->Enabled = false;
            runtime->DoEvents();
            ++cancelClicks;
        });
        runtime->Show(*wait);
    }

    std::unique_ptr<TestForm> wait;
    Control* cancel = nullptr;
    int cancelClicks = 0;
};

TEST_F(ArmedCancelTest, ClickFiresOnceAtTheFirstDoEventsAfterTheMatchingLine) {
    statusLog = ">>  header  <<\r\n";
    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"(+) SLIDES\"\nok\n");

    runtime->DoEvents();
    statusLog += "(+) The Tavori Viewer program files were removed.\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 0);

    statusLog += "(+) SLIDES directory was removed.\r\n";
    EXPECT_EQ(cancelClicks, 0) << "nothing happens between DoEvents";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 1);
    EXPECT_FALSE(cancel->Enabled);

    statusLog += "(+) SLIDES again\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 1);

    // The armed line was taken when the form was shown: the next answer is ok.
    EXPECT_EQ(runtime->MsgBox("KESTOVAN has been canceled...", MbOkCritical, "T"), IdOk);
    const auto lines = TranscriptLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], R"("event":"show","form":"RemoveWaitFrm")"));
    EXPECT_EQ(
        lines[1],
        R"({"event":"action","line":1,"text":"RemoveWaitFrm.CmdCancel click after \"(+) SLIDES\""})");
}

TEST_F(ArmedCancelTest, TextAlreadyInTheLogWhenArmedDoesNotCount) {
    statusLog = "(*) step 7\r\n";
    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"step 7\"\n");
    runtime->DoEvents();
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 0);
    statusLog += "(*) step 7 once more\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 1);
}

TEST_F(ArmedCancelTest, TextSplitOverTwoAppendsIsFound) {
    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"screen saver\"\n");
    statusLog += "(+) The scr";
    runtime->DoEvents();
    statusLog += "een saver was removed.\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 1);
}

TEST_F(ArmedCancelTest, ALogReplacedByAShorterTextIsSearchedFromItsStart) {
    statusLog = std::string(200, '.');
    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"(-) wallpaper\"\n");
    runtime->DoEvents();
    statusLog = "(-) wallpaper\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 1);
}

TEST_F(ArmedCancelTest, NoClickOnADisabledButtonOrAnUnloadedForm) {
    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"(+)\"\n");
    cancel->Enabled = false;
    statusLog += "(+) x\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 0);
    cancel->Enabled = true;
    statusLog += "(+) y\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 0) << "the armed click is spent";

    ShowWaitForm("RemoveWaitFrm.CmdCancel click after \"(+)\"\n");
    runtime->Unload(*wait);
    statusLog += "(+) z\r\n";
    runtime->DoEvents();
    EXPECT_EQ(cancelClicks, 0);
}

TEST_F(ArmedCancelTest, AnAfterLineElsewhereIsAnError) {
    Answers("yes\nRemoveWaitFrm.CmdCancel click after \"x\"\n");
    auto wait = MakeForm("RemoveWaitFrm");
    wait->AddControl("CmdCancel", ControlKind::CommandButton);
    runtime->Show(*wait); // the next line is not for it
    runtime->MsgBox("Sure?", MbYesNoQuestion, "T");
    const std::string message = AnswersErrorOf([&] { runtime->MsgBox("Sure?", 36, "T"); });
    EXPECT_TRUE(Contains(message, "answers.txt:2:"));
}

} // namespace
} // namespace kestovan::forms::testing
