#pragma once

// A throw-away machine directory for the tests of the machine file system.

#include "platform/RuntimeError.h"
#include "platform/posix/DosAttributes.h"
#include "platform/posix/MachineFileSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestovan::posix::testing {

namespace fs = std::filesystem;

// A fresh temporary directory holding drive_c/, removed with everything in
// it at the end (write permission is given back first).
class TestMachine {
public:
    TestMachine() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-machine-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        fs::create_directory(dir_ / "drive_c");
    }
    ~TestMachine() {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_symlink())
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    const fs::path& Dir() const { return dir_; }
    fs::path C() const { return dir_ / "drive_c"; }

    // Creates a file below drive_c (directories made as needed).
    fs::path File(const fs::path& relative, const std::string& content = "x") const {
        const fs::path path = C() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    fs::path Directory(const fs::path& relative) const {
        fs::create_directories(C() / relative);
        return C() / relative;
    }
    // Stores a user.DOSATTRIB value on a file below drive_c.
    void DosAttrib(const fs::path& relative, const std::string& value) const {
        const fs::path path = C() / relative;
        if (::setxattr(path.c_str(), DosAttribName, value.data(), value.size(), 0) != 0)
            throw std::runtime_error("setxattr failed");
    }
    std::string DosAttribOf(const fs::path& relative) const {
        const fs::path path = C() / relative;
        char buffer[256];
        const ssize_t n = ::getxattr(path.c_str(), DosAttribName, buffer, sizeof buffer);
        return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
    }
    void ReadOnly(const fs::path& relative) const {
        fs::permissions(C() / relative,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    bool OwnerCanWrite(const fs::path& relative) const {
        return (fs::status(C() / relative).permissions() & fs::perms::owner_write) !=
               fs::perms::none;
    }
    bool Exists(const fs::path& relative) const {
        return fs::exists(fs::symlink_status(C() / relative));
    }
    // True when the file system under the machine keeps user extended
    // attributes.
    bool HasXattrs() const {
        const fs::path probe = dir_ / "xattr-probe";
        std::ofstream(probe) << "";
        const bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
        fs::remove(probe);
        return ok;
    }

private:
    fs::path dir_;
};

// The run-time error number an operation raised; 0 when it raised none.
inline int ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

class MachineTest : public ::testing::Test {
protected:
    TestMachine machine_;
    MachineFileSystem fs_{machine_.Dir()};

    std::string ShortPath(const std::string& longPath) {
        std::string buffer(300, ' ');
        const auto n = fs_.GetShortPathNameA(longPath, buffer, 300);
        return n == 0 || n >= 300 ? std::string() : buffer.substr(0, n);
    }
};

// Skips the running test when extended attributes cannot be stored.
#define KESTOVAN_REQUIRE_XATTRS()                                                                  \
    do {                                                                                           \
        if (!machine_.HasXattrs())                                                                 \
            GTEST_SKIP() << "the temporary directory's file system keeps no user xattrs";          \
    } while (false)

} // namespace kestovan::posix::testing
