// Copy Text on a POSIX desktop: the clipboard tool the session offers takes
// the report; without one the report goes to a new file that is named.

#include "platform/posix/DesktopClipboard.h"

#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace kestovan::posix {
namespace {

namespace fs = std::filesystem;
using robust::ReadBytes;
using robust::TemporaryDirectory;
using robust::WriteBytes;

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class DesktopClipboardTest : public ::testing::Test {
protected:
    // A stand-in for a clipboard tool: keeps its arguments and what it read.
    void FakeTool(const std::string& name, int status = 0) {
        fs::create_directories(bin());
        const fs::path script = bin() / name;
        WriteBytes(script, "#!/bin/sh\necho \"$@\" > \"" + (temporary.Path() / name).string() +
                               ".args\"\ncat > \"" + (temporary.Path() / name).string() +
                               ".text\"\nexit " + std::to_string(status) + "\n");
        fs::permissions(script, fs::perms::owner_all);
    }
    std::string Taken(const std::string& name) const {
        return ReadBytes(temporary.Path() / (name + ".text"));
    }
    fs::path bin() const { return temporary.Path() / "bin"; }
    fs::path Reports() const {
        fs::create_directories(temporary.Path() / "home");
        return temporary.Path() / "home";
    }

    TemporaryDirectory temporary;
    const std::string report = ">>  header  <<\r\n(+) line\r\n";
};

TEST_F(DesktopClipboardTest, WaylandThenX11ToolsTakeTheReportWithDesktopLineEnds) {
    FakeTool("wl-copy");
    FakeTool("xclip");
    ScopedEnv path("PATH", bin().string() + ":/usr/bin:/bin");
    {
        ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv display("DISPLAY", ":0");
        const ClipboardDelivery delivery = DeliverToDesktop(report, Reports());
        EXPECT_TRUE(delivery.onDesktop);
        EXPECT_EQ(delivery.tool, "wl-copy");
        EXPECT_EQ(Taken("wl-copy"), ">>  header  <<\n(+) line\n");
        EXPECT_EQ(delivery.Notice(), "The report is on the desktop clipboard (wl-copy).");
    }
    {
        ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
        ScopedEnv display("DISPLAY", ":0");
        const ClipboardDelivery delivery = DeliverToDesktop(report, Reports());
        EXPECT_EQ(delivery.tool, "xclip");
        EXPECT_EQ(ReadBytes(temporary.Path() / "xclip.args"), "-selection clipboard\n");
        EXPECT_EQ(Taken("xclip"), ">>  header  <<\n(+) line\n");
    }
    EXPECT_TRUE(fs::is_empty(Reports())) << "no file while a clipboard took the report";
}

TEST_F(DesktopClipboardTest, WithoutAReachableClipboardTheReportGoesToANewNamedFile) {
    FakeTool("xclip", 1); // no X server answers
    ScopedEnv path("PATH", bin().string());
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0"); // but no wl-copy on PATH
    ScopedEnv display("DISPLAY", ":0");
    WriteBytes(Reports() / "kestovan-report.txt", "the user's own\n");

    const ClipboardDelivery delivery = DeliverToDesktop(report, Reports());
    EXPECT_FALSE(delivery.onDesktop);
    EXPECT_EQ(delivery.file, Reports() / "kestovan-report-2.txt");
    EXPECT_EQ(ReadBytes(delivery.file), ">>  header  <<\n(+) line\n");
    EXPECT_EQ(ReadBytes(Reports() / "kestovan-report.txt"), "the user's own\n")
        << "an existing file is never written over";
    EXPECT_EQ(delivery.Notice(), "No desktop clipboard could be reached (wl-copy or xclip); the "
                                 "report was written to " +
                                     delivery.file.string() + ".");
}

TEST_F(DesktopClipboardTest, NoDisplayAtAllWritesTheFileAndAnUnwritableDirectoryIsSaid) {
    ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnv display("DISPLAY", std::nullopt);
    EXPECT_EQ(DeliverToDesktop(report, Reports()).file, Reports() / "kestovan-report.txt");

    const fs::path missing = temporary.Path() / "no-such-directory";
    const ClipboardDelivery delivery = DeliverToDesktop(report, missing);
    EXPECT_FALSE(delivery.onDesktop);
    EXPECT_TRUE(delivery.file.empty());
    EXPECT_NE(delivery.Notice().find("could not be written to a file: " +
                                     (missing / "kestovan-report.txt").string()),
              std::string::npos)
        << delivery.Notice();
}

} // namespace
} // namespace kestovan::posix
