#include "forms/Transcript.h"

#include "forms/FormsTestSupport.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace kestovan::forms::testing {
namespace {

using kestovan::testing::FakePlatform;

class TranscriptTest : public ::testing::Test {
protected:
    TranscriptTest() {
        auto stream = std::make_unique<std::ostringstream>();
        text_ = stream.get();
        transcript = std::make_unique<Transcript>(std::move(stream));
    }
    std::vector<std::string> Written() const { return Lines(text_->str()); }

    std::unique_ptr<Transcript> transcript;

private:
    std::ostringstream* text_ = nullptr;
};

TEST_F(TranscriptTest, WelcomeAnsweredNoMatchesTheDocumentedLines) {
    const std::string title = "Tavori Software - [KESTOVAN]";
    transcript->MsgBox(title, 36,
                       "Welcome to:\r\nTavori Software - [KESTOVAN]\r\n\r\nPLEASE NOTE:", 7);
    transcript->MsgBox(title, 64, "KESTOVAN has been CANCELED...\r\n\r\n", 1);
    transcript->End(0);

    EXPECT_EQ(
        Written(),
        (std::vector<std::string>{
            R"({"event":"msgbox","title":"Tavori Software - [KESTOVAN]","buttons":36,"prompt":"Welcome to:\r\nTavori Software - [KESTOVAN]\r\n\r\nPLEASE NOTE:","answer":7})",
            R"({"event":"msgbox","title":"Tavori Software - [KESTOVAN]","buttons":64,"prompt":"KESTOVAN has been CANCELED...\r\n\r\n","answer":1})",
            R"({"event":"end","code":0})"}));
}

TEST_F(TranscriptTest, ActionAndClipboardLines) {
    transcript->Action(12, "RemoveFrm.AppList select \"Tavori Viewer\"");
    transcript->Clipboard(">>  log  <<\r\n\t(+) done\r\n");
    EXPECT_EQ(
        Written(),
        (std::vector<std::string>{
            R"({"event":"action","line":12,"text":"RemoveFrm.AppList select \"Tavori Viewer\""})",
            R"({"event":"clipboard","text":">>  log  <<\r\n\t(+) done\r\n"})"}));
}

TEST_F(TranscriptTest, ShowListsEveryControlWithTheFieldsOfItsKind) {
    std::vector<std::string> journal;
    FakePlatform platform;
    ScriptedFrontEnd front{journal};
    FormRuntime runtime{platform, front, nullptr};
    TestForm form{runtime, "SelFrm", journal};
    form.Caption = "Tavori Software - [KESTOVAN]";
    Control& cancel = form.AddControl("CmdCancel", ControlKind::CommandButton);
    cancel.Caption = "&Cancel";
    cancel.ToolTipText = "Click here to cancel KESTOVAN.";
    Control& option = form.AddControl("OptUseData", ControlKind::OptionButton);
    option.Caption = "Search";
    option.Enabled = false;
    Control& list = form.AddControl("AppList", ControlKind::ListBox);
    list.AddItem("Tavori Viewer");
    list.AddItem("Tavori Sound");
    list.SetListIndex(1);
    Control& empty = form.AddControl("ListFolders", ControlKind::ListBox);
    empty.Visible = false;
    form.AddControl("lblBack", ControlKind::Label);

    transcript->Show(form, true);
    EXPECT_EQ(
        Written(),
        std::vector<std::string>{
            R"({"event":"show","form":"SelFrm","modal":true,"caption":"Tavori Software - [KESTOVAN]","controls":{)"
            R"("CmdCancel":{"text":"&Cancel","enabled":true,"visible":true,"tooltip":"Click here to cancel KESTOVAN."},)"
            R"("OptUseData":{"text":"Search","enabled":false,"visible":true,"value":false},)"
            R"("AppList":{"text":"Tavori Sound","enabled":true,"visible":true,"items":["Tavori Viewer","Tavori Sound"],"selected":1},)"
            R"("ListFolders":{"text":"","enabled":true,"visible":false,"items":[],"selected":-1},)"
            R"("lblBack":{"text":"","enabled":true,"visible":true}}})"});
}

TEST_F(TranscriptTest, BytesThatAreNotUtf8AreReadAsWindowsText) {
    // 0xE9 is e-acute and 0x85 the ellipsis in the Windows ANSI code page;
    // well-formed UTF-8 passes unchanged.
    transcript->Clipboard(std::string("Caf\xE9\x85 ") + "\xC3\xA9");
    EXPECT_EQ(Written(),
              std::vector<std::string>{
                  "{\"event\":\"clipboard\",\"text\":\"Caf\xC3\xA9\xE2\x80\xA6 \xC3\xA9\"}"});
}

TEST(TranscriptFileTest, EachLineIsOnDiskAsSoonAsItIsWritten) {
    const std::string path = ::testing::TempDir() + "transcript_flush_test.jsonl";
    auto file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(*file);
    Transcript transcript(std::move(file));
    transcript.End(2);
    std::ifstream in(path, std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    EXPECT_EQ(read.str(), "{\"event\":\"end\",\"code\":2}\n");
    std::remove(path.c_str());
}

} // namespace
} // namespace kestovan::forms::testing
