// Fuzz target: how Windows paths are resolved inside a machine directory.
//
// The input is a Windows path text.  The machine, made once, holds drives C:
// and D: with nested directories, long names that have short names
// (PROGRA~1), names that differ only in letter case, and symbolic links:
// inside the drive, to the drive's root, to the Windows directory, to the
// other drive, to the machine directory, out of the machine (to a sibling
// directory holding a sentinel file), in a loop and to nowhere.
//
// Whatever the text:
//  - Resolve raises RuntimeError or gives a host path that lies inside its
//    drive both as written and once every link on it is followed;
//  - FinalDirectoryPath, when it has a value, names an existing directory
//    inside a drive by a path without links, ending in a backslash, and
//    gives itself again; it has a value exactly when Resolve leads to an
//    existing directory inside a drive;
//  - IsLink is true exactly when the resolved path's last component is a
//    symbolic link;
//  - Dir never names an entry of a directory outside the machine;
//  - GetShortPathNameA gives a short path naming the same place, or 0;
//  - ToWindowsPath of a resolved path gives a path resolving to it again;
//  - nothing on disk changes.

#include "platform/RuntimeError.h"
#include "platform/posix/MachineFileSystem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/magic.h>
#include <optional>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kestovan::RuntimeError;
using kestovan::posix::MachineFileSystem;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "path_resolution: %s%s%s\n", what, detail.empty() ? "" : ": ",
                 detail.c_str());
    std::abort();
}

