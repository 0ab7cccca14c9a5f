// The recording layer of a preview: reads pass through, changes are only
// recorded, later reads see them, and a change fails where the real call
// fails.  The key property is checked end to end on the demo machine: a
// preview of a removal leaves the machine byte for byte as it was, and the
// real run with the same answers makes exactly the changes the preview
// listed (the listed changes, replayed by other means on a copy of the
// machine, give the machine the real run left).

#include "platform/RecordingPlatform.h"

#include "platform/RuntimeError.h"
#include "platform/posix/PosixPlatform.h"
#include "robust/CrashHarness.h"
#include "support/MemoryPlatform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kestovan {
namespace {

using memtest::MemoryPlatform;
namespace fs = std::filesystem;

// The run-time error a statement raised, 0 when it raised none.
int ErrorOf(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

std::uint32_t ShortPath(PlatformServices& platform, const std::string& path) {
    std::string buffer(260, '\0');
    return platform.GetShortPathNameA(path, buffer, 260);
}

// --- Over the in-memory machine ----------------------------------------------

class RecordingOverMemory : public ::testing::Test {
protected:
    RecordingOverMemory() {
        real.AddFile("C:\\TAVORI\\TVIEWER.EXE");
        real.AddFile("C:\\TAVORI\\README.TXT");
        real.AddFile("C:\\TAVORI\\TVIEWER.GID", false, true);
        real.AddFile("C:\\TAVORI\\LOCKED.TXT", true);
        real.AddFile("C:\\TAVORI\\SLIDES\\Trip.TVS");
        real.AddDirectory("C:\\TAVORI\\EMPTY");
        real.SetProfileString("C:\\TAVORI\\tavori.ini", "Remove", "RemoveProgram1",
                              "Tavori Viewer");
        real.SetSetting("TViewer", "Settings", "EXEPath", "C:\\TAVORI\\");
        real.AddRegKey("TavoriViewer", "Tavori Viewer Slide Show");
        real.AddRegKey("TavoriViewer\\shell\\open\\command", "x");
        real.AddRegKey(".gif", "TavoriViewer.Image");
        real.groups = {"Accessories", "Tavori Software", "Games [old]"};
        preview.OnChange([this](const std::string& line) { observed.push_back(line); });
    }
    // The calls that would have changed the in-memory machine.
    std::vector<std::string> ChangingCalls() const {
        std::vector<std::string> found;
        for (const std::string& call : real.calls)
            for (const char* name : {"Kill ", "RmDir ", "SetAttr ", "DeleteSetting "})
                if (call.starts_with(name))
                    found.push_back(call);
        return found;
    }

    MemoryPlatform real;
    RecordingPlatform preview{real};
    std::vector<std::string> observed;
};

TEST_F(RecordingOverMemory, DeletedFilesAndFoldersAreGoneOnlyForLaterReads) {
    preview.Kill("C:\\TAVORI\\readme.txt");
    EXPECT_EQ(preview.Dir("C:\\TAVORI\\README.TXT", attr::Normal), "");
    EXPECT_EQ(preview.ListFiles("C:\\TAVORI", "*.*"),
              (std::vector<std::string>{"LOCKED.TXT", "TVIEWER.EXE", "tavori.ini"}));
    EXPECT_EQ(ShortPath(preview, "C:\\TAVORI\\README.TXT"), 0u);
    EXPECT_EQ(ErrorOf([&] { preview.Kill("C:\\TAVORI\\README.TXT"); }), err::FileNotFound);

    // A folder goes once what is in it has gone; then nothing below it is there.
    EXPECT_EQ(ErrorOf([&] { preview.RmDir("C:\\TAVORI\\SLIDES\\"); }), err::PathFileAccessError);
    preview.Kill("C:\\TAVORI\\SLIDES\\*.tvs");
    preview.RmDir("C:\\TAVORI\\SLIDES\\");
    EXPECT_EQ(preview.ListDirectories("C:\\TAVORI"), (std::vector<std::string>{"EMPTY"}));
    EXPECT_EQ(preview.Dir("C:\\TAVORI\\SLIDES\\", attr::Directory), "");
    EXPECT_EQ(ErrorOf([&] { preview.ChDir("C:\\TAVORI\\SLIDES"); }), err::PathNotFound);
    EXPECT_EQ(ErrorOf([&] { preview.ListFiles("C:\\TAVORI\\SLIDES", "*.*"); }), err::PathNotFound);
    EXPECT_EQ(ErrorOf([&] { preview.Kill("C:\\TAVORI\\SLIDES\\x.tvs"); }), err::PathNotFound);

    // The machine itself is as it was.
    EXPECT_TRUE(real.FileExists("C:\\TAVORI\\README.TXT"));
    EXPECT_TRUE(real.FileExists("C:\\TAVORI\\SLIDES\\Trip.TVS"));
    EXPECT_TRUE(ChangingCalls().empty());
    const std::vector<std::string> expected{"delete file C:\\TAVORI\\readme.txt",
                                            "delete file C:\\TAVORI\\SLIDES\\Trip.TVS",
                                            "delete folder C:\\TAVORI\\SLIDES"};
    EXPECT_EQ(preview.Changes(), expected);
    EXPECT_EQ(observed, expected);
}

TEST_F(RecordingOverMemory, AttributesSetAreSeenByDirAndKill) {
    EXPECT_EQ(ErrorOf([&] { preview.Kill("C:\\TAVORI\\TVIEWER.GID"); }), err::FileNotFound);
    EXPECT_EQ(ErrorOf([&] { preview.Kill("C:\\TAVORI\\LOCKED.TXT"); }), err::PathFileAccessError);
    preview.SetAttr("C:\\TAVORI\\TVIEWER.GID", attr::Normal);
    EXPECT_EQ(preview.Dir("C:\\TAVORI\\TVIEWER.GID", attr::Normal), "TVIEWER.GID");
    EXPECT_EQ(preview.GetAttr("C:\\TAVORI\\TVIEWER.GID"), attr::Normal);
    preview.Kill("C:\\TAVORI\\TVIEWER.GID");
    preview.SetAttr("C:\\TAVORI\\TVIEWER.EXE", attr::Hidden);
    EXPECT_EQ(preview.Dir("C:\\TAVORI\\TVIEWER.EXE", attr::Normal), "");
    EXPECT_EQ(preview.Dir("C:\\TAVORI\\TVIEWER.EXE", attr::Hidden), "TVIEWER.EXE");
    EXPECT_EQ(ErrorOf([&] { preview.Kill("C:\\TAVORI\\TVIEWER.EXE"); }), err::FileNotFound);
    EXPECT_EQ(ErrorOf([&] { preview.SetAttr("C:\\TAVORI\\NONE.TXT", 0); }), err::FileNotFound);
    EXPECT_EQ(ErrorOf([&] { preview.SetAttr("C:\\TAVORI\\README.TXT", 8); }),
              err::InvalidProcedureCall);
    EXPECT_EQ(preview.Changes(),
              (std::vector<std::string>{"set attributes C:\\TAVORI\\TVIEWER.GID 0",
                                        "delete file C:\\TAVORI\\TVIEWER.GID",
                                        "set attributes C:\\TAVORI\\TVIEWER.EXE 2"}));
    EXPECT_TRUE(ChangingCalls().empty());
}

TEST_F(RecordingOverMemory, SettingsAndKeysDeletedAreGoneAndASecondDeletionFailsAsTheRealOne) {
    preview.DeleteSetting("TViewer", "Settings");
    EXPECT_EQ(preview.GetSetting("TViewer", "Settings", "EXEPath", "none"), "none");
    EXPECT_EQ(ErrorOf([&] { preview.DeleteSetting("TViewer", "Settings"); }),
              err::InvalidProcedureCall);
    EXPECT_EQ(ErrorOf([&] { preview.DeleteSetting("Other", "Settings"); }),
              err::InvalidProcedureCall);

    EXPECT_EQ(preview.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorSuccess);
    EXPECT_EQ(preview.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorFileNotFound);
    EXPECT_EQ(preview.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer\\shell\\open\\command"),
              ErrorFileNotFound);
    EXPECT_EQ(preview.RegDeleteKeyA(hkey::ClassesRoot, "NoSuchClass"), ErrorFileNotFound);

    // An existing key is opened, a new one (with the keys above it) made.
    std::uint32_t gif = 0, xyz = 0;
    ASSERT_EQ(preview.RegCreateKeyA(hkey::ClassesRoot, ".gif", gif), ErrorSuccess);
    EXPECT_EQ(preview.RegSetValueA(gif, "", RegSz, "giffile", 0), ErrorSuccess);
    EXPECT_EQ(preview.RegCloseKey(gif), ErrorSuccess);
    EXPECT_EQ(preview.RegCloseKey(gif), ErrorInvalidHandle);
    ASSERT_EQ(preview.RegCreateKeyA(hkey::ClassesRoot, ".xyz\\sub", xyz), ErrorSuccess);
    EXPECT_TRUE(preview.RegKeyExists(hkey::ClassesRoot, ".xyz"));
    EXPECT_EQ(preview.RegKeyStatus(hkey::ClassesRoot, ".xyz\\sub"), ErrorSuccess);
    // A deleted key opened again is new and holds none of its old sub-keys.
    ASSERT_EQ(preview.RegCreateKeyA(hkey::ClassesRoot, "TavoriViewer", xyz), ErrorSuccess);
    EXPECT_FALSE(preview.RegKeyExists(hkey::ClassesRoot, "TavoriViewer\\shell"));

    EXPECT_EQ(preview.Changes(),
              (std::vector<std::string>{"delete settings TViewer\\Settings",
                                        "delete key HKEY_CLASSES_ROOT\\TavoriViewer",
                                        "set HKEY_CLASSES_ROOT\\.gif default \"giffile\"",
                                        "create key HKEY_CLASSES_ROOT\\.xyz\\sub",
                                        "create key HKEY_CLASSES_ROOT\\TavoriViewer"}));
    EXPECT_TRUE(real.HasSettings("TViewer", "Settings"));
    EXPECT_TRUE(real.RegKeyExists("TavoriViewer\\shell\\open\\command"));
    EXPECT_EQ(real.RegDefault(".gif"), "TavoriViewer.Image");
    EXPECT_FALSE(real.RegKeyExists(".xyz"));
}

TEST_F(RecordingOverMemory, ProfileWritesReadBackAndADeletedFileReadsAsMissing) {
    const std::string ini = "C:\\TAVORI\\tavori.ini";
    auto read = [&](const std::string& key) {
        std::string buffer(128, '\0');
        const auto n =
            preview.GetPrivateProfileStringA("Remove", key, "(default)", buffer, 128, ini);
        return buffer.substr(0, n);
    };
    EXPECT_EQ(read("RemoveProgram1"), "Tavori Viewer");
    EXPECT_EQ(preview.WritePrivateProfileStringA("Remove", "RemoveProgram1", "", ini), 1);
    EXPECT_EQ(read("RemoveProgram1"), "");
    EXPECT_EQ(real.ProfileString(ini, "Remove", "RemoveProgram1"), "Tavori Viewer");
    EXPECT_EQ(preview.WritePrivateProfileStringA("Remove", "X", "1", "C:\\TAVORI\\LOCKED.TXT"), 0);
    EXPECT_EQ(preview.WritePrivateProfileStringA("Remove", "X", "1", "C:\\NODIR\\a.ini"), 0);
    preview.Kill(ini);
    EXPECT_EQ(read("RemoveProgram1"), "(default)");
    EXPECT_EQ(preview.Changes(),
              (std::vector<std::string>{"write C:\\TAVORI\\tavori.ini [Remove] RemoveProgram1=",
                                        "delete file C:\\TAVORI\\tavori.ini"}));
}

TEST_F(RecordingOverMemory, DeletedGroupsLeaveProgramManagersListAndMissingOnesAreRefused) {
    preview.DdeExecute("ProgMan|Progman", "[DeleteGroup(tavori software)]");
    preview.DdeExecute("ProgMan|Progman", "[DeleteGroup(\"Games [old]\")]");
    EXPECT_EQ(preview.DdeRequest("ProgMan|Progman", "PROGMAN"), "Accessories\r\n");
    EXPECT_EQ(
        ErrorOf([&] { preview.DdeExecute("ProgMan|Progman", "[DeleteGroup(Tavori Software)]"); }),
        err::DdeMethodRefused);
    EXPECT_EQ(ErrorOf([&] { preview.DdeExecute("ProgMan|Progman", "[DeleteGroup(..\\x)]"); }),
              err::DdeMethodRefused);
    EXPECT_EQ(ErrorOf([&] { preview.DdeExecute("ProgMan|Progman", "[AddItem(x)]"); }),
              err::DdeMethodRefused);
    real.programManager = false;
    EXPECT_EQ(ErrorOf([&] { preview.DdeExecute("ProgMan|Progman", "[DeleteGroup(Accessories)]"); }),
              err::DdeNoForeignApplication);
    EXPECT_TRUE(real.ddeCommands.empty());
    EXPECT_EQ(real.groups.size(), 3u);
    EXPECT_EQ(preview.Changes(), (std::vector<std::string>{"delete group \"tavori software\"",
                                                           "delete group \"Games [old]\""}));
}

// --- Over a real machine directory -------------------------------------------

class RecordingOverMachine : public ::testing::Test {
protected:
    static constexpr const char* ProgramDir = "C:\\Program Files\\Tavori Viewer\\";

    void SetUp() override {
        const std::string command =
            "\"" + (robust::RepositoryRoot() / "tools" / "make-demo-machine").string() + "\" \"" +
            Machine().string() + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    fs::path Machine() const { return work_.Path() / "machine"; }
    fs::path Host(const std::string& relative) const { return Machine() / "drive_c" / relative; }

    // Runs the same statements through the layer, then for real, and
    // expects the same outcome of each; the layer must leave the machine as
    // it was.
    void ExpectSameOutcomes(
        const std::vector<std::pair<std::string, std::function<int(PlatformServices&)>>>& steps) {
        const auto before = robust::MachineState(Machine());
        std::vector<int> previewed;
        {
            posix::PosixPlatform real(Machine(), std::string(ProgramDir), "/nowhere");
            RecordingPlatform preview(real);
            for (const auto& step : steps)
                previewed.push_back(step.second(preview));
        }
        EXPECT_EQ(robust::StateDifferences(before, robust::MachineState(Machine())), "");
        posix::PosixPlatform real(Machine(), std::string(ProgramDir), "/nowhere");
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(previewed[i], steps[i].second(real)) << steps[i].first;
    }

    static std::function<int(PlatformServices&)>
    Statement(std::function<void(PlatformServices&)> statement) {
        return [statement](PlatformServices& platform) {
            return ErrorOf([&] { statement(platform); });
        };
    }

    robust::TemporaryDirectory work_;
};

TEST_F(RecordingOverMachine, FileStatementsFailWhereTheRealOnesFail) {
    fs::permissions(Host("Program Files/Tavori Viewer/README.TXT"), fs::perms::owner_write,
                    fs::perm_options::remove);
    const std::string p = ProgramDir;
    auto kill = [](std::string path) {
        return Statement([path](PlatformServices& pl) { pl.Kill(path); });
    };
    auto rmdir = [](std::string path) {
        return Statement([path](PlatformServices& pl) { pl.RmDir(path); });
    };
    auto dir = [](std::string spec, int mask) {
        return [spec, mask](PlatformServices& pl) {
            return static_cast<int>(std::hash<std::string>{}(pl.Dir(spec, mask)) % 100000) + 1000;
        };
    };
    ExpectSameOutcomes({
        {"missing file", kill(p + "NOSUCH.EXE")},
        {"missing directory", kill(p + "NODIR\\x.txt")},
        {"hidden file", kill(p + "TVIEWER.GID")},
        {"directory", kill(p + "SLIDES")},
        {"read-only", kill(p + "README.TXT")},
        {"read-only by wildcard", kill(p + "*.TXT")},
        {"unmapped drive", kill("Q:\\x.txt")},
        {"short name", kill("C:\\windows\\TAVORI~1.BMP")},
        {"wallpaper again", kill("C:\\windows\\Tavori Viewer Wallpaper.BMP")},
        {"wildcard", kill(p + "*.zip")},
        {"wildcard again", kill(p + "*.ZIP")},
        {"hidden made ordinary",
         Statement([p](PlatformServices& pl) { pl.SetAttr(p + "TVIEWER.GID", attr::Normal); })},
        {"hidden made ordinary, killed", kill(p + "TVIEWER.GID")},
        {"read-only made writable",
         Statement([p](PlatformServices& pl) { pl.SetAttr(p + "README.TXT", attr::Normal); })},
        {"first match now", dir(p + "*.TXT", attr::Normal)},
        {"writable killed", kill(p + "README.TXT")},
        {"SetAttr missing", Statement([p](PlatformServices& pl) { pl.SetAttr(p + "x.y", 0); })},
        {"SetAttr missing dir",
         Statement([p](PlatformServices& pl) { pl.SetAttr(p + "NODIR\\x.y", 0); })},
        {"rmdir not empty", rmdir(p + "SLIDES\\")},
        {"rmdir missing", rmdir(p + "NODIR\\")},
        {"rmdir a file", rmdir(p + "TVIEWER.EXE")},
        {"rmdir root", rmdir("C:\\")},
        {"empty slides", kill(p + "SLIDES\\*.*")},
        {"chdir slides", Statement([p](PlatformServices& pl) { pl.ChDir(p + "SLIDES"); })},
        {"rmdir current", rmdir(p + "SLIDES\\")},
        {"chdir back", Statement([p](PlatformServices& pl) { pl.ChDir(p); })},
        {"rmdir emptied", rmdir(p + "SLIDES\\")},
        {"rmdir again", rmdir(p + "SLIDES\\")},
        {"chdir removed", Statement([p](PlatformServices& pl) { pl.ChDir(p + "SLIDES"); })},
        {"in removed", kill(p + "SLIDES\\Trip.TVS")},
        {"list removed",
         Statement([p](PlatformServices& pl) { pl.ListFiles(p + "SLIDES", "*.*"); })},
        {"dir removed", dir(p + "SLIDES\\", attr::Directory)},
        {"images left",
         [p](PlatformServices& pl) {
             return static_cast<int>(pl.ListFiles(p, "*.gif;*.bmp;*.jpg").size());
         }},
    });
}

TEST_F(RecordingOverMachine, RegistryAndProgramManagerFailWhereTheRealOnesFail) {
    auto deleteKey = [](std::string key) {
        return [key](PlatformServices& pl) {
            return static_cast<int>(pl.RegDeleteKeyA(hkey::ClassesRoot, key));
        };
    };
    auto execute = [](std::string command) {
        return Statement(
            [command](PlatformServices& pl) { pl.DdeExecute("progman|progman", command); });
    };
    ExpectSameOutcomes({
        {"delete key", deleteKey("TavoriViewer")},
        {"again", deleteKey("TavoriViewer")},
        {"below deleted", deleteKey("TavoriViewer\\DefaultIcon")},
        {"never there", deleteKey("NoSuchClass")},
        {"settings",
         Statement([](PlatformServices& pl) { pl.DeleteSetting("TViewer", "Settings"); })},
        {"settings again",
         Statement([](PlatformServices& pl) { pl.DeleteSetting("TViewer", "Settings"); })},
        {"setting read",
         [](PlatformServices& pl) {
             return static_cast<int>(pl.GetSetting("TViewer", "Settings", "EXEPath", "").size());
         }},
        {"group", execute("[DeleteGroup(Tavori Software)]")},
        {"group again", execute("[DeleteGroup(Tavori Software)]")},
        {"dotted", execute("[DeleteGroup(..\\Desktop)]")},
        {"group folder", Statement([](PlatformServices& pl) {
             pl.Kill("C:\\users\\demo\\AppData\\Roaming\\Microsoft\\Windows\\Start "
                     "Menu\\Programs\\Tavori Software\\Read Me.lnk");
         })},
        {"groups left",
         [](PlatformServices& pl) {
             return static_cast<int>(pl.DdeRequest("progman|progman", "PROGMAN").size());
         }},
    });
}

TEST_F(RecordingOverMachine, DamagedHiveFailsInThePreviewAsForReal) {
    const std::string hive = robust::ReadBytes(Machine() / "system.reg");
    robust::WriteBytes(Machine() / "system.reg", hive.substr(0, hive.size() / 2));
    ExpectSameOutcomes({{"delete key", [](PlatformServices& pl) {
                             return static_cast<int>(pl.RegDeleteKeyA(hkey::ClassesRoot, ".tvs"));
                         }}});
}

// --- A whole removal: preview, then the real run -----------------------------

struct RunResult {
    std::string log;
    std::vector<std::string> changes;
    std::vector<std::string> prompts;
};

// The whole program on the machine, every question answered Yes but those
// whose prompt holds one of `no`; through the recording layer when preview.
RunResult RunRemoval(const fs::path& machine, bool preview, const std::vector<std::string>& no) {
    RunResult run;
    posix::PosixPlatform real(machine, std::string("C:\\Program Files\\Tavori Viewer\\"),
                              "/nowhere");
    RecordingPlatform recording(real);
    PlatformServices& platform = preview ? static_cast<PlatformServices&>(recording) : real;
    memtest::ScriptedFrontEnd front;
    for (const std::string& text : no)
        front.AnswerWhen(text, forms::IdNo);
    front.defaultAnswer = forms::IdYes;
    front.dialogActions.push_back(memtest::Click("CmdOK"));
    {
        forms::FormRuntime runtime(platform, front, nullptr);
        MainModule module(platform, runtime);
        try {
            module.Main();
            module.RemoveFrm().Raise("CmdRemove", "Click");
            ADD_FAILURE() << "the removal did not end the program";
        } catch (const forms::EndProgram&) {
        }
        // The log without its times, which tell when it ran.
        run.log = module.State.StatusLog;
        for (std::size_t at = run.log.find("(Date/Time: "); at != std::string::npos;
             at = run.log.find("(Date/Time: ", at + 1))
            run.log.erase(at, run.log.find(')', at) - at + 1);
    }
    for (const auto& prompt : front.prompts)
        run.prompts.push_back(prompt.prompt);
    run.changes = recording.Changes();
    return run;
}

// The listed changes made by other means than the program's: files and
// folders removed from the disk, keys and values through the registry,
// profile keys written, attributes set.
void Replay(const fs::path& machine, const std::vector<std::string>& changes) {
    posix::PosixPlatform platform(machine, std::string("C:\\Program Files\\Tavori Viewer\\"),
                                  "/nowhere");
    auto root = [](const std::string& text, std::string& path) {
        for (const auto& [name, key] : {std::pair{"HKEY_CLASSES_ROOT\\", hkey::ClassesRoot},
                                        std::pair{"HKEY_CURRENT_USER\\", hkey::CurrentUser},
                                        std::pair{"HKEY_LOCAL_MACHINE\\", hkey::LocalMachine}})
            if (text.starts_with(name)) {
                path = text.substr(std::string(name).size());
                return key;
            }
        ADD_FAILURE() << "no root in " << text;
        return 0u;
    };
    for (const std::string& change : changes) {
        std::string rest;
        if (change.starts_with("delete file ")) {
            fs::remove(platform.FileSystem().Resolve(change.substr(12)));
        } else if (change.starts_with("delete folder ")) {
            fs::remove_all(platform.FileSystem().Resolve(change.substr(14)));
        } else if (change.starts_with("delete group \"")) {
            fs::remove_all(machine /
                           "drive_c/users/demo/AppData/Roaming/Microsoft/Windows/Start "
                           "Menu/Programs" /
                           change.substr(14, change.size() - 15));
        } else if (change.starts_with("set attributes ")) {
            const std::size_t blank = change.rfind(' ');
            platform.SetAttr(change.substr(15, blank - 15), std::stoi(change.substr(blank + 1)));
        } else if (change.starts_with("delete settings ")) {
            platform.Registry().DeleteKeyTree(
                hkey::CurrentUser, "Software\\VB and VBA Program Settings\\" + change.substr(16));
        } else if (change.starts_with("delete key ")) {
            const auto key = root(change.substr(11), rest);
            EXPECT_EQ(platform.Registry().RegDeleteKeyA(key, rest), ErrorSuccess) << change;
        } else if (change.starts_with("create key ")) {
            std::uint32_t handle = 0;
            const auto key = root(change.substr(11), rest);
            EXPECT_EQ(platform.Registry().RegCreateKeyA(key, rest, handle), ErrorSuccess);
        } else if (change.starts_with("set ")) {
            const std::size_t at = change.find(" default \"");
            const auto key = root(change.substr(4, at - 4), rest);
            const std::string value = change.substr(at + 10, change.size() - at - 11);
            EXPECT_EQ(platform.Registry().RegSetValueA(key, rest, RegSz, value, 0), ErrorSuccess);
        } else if (change.starts_with("write ")) {
            const std::size_t open = change.find(" [");
            const std::size_t close = change.find("] ", open);
            const std::size_t equals = change.find('=', close);
            EXPECT_EQ(platform.WritePrivateProfileStringA(
                          change.substr(open + 2, close - open - 2),
                          change.substr(close + 2, equals - close - 2), change.substr(equals + 1),
                          change.substr(6, open - 6)),
                      1)
                << change;
        } else {
            ADD_FAILURE() << "a change the test cannot replay: " << change;
        }
    }
}

class PreviewThenRealRun : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string command =
            "\"" + (robust::RepositoryRoot() / "tools" / "make-demo-machine").string() + "\" \"" +
            Machine().string() + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    fs::path Machine() const { return work_.Path() / "machine"; }
    fs::path Replayed() const { return work_.Path() / "replayed"; }

    // Preview, then the real run with the same answers: the preview changed
    // nothing, asked and logged what the real run did, and listed exactly
    // its changes.
    RunResult PreviewAndRun(const std::vector<std::string>& no) {
        const auto before = robust::MachineState(Machine());
        robust::CopyMachine(Machine(), Replayed());
        const RunResult previewed = RunRemoval(Machine(), true, no);
        EXPECT_EQ(robust::StateDifferences(before, robust::MachineState(Machine())), "")
            << "the preview changed the machine";
        const RunResult done = RunRemoval(Machine(), false, no);
        EXPECT_EQ(previewed.prompts, done.prompts);
        EXPECT_EQ(previewed.log, done.log);
        Replay(Replayed(), previewed.changes);
        const auto after = robust::MachineState(Machine());
        EXPECT_NE(robust::StateDifferences(before, after), "") << "the real run changed nothing";
        EXPECT_EQ(robust::StateDifferences(after, robust::MachineState(Replayed())), "")
            << "the listed changes are not the real run's";
        return previewed;
    }

    robust::TemporaryDirectory work_;
};

bool Holds(const std::vector<std::string>& changes, const std::string& change) {
    return std::find(changes.begin(), changes.end(), change) != changes.end();
}

TEST_F(PreviewThenRealRun, CompleteRemovalEveryQuestionYes) {
    const RunResult previewed = PreviewAndRun({});
    EXPECT_GT(previewed.changes.size(), 40u);
    EXPECT_TRUE(Holds(previewed.changes, "delete key HKEY_CLASSES_ROOT\\TavoriViewer"));
    EXPECT_TRUE(Holds(previewed.changes, "delete group \"Tavori Software\""));
    EXPECT_TRUE(Holds(previewed.changes, "delete settings TViewer\\Settings"));
    EXPECT_TRUE(
        Holds(previewed.changes, "delete folder C:\\Program Files\\Tavori Viewer\\SLIDES"));
}

TEST_F(PreviewThenRealRun, PicturesKept) {
    const RunResult previewed = PreviewAndRun({"image file(s) in your program directory"});
    EXPECT_FALSE(
        Holds(previewed.changes, "delete file C:\\Program Files\\Tavori Viewer\\Beach.gif"));
    EXPECT_TRUE(Holds(previewed.changes,
                      "delete file C:\\Program Files\\Tavori Viewer\\SLIDES\\Mountain.Bmp"));
}

TEST_F(PreviewThenRealRun, ReadOnlyPictureIsNotDeletedInThePreviewEither) {
    fs::permissions(Machine() / "drive_c/Program Files/Tavori Viewer/Flower.bmp",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const RunResult previewed = PreviewAndRun({});
    EXPECT_FALSE(
        Holds(previewed.changes, "delete file C:\\Program Files\\Tavori Viewer\\Flower.bmp"));
    EXPECT_NE(previewed.log.find("Flower.bmp was not REMOVED"), std::string::npos) << previewed.log;
}

} // namespace
} // namespace kestovan
