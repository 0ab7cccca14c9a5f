#pragma once

// What the crash tests need: a platform that ends the run, as a kill would,
// right after a chosen operation that changes the machine; copies of a
// machine directory; the records the program keeps (both hives and
// tavori.ini); and the state of a machine that a finished removal must
// reach.

#include "dialogs/RemoveFrm.h"
#include "forms/FormRuntime.h"
#include "platform/posix/DosAttributes.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/WineRegistry.h"
#include "robust/RobustMachine.h"
#include "state/MainModule.h"
#include "support/FaultyPlatform.h"
#include "support/ScriptedFrontEnd.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <vector>

namespace kestovan::robust {

// Thrown right after the operation the run is to end at.  It is no
// RuntimeError, no std::exception and no end of the program, so nothing in
// the program catches it: it leaves the program as a kill ends a process,
// with nothing done after the operation.
struct SimulatedCrash {
    int operation = 0;
};

// Passes every call on (through FaultyPlatform, which keeps up with the
// interface) and counts the operations that change the machine: Kill, RmDir,
// SetAttr, DeleteSetting, RegCreateKeyA, RegSetValueA, RegSetDefaults, RegDeleteKeyA,
// DdeExecute (whether they succeed or fail) and WritePrivateProfileStringA
// when it wrote.  ChDir, ChDrive and the clipboard change nothing that stays.
class CrashingPlatform : public testing::FaultyPlatform {
public:
    explicit CrashingPlatform(PlatformServices& inner) : FaultyPlatform(inner) {}

    // The run ends right after this operation (1 = the first); 0 = never.
    int crashAfter = 0;
    // Called before and after each counted operation with its number and a
    // description ("Kill C:\...").
    std::function<void(int, const std::string&)> beforeChange;
    std::function<void(int, const std::string&)> afterChange;

    int Changes() const { return changes_; }
    // Operations the program attempted after the crash (unwinding code must
    // not touch the machine): should stay empty.
    const std::vector<std::string>& AfterCrash() const { return afterCrash_; }

    void Kill(const std::string& path) override {
        Change("Kill " + path, [&] { FaultyPlatform::Kill(path); });
    }
    void RmDir(const std::string& path) override {
        Change("RmDir " + path, [&] { FaultyPlatform::RmDir(path); });
    }
    void SetAttr(const std::string& path, int attributes) override {
        Change("SetAttr " + path, [&] { FaultyPlatform::SetAttr(path, attributes); });
    }
    void DeleteSetting(const std::string& appName, const std::string& section) override {
        Change("DeleteSetting " + appName + "\\" + section,
               [&] { FaultyPlatform::DeleteSetting(appName, section); });
    }
    long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                       std::uint32_t& result) override {
        long status = 0;
        Change("RegCreateKeyA " + subKey,
               [&] { status = FaultyPlatform::RegCreateKeyA(key, subKey, result); });
        return status;
    }
    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t length) override {
        long status = 0;
        Change("RegSetValueA " + std::to_string(key) + " " + data,
               [&] { status = FaultyPlatform::RegSetValueA(key, subKey, type, data, length); });
        return status;
    }
    long RegSetDefaults(std::uint32_t root,
                        const std::vector<std::pair<std::string, std::string>>& values) override {
        long status = 0;
        Change("RegSetDefaults " + SubKeysOf(values),
               [&] { status = FaultyPlatform::RegSetDefaults(root, values); });
        return status;
    }
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) override {
        long status = 0;
        Change("RegDeleteKeyA " + subKey,
               [&] { status = FaultyPlatform::RegDeleteKeyA(key, subKey); });
        return status;
    }
    long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value,
                                    const std::string& fileName) override {
        if (crashed_) {
            afterCrash_.push_back("WritePrivateProfileStringA " + key);
            return 0;
        }
        const std::string what = "WritePrivateProfileStringA " + key + "=" + value;
        if (beforeChange)
            beforeChange(changes_ + 1, what);
        const long written =
            FaultyPlatform::WritePrivateProfileStringA(section, key, value, fileName);
        if (written != 0)
            Completed(what);
        return written;
    }
    void DdeExecute(const std::string& topic, const std::string& command) override {
        Change("DdeExecute " + command, [&] { FaultyPlatform::DdeExecute(topic, command); });
    }

