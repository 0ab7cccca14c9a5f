#include "forms/FormRuntime.h"

#include "forms/FormsTestSupport.h"
#include "platform/RuntimeError.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestovan::forms::testing {
namespace {

using kestovan::testing::FakePlatform;
using Journal = std::vector<std::string>;

class FormRuntimeTest : public ::testing::Test {
protected:
    Journal journal;
    FakePlatform platform;
    ScriptedFrontEnd front{journal};
    FormRuntime runtime{platform, front, nullptr};
};

TEST_F(FormRuntimeTest, LoadRunsFormLoadOnceAndRegistersTheForm) {
    TestForm a{runtime, "AFrm", journal};
    TestForm b{runtime, "BFrm", journal};
    runtime.Load(b);
    runtime.Load(a);
    runtime.Load(b);
    EXPECT_EQ(journal, (Journal{"BFrm.Form_Load", "AFrm.Form_Load"}));
    EXPECT_EQ(runtime.LoadedForms(), (std::vector<Form*>{&b, &a}));
    EXPECT_EQ(runtime.FindLoaded("AFrm"), &a);
    EXPECT_EQ(runtime.FindLoaded("CFrm"), nullptr);
    EXPECT_TRUE(a.IsLoaded());
    EXPECT_FALSE(a.IsVisible());
}

TEST_F(FormRuntimeTest, ModelessShowLoadsThenShowsAndReturns) {
    TestForm form{runtime, "WaitFrm", journal};
    form.onLoad = [&] { form.Caption = "Loaded caption"; };
    std::vector<std::string> observed;
    runtime.OnShow([&](Form& shown) { journal.push_back("observer " + shown.Caption); });

    runtime.Show(form);
    EXPECT_TRUE(form.IsVisible());
    EXPECT_FALSE(form.IsModal());
    EXPECT_EQ(journal,
              (Journal{"WaitFrm.Form_Load", "observer Loaded caption", "shown WaitFrm modeless"}));

    journal.clear();
    runtime.Show(form); // already on the screen
    EXPECT_TRUE(journal.empty());
}

TEST_F(FormRuntimeTest, ModalShowReturnsWhenTheFormIsHidden) {
    TestForm form{runtime, "DoneFrm", journal};
    front.modalSteps.push_back([&] { EXPECT_TRUE(form.IsModal()); });
    front.modalSteps.push_back([&] { runtime.Hide(form); });
    runtime.Show(form, 1);
    EXPECT_EQ(journal, (Journal{"DoneFrm.Form_Load", "shown DoneFrm modal", "RunModal DoneFrm",
                                "hidden DoneFrm", "RunModal DoneFrm returns"}));
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.IsVisible());
    EXPECT_FALSE(form.IsModal());
}

TEST_F(FormRuntimeTest, ModalShowReturnsWhenTheFormIsUnloaded) {
    TestForm form{runtime, "DoneFrm", journal};
    bool unloaded = false;
    front.modalSteps.push_back([&] { unloaded = runtime.Unload(form); });
    runtime.Show(form, 1);
    EXPECT_TRUE(unloaded);
    EXPECT_EQ(journal, (Journal{"DoneFrm.Form_Load", "shown DoneFrm modal", "RunModal DoneFrm",
                                "DoneFrm.Form_QueryUnload 1", "DoneFrm.Form_Unload",
                                "hidden DoneFrm", "RunModal DoneFrm returns"}));
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_TRUE(runtime.LoadedForms().empty());
}

TEST_F(FormRuntimeTest, ShowingAVisibleFormModallyIsAnError) {
    TestForm form{runtime, "WaitFrm", journal};
    runtime.Show(form);
    try {
        runtime.Show(form, 1);
        FAIL() << "modal show of a visible form raised nothing";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 400);
    }
}

TEST_F(FormRuntimeTest, QueryUnloadCancelRefusesTheClose) {
    TestForm form{runtime, "RemoveFrm", journal};
    form.onQueryUnload = [](int& cancel, int) { cancel = -1; };
    runtime.Show(form);
    journal.clear();

    EXPECT_FALSE(runtime.Close(form));
    EXPECT_EQ(journal, Journal{"RemoveFrm.Form_QueryUnload 0"}) << "no Form_Unload after a refusal";
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_TRUE(form.IsVisible());
    EXPECT_EQ(runtime.FindLoaded("RemoveFrm"), &form);
}

TEST_F(FormRuntimeTest, FormUnloadCancelRefusesTheUnload) {
    TestForm form{runtime, "RemoveFrm", journal};
    form.onUnload = [](int& cancel) { cancel = 1; };
    runtime.Show(form);
    journal.clear();
    EXPECT_FALSE(runtime.Unload(form));
    EXPECT_EQ(journal, (Journal{"RemoveFrm.Form_QueryUnload 1", "RemoveFrm.Form_Unload"}));
    EXPECT_TRUE(form.IsVisible());
}

