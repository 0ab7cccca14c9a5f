// Fuzz target: the DDE command parser of the machine's Program Manager.
//
// The input is a command string sent to a Program Manager whose Programs
// folder lives in a throw-away directory.  Beside the Programs folder lie the
// user's pictures; one group is a symbolic link to them, another a link to
// the throw-away directory itself, and the groups hold links to the pictures
// and back to the Programs folder.  Whatever the command, it must be carried
// out or refused with run-time error 285; a command carried out has deleted
// a group; and nothing outside the Programs folder may ever change: the
// folder itself, the pictures and every link's target all stay.
//
// Speed: the throw-away directory lies on a tmpfs (/dev/shm) when there is
// one, and only what an input deleted is made again before the next one, so
// that a campaign runs a few thousand inputs a second.

#include "platform/RuntimeError.h"
#include "platform/posix/ProgramManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kestovan::RuntimeError;
using kestovan::posix::ProgramManager;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "dde_command: %s\n", what);
    std::abort();
}

// A directory for the throw-away machine: a tmpfs when the system offers
// one (no disk writes, no journal), else the usual temporary directory.
fs::path ScratchBase() {
    struct statfs info {};
    if (::statfs("/dev/shm", &info) == 0 && info.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    std::fprintf(stderr, "dde_command: no tmpfs at /dev/shm; the scratch machine is on disk "
                         "and each input is slower\n");
    return fs::temp_directory_path();
}

// What is kept of an entry to tell that it was not touched: a deletion, a
// new entry or a rewrite changes its times or its identity.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static Stamp Of(const fs::path& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return {};
        return {st.st_dev, st.st_ino, st.st_mode, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const Stamp& other) const {
        return device == other.device && inode == other.inode && mode == other.mode &&
               size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// An entry of the Programs folder as it is made: a directory (with a
// shortcut file in it), or a symbolic link to target.
struct Entry {
    std::string path; // relative to the Programs folder
    bool isLink = false;
    fs::path target; // for a link
    // Host paths of the entry and of its shortcut, worked out once: the
    // check before each input makes no allocation.
    std::string host = {};
    std::string shortcut = {};
};

// The throw-away machine, made once; before each input only what the last
// one deleted is made again.
class Playground {
public:
    Playground() {
        std::string pattern = (ScratchBase() / "kestovan-fuzz-dde-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            Fail("mkdtemp failed");
        root_ = pattern;
        programs_ = root_ / "Programs";
        pictures_ = root_ / "Pictures";
        picture_ = pictures_ / "Beach.jpg";
        fs::create_directories(Pictures());
        std::ofstream(picture_) << "picture";
        fs::create_directory(Programs());

        const std::vector<std::string> groups = {"Main",    "Tavori Software", "Accessories",
                                                 "StartUp", "startup",         "Games (old)"};
        for (const std::string& group : groups)
            entries_.push_back({group, false, {}});
        // Groups that are links: to the pictures, to the whole machine, and
        // one leading nowhere.
        entries_.push_back({"My Pictures", true, Pictures()});
        entries_.push_back({"Everything", true, root_});
        entries_.push_back({"Gone", true, root_ / "no such folder"});
        // Links inside groups: to the pictures, to a picture, back up.
        entries_.push_back({"Main/Pictures", true, Pictures()});
        entries_.push_back({"Main/Beach.jpg", true, picture_});
        entries_.push_back({"Accessories/Programs", true, Programs()});
        for (Entry& entry : entries_) {
            entry.host = (Programs() / entry.path).string();
            entry.shortcut = (Programs() / entry.path / "Shortcut.lnk").string();
        }
        Reset();

        rootStamp_ = Stamp::Of(root_);
        programsStamp_ = Stamp::Of(Programs());
        picturesStamp_ = Stamp::Of(Pictures());
        pictureStamp_ = Stamp::Of(picture_);
    }
    ~Playground() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    Playground(const Playground&) = delete;
    Playground& operator=(const Playground&) = delete;

    const fs::path& Programs() const { return programs_; }
    const fs::path& Pictures() const { return pictures_; }

    // Makes again what the last input deleted (a group that went takes the
    // links inside it along, so they are made again after it).
    void Reset() const {
        for (const Entry& entry : entries_)
            if (!Present(entry))
                Make(entry);
    }

    // True when every entry made is still there, as made.
    bool AllPresent() const {
        for (const Entry& entry : entries_)
            if (!Present(entry))
                return false;
        return true;
    }

    void CheckOutsideIntact() const {
        const Stamp programs = Stamp::Of(programs_);
        if (programs.inode != programsStamp_.inode || !S_ISDIR(programs.mode))
            Fail("the Programs folder itself was deleted or replaced");
        if (!(Stamp::Of(root_) == rootStamp_))
            Fail("the directory holding the Programs folder changed");
        if (!(Stamp::Of(Pictures()) == picturesStamp_))
            Fail("the pictures folder changed (deleted through a link?)");
        if (!(Stamp::Of(picture_) == pictureStamp_))
            Fail("a file outside the Programs folder changed");
    }

private:
    bool Present(const Entry& entry) const {
        struct stat st {};
        if (::lstat(entry.host.c_str(), &st) != 0)
            return false;
        if (entry.isLink)
            return S_ISLNK(st.st_mode);
        return S_ISDIR(st.st_mode) && ::access(entry.shortcut.c_str(), F_OK) == 0;
    }

    void Make(const Entry& entry) const {
        const fs::path path = entry.host;
        std::error_code ec;
        // Whatever is left in its place goes first; remove_all never follows
        // a link, so the pictures stay.
        fs::remove_all(path, ec);
        if (entry.isLink) {
            fs::create_symlink(entry.target, path);
        } else {
            fs::create_directory(path);
            std::ofstream(path / "Shortcut.lnk") << "link";
        }
    }

    fs::path root_;
    fs::path programs_;
    fs::path pictures_;
    fs::path picture_;
    std::vector<Entry> entries_;
    Stamp rootStamp_;
    Stamp programsStamp_;
    Stamp picturesStamp_;
    Stamp pictureStamp_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Playground playground;
    playground.Reset();
    ProgramManager manager(playground.Programs());
    const std::string command(reinterpret_cast<const char*>(data), size);
    bool carriedOut = true;
    try {
        manager.Execute("Progman|Progman", command);
    } catch (const RuntimeError& error) {
        if (error.Number() != 285)
            Fail("a refused command raised another error than 285");
        carriedOut = false;
    }
    // Every command that can be carried out deletes a group.
    if (carriedOut && playground.AllPresent())
        Fail("a command was carried out but no group was deleted");
    playground.CheckOutsideIntact();
    return 0;
}
