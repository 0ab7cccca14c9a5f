#pragma once

// The demo machine (tools/make-demo-machine) on disk, and the whole program
// on it: the machine directory's platform behind a FaultyPlatform, the
// scripted front end, and MainModule started the way main() starts it.

#include "dialogs/RemoveFrm.h"
#include "forms/FormRuntime.h"
#include "platform/posix/PosixPlatform.h"
#include "state/MainModule.h"
#include "support/FaultyPlatform.h"
#include "support/ScriptedFrontEnd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace kestovan::robust {

namespace fs = std::filesystem;

inline fs::path RepositoryRoot() {
    return fs::path(KESTOVAN_TEST_DATA_DIR).parent_path().parent_path();
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every entry below root with its bytes (a link with its target, a directory
// as "dir"), the lock file aside: equal before and after means that nothing
// on the machine changed.
inline std::map<std::string, std::string> MachineContents(const fs::path& root) {
    std::map<std::string, std::string> all;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& path = it->path();
        if (path.filename() == "kestovan.lock")
            continue;
        if (it->is_symlink())
            all[path.string()] = "-> " + fs::read_symlink(path).string();
        else if (it->is_regular_file())
            all[path.string()] = ReadBytes(path);
        else
            all[path.string()] = "dir";
    }
    return all;
}

// A fresh temporary directory, removed with everything in it at the end.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-robust-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// A small tmpfs mounted on a temporary directory for the life of the object,
// so that a test can fill the disk.  Mounting needs root; Mounted() tells
// whether it worked.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& size) {
        mounted_ = ::mount("tmpfs", dir_.Path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }
    const fs::path& Path() const { return dir_.Path(); }

    // Writes a file until the disk has no room left.
    void Fill() const {
        std::ofstream filler(dir_.Path() / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())))
            filler.flush();
        // Whatever a last partial block left.
        std::ofstream last(dir_.Path() / "filler-2", std::ios::binary);
        for (int i = 0; i < 4096 && last.put('y'); ++i)
            last.flush();
    }

private:
    TemporaryDirectory dir_;
    bool mounted_ = false;
};

// The demo machine and the program on it.
class RobustTest : public ::testing::Test {
protected:
    static constexpr const char* ProgramDir = "C:\\Program Files\\Tavori Viewer\\";

    // Makes the demo machine in `parent`/machine (a temporary directory
    // when parent is empty) and builds the program on it.
    void MakeMachine(const fs::path& parent = {}) {
        machineDir_ = (parent.empty() ? temporary_.Path() : parent) / "machine";
        const std::string command = "\"" +
                                    (RepositoryRoot() / "tools" / "make-demo-machine").string() +
                                    "\" \"" + machineDir_.string() + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void StartProgram() {
        posix_ = std::make_unique<posix::PosixPlatform>(machineDir_, std::string(ProgramDir),
                                                        "/nowhere");
        faulty_ = std::make_unique<testing::FaultyPlatform>(*posix_);
        runtime_ = std::make_unique<forms::FormRuntime>(*faulty_, front, nullptr);
        module_ = std::make_unique<MainModule>(*faulty_, *runtime_);
        front.defaultAnswer = forms::IdYes;
    }

    // Runs the program from its start to its end: Main, then Remove of the
    // entry selected in RemoveFrm (the first), then OK in the status report.
    void RunRemoval() {
        front.dialogActions.push_back(memtest::Click("CmdOK"));
        try {
            module_->Main();
            module_->RemoveFrm().Raise("CmdRemove", "Click");
            FAIL() << "the Remove command did not end the program";
        } catch (const forms::EndProgram&) {
        }
    }

    fs::path Host(const std::string& relative) const { return machineDir_ / "drive_c" / relative; }
    fs::path MachineFile(const std::string& name) const { return machineDir_ / name; }
    testing::FaultyPlatform& Faults() { return *faulty_; }
    MainModule& Module() { return *module_; }
    const std::string& Log() const { return module_->State.StatusLog; }

    bool Logged(const std::string& line) const {
        return ("\r\n" + Log()).find("\r\n" + line + "\r\n") != std::string::npos;
    }
    // The log lines from the first one beginning with `first`, `count` of them.
    std::vector<std::string> LinesFrom(const std::string& first, std::size_t count) const {
        std::vector<std::string> lines;
        std::size_t start = ("\r\n" + Log()).find("\r\n" + first);
        if (start == std::string::npos)
            return lines;
        while (lines.size() < count && start < Log().size()) {
            const std::size_t end = Log().find("\r\n", start);
            lines.push_back(Log().substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        return lines;
    }

    memtest::ScriptedFrontEnd front;

private:
    TemporaryDirectory temporary_;
    fs::path machineDir_;
    std::unique_ptr<posix::PosixPlatform> posix_;
    std::unique_ptr<testing::FaultyPlatform> faulty_;
    std::unique_ptr<forms::FormRuntime> runtime_;
    std::unique_ptr<MainModule> module_;
};

} // namespace kestovan::robust