TEST_F(FormRuntimeTest, CloseOfAHiddenFormUnloadsItWithoutHiddenNotice) {
    TestForm form{runtime, "SelFrm", journal};
    runtime.Load(form);
    journal.clear();
    EXPECT_TRUE(runtime.Close(form));
    EXPECT_EQ(journal, (Journal{"SelFrm.Form_QueryUnload 0", "SelFrm.Form_Unload"}));
    EXPECT_TRUE(runtime.Unload(form)) << "unloading an unloaded form is nothing";
    EXPECT_EQ(journal.size(), 2u);
}

TEST_F(FormRuntimeTest, QueryUnloadThatUnloadsItselfEndsTheClose) {
    // As RemoveFrm does: refuse the close, then unload from code.
    TestForm form{runtime, "RemoveFrm", journal};
    bool unloadRequested = false;
    form.onQueryUnload = [&](int& cancel, int) {
        if (!unloadRequested) {
            cancel = -1;
            unloadRequested = true;
            runtime.Unload(form);
        }
    };
    runtime.Show(form);
    journal.clear();
    EXPECT_TRUE(runtime.Close(form));
    EXPECT_EQ(journal, (Journal{"RemoveFrm.Form_QueryUnload 0", "RemoveFrm.Form_QueryUnload 1",
                                "RemoveFrm.Form_Unload", "hidden RemoveFrm"}));
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(FormRuntimeTest, EndUnwindsWithoutUnloadEvents) {
    TestForm main{runtime, "RemoveFrm", journal};
    TestForm done{runtime, "DoneFrm", journal};
    runtime.Show(main);
    front.modalSteps.push_back([&] { runtime.End(); });
    journal.clear();

    EXPECT_THROW(runtime.Show(done, 1), EndProgram);
    EXPECT_EQ(journal, (Journal{"DoneFrm.Form_Load", "shown DoneFrm modal", "RunModal DoneFrm"}));
    EXPECT_TRUE(main.IsLoaded());
    EXPECT_TRUE(done.IsLoaded());
}

TEST_F(FormRuntimeTest, HideLoadsAnUnloadedForm) {
    TestForm form{runtime, "RemoveFrm", journal};
    runtime.Hide(form);
    EXPECT_EQ(journal, Journal{"RemoveFrm.Form_Load"});
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.IsVisible());
}

TEST_F(FormRuntimeTest, AFormUnloadedByItsOwnLoadCannotBeShown) {
    TestForm form{runtime, "OddFrm", journal};
    form.onLoad = [&] { runtime.Unload(form); };
    try {
        runtime.Show(form);
        FAIL() << "show of an unloaded form raised nothing";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 364);
    }
}

TEST_F(FormRuntimeTest, ADestroyedFormLeavesTheLoadedList) {
    {
        TestForm form{runtime, "TempFrm", journal};
        runtime.Show(form);
        EXPECT_EQ(runtime.LoadedForms().size(), 1u);
    }
    EXPECT_TRUE(runtime.LoadedForms().empty());
}

TEST_F(FormRuntimeTest, MessageBoxesAndPointerGoThroughTheFrontEnd) {
    front.answers = {IdNo};
    EXPECT_EQ(runtime.MsgBox("Are you sure?", MbYesNoExclamationDefaultNo, "Title"), IdNo);
    runtime.SetMousePointer(PointerHourglass);
    EXPECT_EQ(runtime.MousePointer(), PointerHourglass);
    runtime.DoEvents();
    EXPECT_EQ(journal, (Journal{"MsgBox 308 Title: Are you sure?", "pointer 11", "DoEvents"}));
}

TEST(FormRuntimeTranscriptTest, MessageBoxesAndShowsAreRecorded) {
    Journal journal;
    FakePlatform platform;
    ScriptedFrontEnd front{journal};
    auto stream = std::make_unique<std::ostringstream>();
    std::ostringstream& text = *stream;
    Transcript transcript(std::move(stream));
    FormRuntime runtime{platform, front, &transcript};

    TestForm form{runtime, "WaitFrm", journal};
    Control& label = form.AddControl("lblName", ControlKind::Label);
    label.Caption = "#";
    form.onLoad = [&] {
        form.Caption = "Tavori Software - [KESTOVAN]";
        label.Caption = "\"Tavori Viewer\"";
    };
    front.answers = {IdOk};
    runtime.MsgBox("Done.", MbOkInformation, "T");
    runtime.Show(form);

    EXPECT_EQ(
        Lines(text.str()),
        (std::vector<std::string>{
            R"({"event":"msgbox","title":"T","buttons":64,"prompt":"Done.","answer":1})",
            R"({"event":"show","form":"WaitFrm","modal":false,"caption":"Tavori Software - [KESTOVAN]","controls":{"lblName":{"text":"\"Tavori Viewer\"","enabled":true,"visible":true}}})"}));
}

} // namespace
} // namespace kestovan::forms::testing
