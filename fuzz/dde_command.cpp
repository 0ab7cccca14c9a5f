// Fuzz target: the DDE command parser of the machine's Program Manager.
//
// The input is a command string sent to a Program Manager whose Programs
// folder lives in a throw-away directory.  Beside the Programs folder lie the
// user's pictures, and one group is a symbolic link to them.  Whatever the
// command, it must be carried out or refused with run-time error 285, and
// nothing outside the Programs folder may ever change: the folder itself, the
// pictures and the link's target all stay.

#include "platform/RuntimeError.h"
#include "platform/posix/ProgramManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kestovan::RuntimeError;
using kestovan::posix::ProgramManager;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "dde_command: %s\n", what);
    std::abort();
}

// The throw-away machine, made once and put back in order before each input.
class Playground {
public:
    Playground() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-fuzz-dde-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            Fail("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(Pictures());
        std::ofstream(Pictures() / "Beach.jpg") << "picture";
    }
    ~Playground() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path Programs() const { return root_ / "Programs"; }
    fs::path Pictures() const { return root_ / "Pictures"; }

    void Reset() const {
        for (const char* group :
             {"Main", "Tavori Software", "Accessories", "StartUp", "Games (old)"}) {
            fs::create_directories(Programs() / group);
            std::ofstream(Programs() / group / "Shortcut.lnk") << "link";
        }
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(Programs() / "My Pictures", ec)))
            fs::create_directory_symlink(Pictures(), Programs() / "My Pictures");
        if (!fs::exists(fs::symlink_status(Programs() / "Main" / "Pictures", ec)))
            fs::create_directory_symlink(Pictures(), Programs() / "Main" / "Pictures");
    }

    void CheckOutsideIntact() const {
        if (!fs::is_directory(Programs()))
            Fail("the Programs folder itself was deleted");
        if (!fs::is_regular_file(Pictures() / "Beach.jpg"))
            Fail("a file outside the Programs folder was deleted");
    }

private:
    fs::path root_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Playground playground;
    playground.Reset();
    ProgramManager manager(playground.Programs());
    const std::string command(reinterpret_cast<const char*>(data), size);
    try {
        manager.Execute("Progman|Progman", command);
    } catch (const RuntimeError& error) {
        if (error.Number() != 285)
            Fail("a refused command raised another error than 285");
    }
    playground.CheckOutsideIntact();
    return 0;
}