// A directory for the machine: a tmpfs when the system offers one (the
// checks below look at every entry after each input), else the usual
// temporary directory.
fs::path ScratchBase() {
    struct statfs info {};
    if (::statfs("/dev/shm", &info) == 0 && info.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path();
}

// What tells that an entry was not touched: a deletion, a new entry, a
// rewrite or a change of attributes changes its times or its identity.
struct Stamp {
    ino_t inode = 0;
    mode_t mode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static Stamp Of(const std::string& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return {};
        return {st.st_ino, st.st_mode, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const Stamp& o) const {
        return inode == o.inode && mode == o.mode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

bool Inside(const fs::path& root, const fs::path& path) {
    const std::string& r = root.native();
    const std::string& p = path.native();
    return p == r || (p.size() > r.size() && p.starts_with(r) && p[r.size()] == '/');
}

class Machine {
public:
    Machine() {
        std::string pattern = (ScratchBase() / "kestovan-fuzz-paths-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            Fail("mkdtemp failed");
        base_ = fs::canonical(pattern);
        machine_ = base_ / "machine";
        outside_ = base_ / "outside";
        const fs::path c = machine_ / "drive_c";
        const fs::path d = machine_ / "drive_d";

        // Outside the machine: a sentinel file and a folder.
        fs::create_directories(outside_ / "Sentinel Folder");
        std::ofstream(outside_ / "sentinel.txt") << "must stay";

        fs::create_directories(machine_ / "dosdevices");
        fs::create_directory_symlink("../drive_c", machine_ / "dosdevices" / "c:");
        fs::create_directory_symlink("../drive_d", machine_ / "dosdevices" / "d:");

        for (const char* dir : {
                 "windows/system",
                 "windows/Fonts",
                 "Program Files/Tavori Software/Tavori Viewer/SLIDES",
                 "Program Files/Common Files",
                 "Programme",
                 "PROGRA~3",
                 "Data/Inner",
                 "data",
                 "DATA",
                 "A directory name long enough to need a short name of its own/level two",
                 "name with spaces/x",
                 "dots..in.name",
                 ".hidden",
                 "\xc3\xbcnic\xc3\xb6"
                 "de",
             })
            fs::create_directories(c / dir);
        for (const char* file : {
                 "windows/win.ini",
                 "windows/system/user.exe",
                 "Program Files/Tavori Software/Tavori Viewer/VIEWER.EXE",
                 "Program Files/Tavori Software/Tavori Viewer/Tavori Viewer Readme.txt",
                 "Program Files/Tavori Software/Tavori Viewer/SLIDES/Show One.tvs",
                 "Data/file.txt",
                 "data/FILE.TXT",
             })
            std::ofstream(c / file) << "x";

        // Links inside drive C:, relative and absolute.
        fs::create_directory_symlink("Program Files/Tavori Software", c / "Link Inside");
        fs::create_directory_symlink("Link Inside", c / "Chain");
        fs::create_directory_symlink(c, c / "Root Link");
        fs::create_directory_symlink("../..", c / "Data" / "Inner" / "Up Two");
        fs::create_directory_symlink("windows", c / "Win Link");
        fs::create_directory_symlink("../../../windows/system",
                                     c / "Program Files" / "Common Files" / "Sys Link");
        fs::create_symlink("windows/win.ini", c / "ini.lnk");
        // Links leading out of the drive: to the machine directory, to the
        // other drive, out of the machine, there by a detour, and a file.
        fs::create_directory_symlink("..", c / "Up");
        fs::create_directory_symlink("../drive_d", c / "To D");
        fs::create_directory_symlink("../../outside", c / "Outside");
        fs::create_directory_symlink("windows/../../../outside", c / "Dotdot Escape");
        fs::create_symlink("Up/../../outside/missing", c / "Sneaky");
        fs::create_symlink("../../outside/sentinel.txt", c / "sentinel.lnk");
        fs::create_directory_symlink(outside_, c / "Program Files" / "Tavori Software" /
                                                   "Tavori Viewer" / "Pictures");
        // A loop, a loop of two, and links to nowhere, inside and out.
        fs::create_symlink("Loop", c / "Loop");
        fs::create_symlink("Loop B", c / "Loop A");
        fs::create_symlink("Loop A", c / "Loop B");
        fs::create_symlink("does not exist", c / "Dangling");
        fs::create_symlink("../../outside/missing", c / "Dangling Out");

        fs::create_directories(d / "Games");
        fs::create_directory_symlink("../drive_c/windows", d / "Back To C");

        for (auto it = fs::recursive_directory_iterator(base_);
             it != fs::recursive_directory_iterator(); ++it)
            stamps_.emplace_back(it->path().string(), Stamp{});
        stamps_.emplace_back(base_.string(), Stamp{});
        for (auto& [path, stamp] : stamps_)
            stamp = Stamp::Of(path);
        // Every directory of the tree is watched: a change anywhere in it
        // (an entry made, deleted, renamed, written or given other
        // attributes) is reported, and one read tells after each input.
        watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        for (const auto& [path, stamp] : stamps_)
            if (watch_ >= 0 && S_ISDIR(stamp.mode) &&
                ::inotify_add_watch(watch_, path.c_str(),
                                    IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVE |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW) < 0) {
                ::close(watch_);
                watch_ = -1;
            }
        cRoot_ = c;
        dRoot_ = d;
    }
    ~Machine() {
        if (watch_ >= 0)
            ::close(watch_);
        std::error_code ec;
        fs::remove_all(base_, ec);
    }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const fs::path& Dir() const { return machine_; }

    // The drive root that holds path as written; nullptr when none does.
    const fs::path* DriveOf(const fs::path& path) const {
        if (Inside(cRoot_, path))
            return &cRoot_;
        if (Inside(dRoot_, path))
            return &dRoot_;
        return nullptr;
    }

    void CheckUnchanged() const {
        if (watch_ >= 0) {
            alignas(inotify_event) char events[4096];
            const ssize_t n = ::read(watch_, events, sizeof events);
            if (n > 0) {
                const auto* event = reinterpret_cast<const inotify_event*>(events);
                Fail("an entry on disk changed", event->len > 0 ? event->name : "(a directory)");
            }
            return;
        }
        // Without notifications: every entry's stamp.
        for (const auto& [path, stamp] : stamps_)
            if (!(Stamp::Of(path) == stamp))
                Fail("an entry on disk changed", path);
    }

private:
    fs::path base_;
    fs::path machine_;
    fs::path outside_;
    fs::path cRoot_;
    fs::path dRoot_;
    std::vector<std::pair<std::string, Stamp>> stamps_;
    int watch_ = -1;
};

template <typename F> auto Try(F&& f) -> std::optional<decltype(f())> {
    try {
        return f();
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

// The place a host path leads once every link on it is followed: the part
// that exists made canonical, the rest kept as written.  (Unlike
// weakly_canonical this also takes names too long for the system, which
// cannot exist and so lead nowhere.)
fs::path Followed(const fs::path& host) {
    std::error_code ec;
    fs::path existing;
    fs::path rest;
    for (const fs::path& part : host) {
        if (rest.empty() && fs::exists(existing / part, ec) && !ec)
            existing /= part;
        else
            rest /= part;
    }
    fs::path followed = fs::canonical(existing, ec);
    if (ec)
        return {};
    return (followed / rest).lexically_normal();
}

void CheckResolved(const Machine& machine, const fs::path& host, const std::string& text) {
    if (host.native().find('\0') != std::string::npos)
        Fail("a resolved path holds a NUL", text);
    const fs::path* drive = machine.DriveOf(host);
    if (!drive)
        Fail("a resolved path lies outside every drive as written", host.string());
    for (const fs::path& part : host.lexically_relative(*drive))
        if (part == "..")
            Fail("a resolved path climbs with ..", host.string());
    const fs::path followed = Followed(host);
    if (followed.empty() || !Inside(*drive, followed))
        Fail("a resolved path leads out of its drive", host.string() + " -> " + followed.string());
}

// True when a component of a Windows path ends in a dot or a blank.
bool SpellsTrailingDotOrBlank(const std::string& path) {
    for (std::size_t at = 0; at < path.size(); ++at)
        if ((path[at] == '.' || path[at] == ' ') && (at + 1 == path.size() || path[at + 1] == '\\'))
            return true;
    return false;
}

// The machine is as meant: links inside the drive are followed, links out
// of it are refused.  Run once, before the first input.
void CheckMachine(const Machine& machine) {
    MachineFileSystem files(machine.Dir());
    const std::pair<const char*, const char*> finals[] = {
        {"C:\\Win Link", "C:\\windows\\"},
        {"c:\\link inside\\", "C:\\Program Files\\Tavori Software\\"},
        {"C:\\Data\\Inner\\Up Two", "C:\\"},
        {"D:\\Back To C\\..", "D:\\"},
    };
    for (const auto& [path, expected] : finals)
        if (files.FinalDirectoryPath(path) != expected)
            Fail("the machine is not as meant", path);
    for (const char* refused : {"C:\\Outside\\sentinel.txt", "C:\\To D", "C:\\Loop\\x",
                                "C:\\Dangling Out", "C:\\Sneaky", "D:\\Back To C"})
        if (Try([&] { return files.Resolve(refused); }))
            Fail("the machine is not as meant: a link out of its drive is followed", refused);
    if (!files.IsLink("C:\\Win Link\\") || files.IsLink("C:\\windows"))
        Fail("the machine is not as meant: IsLink");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Machine machine;
    static const bool checked = (CheckMachine(machine), true);
    (void)checked;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // One file system for every input, as the program keeps one for a whole
    // run: its listings and the directory it found last stay between calls
    // (a fresh one for each input reads every directory again and runs
    // about four times slower).  Nothing on disk changes, so what it keeps stays
    // true.
    static MachineFileSystem files(machine.Dir());

    // Resolve.
    const std::optional<fs::path> host = Try([&] { return files.Resolve(text); });
    std::error_code ec;
    std::optional<fs::path> real; // where it leads, when that is a directory in its drive
    if (host) {
        CheckResolved(machine, *host, text);
        const fs::path followed = fs::canonical(*host, ec);
        if (!ec && fs::is_directory(followed, ec) && machine.DriveOf(followed))
            real = followed;
    }

    // FinalDirectoryPath.
    const std::optional<std::string> final = files.FinalDirectoryPath(text);
    if (final.has_value() != real.has_value())
        Fail(final ? "FinalDirectoryPath gave a path where Resolve leads to no directory"
                   : "FinalDirectoryPath gave nothing for a directory inside a drive",
             text);
    if (final) {
        if (final->size() < 3 || final->back() != '\\' || (*final)[1] != ':' || (*final)[2] != '\\')
            Fail("FinalDirectoryPath is no full path ending in a backslash", *final);
        const auto again = Try([&] { return files.Resolve(*final); });
        if (!again)
            Fail("FinalDirectoryPath's path does not resolve", *final);
        CheckResolved(machine, *again, *final);
        if (fs::canonical(*again, ec) != *real || ec)
            Fail("FinalDirectoryPath names another directory", *final);
        if (files.FinalDirectoryPath(*final) != final)
            Fail("FinalDirectoryPath of its own path differs", *final);
        // No link on its way: every prefix is a real directory.
        for (std::size_t at = 3; at < final->size(); ++at)
            if ((*final)[at] == '\\' && files.IsLink(final->substr(0, at)))
                Fail("FinalDirectoryPath's path goes through a link", *final);
    }

    // IsLink.
    const bool link = files.IsLink(text);
    if (host) {
        const bool isLink = fs::is_symlink(fs::symlink_status(*host, ec));
        if (link != isLink)
            Fail(link ? "IsLink is true for no link" : "IsLink is false for a link", text);
    }

    // Dir: never an entry of a directory outside the machine.
    for (const int attributes : {0, 2 | 4 | 16}) {
        const auto name = Try([&] { return files.Dir(text, attributes); });
        if (name && (name->find_first_of("\\/") != std::string::npos || *name == "sentinel.txt" ||
                     *name == "Sentinel Folder" || *name == "missing"))
            Fail("Dir named an entry outside the machine", *name);
    }

    // GetShortPathNameA: the same place by short names.
    std::string buffer(300, '#');
    const std::uint32_t length = files.GetShortPathNameA(text, buffer, 300);
    if (length > 0 && length < 300) {
        const std::string shortPath = buffer.substr(0, length);
        if (buffer[length] != '\0' || shortPath.size() < 3 || shortPath[1] != ':' ||
            shortPath[2] != '\\')
            Fail("GetShortPathNameA gave no full path", shortPath);
        if (!host)
            Fail("GetShortPathNameA gave a path for a path that does not resolve", text);
        const auto shortHost = Try([&] { return files.Resolve(shortPath); });
        if (!shortHost)
            Fail("a short path does not resolve", shortPath);
        CheckResolved(machine, *shortHost, shortPath);
        if (Followed(*shortHost) != Followed(*host))
            Fail("a short path leads elsewhere", text + " -> " + shortPath);
        std::string small(length, '#');
        if (files.GetShortPathNameA(text, small, length) != length + 1 ||
            small != std::string(length, '#'))
            Fail("GetShortPathNameA wrote into a buffer too small", shortPath);
    }

    // ToWindowsPath of the resolved path: resolves back to the same place.
    if (host) {
        const std::optional<std::string> windows = files.ToWindowsPath(*host);
        if (!windows)
            Fail("a resolved path has no Windows path", host->string());
        // A name ending in a dot or a blank cannot be spelled as the last
        // component of a Windows path (they are dropped there), so such a
        // path is not read back.
        if (SpellsTrailingDotOrBlank(*windows)) {
            machine.CheckUnchanged();
            return 0;
        }
        const auto back = Try([&] { return files.Resolve(*windows); });
        if (!back)
            Fail("ToWindowsPath gave a path that does not resolve", *windows);
        if (Followed(*back) != Followed(*host))
            Fail("ToWindowsPath gave a path leading elsewhere", text + " -> " + *windows);
    }

    machine.CheckUnchanged();
    return 0;
}