private:
    template <typename Call> void Change(const std::string& what, Call call) {
        if (crashed_) {
            afterCrash_.push_back(what);
            return;
        }
        if (beforeChange)
            beforeChange(changes_ + 1, what);
        try {
            call();
        } catch (const RuntimeError&) {
            Completed(what);
            throw;
        }
        Completed(what);
    }
    void Completed(const std::string& what) {
        ++changes_;
        if (afterChange)
            afterChange(changes_, what);
        if (changes_ == crashAfter) {
            crashed_ = true;
            throw SimulatedCrash{changes_};
        }
    }

    int changes_ = 0;
    bool crashed_ = false;
    std::vector<std::string> afterCrash_;
};

// How one run of the program ended.
struct RunOutcome {
    bool ended = false;              // through End, as a finished run does
    std::optional<int> crashedAfter; // the operation it was ended at
    std::string failure;             // anything else that left the program
    int changes = 0;                 // operations that changed the machine
    std::vector<std::string> afterCrash;
    std::string log;
};

// One run of the whole program on the machine in machineDir, started from
// the program directory, every question answered Yes, the status report
// closed with OK: Main, then Remove of the entry RemoveFrm selects.
inline RunOutcome RunProgram(const fs::path& machineDir, int crashAfter = 0,
                             std::function<void(int, const std::string&)> beforeChange = {},
                             std::function<void(int, const std::string&)> afterChange = {}) {
    RunOutcome outcome;
    posix::PosixPlatform posix(machineDir, std::string("C:\\Program Files\\Tavori Viewer\\"),
                               "/nowhere");
    CrashingPlatform platform(posix);
    platform.crashAfter = crashAfter;
    platform.beforeChange = std::move(beforeChange);
    platform.afterChange = std::move(afterChange);
    memtest::ScriptedFrontEnd front;
    front.defaultAnswer = forms::IdYes;
    front.dialogActions.push_back(memtest::Click("CmdOK"));
    {
        forms::FormRuntime runtime(platform, front, nullptr);
        MainModule module(platform, runtime);
        try {
            module.Main();
            module.RemoveFrm().Raise("CmdRemove", "Click");
            outcome.failure = "the Remove command returned without ending the program";
        } catch (const forms::EndProgram&) {
            outcome.ended = true;
        } catch (const SimulatedCrash& crash) {
            outcome.crashedAfter = crash.operation;
        } catch (const forms::AnswersError& error) {
            outcome.failure = std::string("a question or dialog nobody answers: ") + error.what();
        } catch (const RuntimeError& error) {
            outcome.failure = "unhandled run-time error " + std::to_string(error.Number());
        }
        outcome.log = module.State.StatusLog;
    }
    outcome.changes = platform.Changes();
    outcome.afterCrash = platform.AfterCrash();
    return outcome;
}

// Copies a machine directory: files with their permission bits and their
// DOSATTRIB attribute, directories, and symbolic links as links.
inline void CopyMachine(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path target = to / it->path().lexically_relative(from);
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            fs::copy_symlink(it->path(), target);
            continue;
        }
        if (fs::is_directory(status))
            fs::create_directory(target);
        else
            fs::copy_file(it->path(), target);
        char value[256];
        const ssize_t n = ::getxattr(it->path().c_str(), posix::DosAttribName, value, sizeof value);
        if (n >= 0)
            ::setxattr(target.c_str(), posix::DosAttribName, value, static_cast<std::size_t>(n), 0);
        fs::permissions(target, status.permissions());
    }
}

// The records the program keeps: nullopt for a file that is not there.
struct Records {
    std::optional<std::string> systemReg;
    std::optional<std::string> userReg;
    std::optional<std::string> tavoriIni;
    bool operator==(const Records&) const = default;
};

inline fs::path TavoriIni(const fs::path& machineDir) {
    return machineDir / "drive_c" / "Program Files" / "Tavori Viewer" / "tavori.ini";
}

inline Records ReadRecords(const fs::path& machineDir) {
    auto read = [](const fs::path& path) -> std::optional<std::string> {
        if (!fs::exists(path))
            return std::nullopt;
        return ReadBytes(path);
    };
    return Records{read(machineDir / "system.reg"), read(machineDir / "user.reg"),
                   read(TavoriIni(machineDir))};
}

// A hive's keys and values: its text without the times Wine stamps on the
// keys (the key line's seconds and the "#time=" option), which tell when a
// key was written, not what it holds.
inline std::string KeysAndValues(const std::optional<std::string>& hive) {
    if (!hive)
        return "<no hive>";
    std::string result;
    std::size_t at = 0;
    while (at < hive->size()) {
        std::size_t end = hive->find('\n', at);
        end = end == std::string::npos ? hive->size() : end + 1;
        std::string line = hive->substr(at, end - at);
        at = end;
        if (line.rfind("#time=", 0) == 0)
            continue;
        if (!line.empty() && line[0] == '[') {
            const std::size_t close = line.rfind("] ");
            if (close != std::string::npos)
                line = line.substr(0, close + 1) + "\n";
        }
        result += line;
    }
    return result;
}

// Every entry under drive_c (kind, read-only, DOSATTRIB value, content or
// link target) and both hives' keys and values, one map entry each.
inline std::map<std::string, std::string> MachineState(const fs::path& machineDir) {
    std::map<std::string, std::string> state;
    const fs::path drive = machineDir / "drive_c";
    for (auto it = fs::recursive_directory_iterator(drive);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = "C:/" + it->path().lexically_relative(drive).generic_string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            state[name] = "link -> " + fs::read_symlink(it->path()).string();
            continue;
        }
        char value[256];
        const ssize_t n = ::getxattr(it->path().c_str(), posix::DosAttribName, value, sizeof value);
        std::string description = fs::is_directory(status) ? "dir" : "file";
        if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
            description += " read-only";
        if (n > 0)
            description += " attrib " + std::string(value, static_cast<std::size_t>(n));
        if (!fs::is_directory(status))
            description += " content " + ReadBytes(it->path());
        state[name] = description;
    }
    const Records records = ReadRecords(machineDir);
    state["HKLM (system.reg)"] = KeysAndValues(records.systemReg);
    state["HKCU (user.reg)"] = KeysAndValues(records.userReg);
    return state;
}

// The entries in which two machine states differ, one a line.
inline std::string StateDifferences(const std::map<std::string, std::string>& expected,
                                    const std::map<std::string, std::string>& actual) {
    std::string text;
    for (const auto& [name, value] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            text += "  missing: " + name + "\n";
        else if (found->second != value)
            text += "  differs: " + name + "\n";
    }
    for (const auto& [name, value] : actual)
        if (!expected.contains(name))
            text += "  left over: " + name + "\n";
    return text;
}

// Makes the demo machine (tools/make-demo-machine) in dir.
inline void MakeDemoMachine(const fs::path& dir) {
    const std::string command = "\"" + (RepositoryRoot() / "tools" / "make-demo-machine").string() +
                                "\" \"" + dir.string() + "\" > /dev/null";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// An uninterrupted run on a copy of a machine: the records as they were at
// the start (versions[0]) and after each operation n (versions[n]), each
// operation's description, and the machine's state at the end.
struct UninterruptedRun {
    RunOutcome outcome;
    std::vector<Records> versions;
    std::vector<std::string> operations;
    std::map<std::string, std::string> endState;
};

inline UninterruptedRun RunUninterrupted(const fs::path& demo, const fs::path& machine) {
    UninterruptedRun run;
    CopyMachine(demo, machine);
    run.versions.push_back(ReadRecords(machine));
    run.operations.push_back("(start)");
    run.outcome = RunProgram(machine, 0, {}, [&](int, const std::string& operation) {
        run.versions.push_back(ReadRecords(machine));
        run.operations.push_back(operation);
    });
    run.endState = MachineState(machine);
    return run;
}

// Where records left by a crash differ from the version they must be
// ("" when each hive parses and every record is that version).
inline std::string RecordProblems(const Records& left, const Records& expected) {
    std::string problems;
    auto hive = [&](const char* name, const std::optional<std::string>& text,
                    const std::optional<std::string>& wanted) {
        if (text) {
            try {
                posix::RegistryHive::Parse(*text);
            } catch (const RuntimeError&) {
                problems += std::string(name) + " does not parse; ";
            }
        }
        if (text != wanted)
            problems += std::string(name) + " is not the version of the uninterrupted run; ";
    };
    hive("system.reg", left.systemReg, expected.systemReg);
    hive("user.reg", left.userReg, expected.userReg);
    if (left.tavoriIni != expected.tavoriIni)
        problems += "tavori.ini is not the version of the uninterrupted run; ";
    return problems;
}

// Left-over temporary files of record writes anywhere in the machine.
inline std::vector<std::string> TemporaryFiles(const fs::path& machineDir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(machineDir))
        if (entry.path().filename().string().find(".kestovan-tmp") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

} // namespace kestovan::robust
