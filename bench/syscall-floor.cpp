// The least a faithful removal has to ask of the system, as a program of its
// own: for every ordinary file of the given directories (and their
// sub-directories), in the order the file list shows them, one read of
// user.DOSATTRIB (a hidden or system file is not listed), one stat (a
// read-only file is not deleted) and the unlink itself.
//
// Each call is made the cheapest way this machine offers: relative to an
// open descriptor of the directory (fstatat, unlinkat, and getxattrat where
// the kernel has it; getxattr by full path where it has not), so that the
// directory's path is not walked again for every file.
//
// Nothing else is done: no name matching, no log, no caches, no check for
// changes made meanwhile.  Timed beside the removal and `find -delete`, it
// shows how much of the removal's time is the system's answer to questions
// the removal cannot leave out on this machine.
//
// With --watch it is the floor of a program that, like the removal, keeps
// what it read of a directory correct while other programs change it: each
// directory is watched for changes (inotify) before it is read, and the
// notifications are read once per file deleted (the program's own deletion
// among them).  The difference to the plain floor is what that correctness
// costs on this machine.
//
// Usage: kestovan_syscall_floor [--watch] DIR...   (prints the number of files deleted)

#include "platform/posix/DosAttributes.h"
#include "platform/posix/MachineListing.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The change notifications of the watched directories (--watch); inactive
// without it.
class Notifications {
public:
    explicit Notifications(bool active)
        : fd_(active ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1) {
        if (active && fd_ < 0)
            fd_ = -2;
    }
    Notifications(const Notifications&) = delete;
    Notifications& operator=(const Notifications&) = delete;
    ~Notifications() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Failed() const { return fd_ == -2; }

    // The changes the removal watches for.
    void Watch(const std::string& dir) {
        constexpr std::uint32_t Changes = IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE |
                                          IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        if (fd_ >= 0 && ::inotify_add_watch(fd_, dir.c_str(), Changes) < 0)
            fd_ = -2;
    }
    // Takes what is queued (one read, as the removal makes before each
    // operation).
    void Read() {
        if (fd_ >= 0 && ::read(fd_, buffer_, sizeof buffer_) < 0 && errno != EAGAIN)
            fd_ = -2;
    }

private:
    int fd_;
    alignas(inotify_event) char buffer_[16384];
};

// Reads user.DOSATTRIB of name in the directory fd (dir is its path);
// false on a failure other than a missing attribute.  byPath becomes true
// once the kernel turns out to have no getxattrat.
bool ReadAttribute(int fd, const std::string& dir, const std::string& name, bool& byPath) {
    char value[64];
    ssize_t n = -1;
    if (!byPath) {
        n = kestovan::posix::GetXattrAt(fd, name.c_str(), kestovan::posix::DosAttribName, value,
                                        sizeof value);
        if (n < 0 && errno == ENOSYS)
            byPath = true;
    }
    if (byPath) {
        const std::string path = dir + '/' + name;
        n = ::getxattr(path.c_str(), kestovan::posix::DosAttribName, value, sizeof value);
    }
    return n >= 0 || errno == ENODATA;
}

// Deletes the ordinary files of dir, then those of its sub-directories;
// returns how many were deleted, or -1 on a failure.
long RemoveFiles(const std::string& dir, bool& byPath, Notifications& notifications) {
    std::vector<std::string> files;
    std::vector<std::string> directories;
    notifications.Watch(dir);
    std::unique_ptr<DIR, DirCloser> stream(::opendir(dir.c_str()));
    if (!stream) {
        std::perror(dir.c_str());
        return -1;
    }
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (entry->d_type == DT_REG)
            files.emplace_back(name);
        else if (entry->d_type == DT_DIR)
            directories.emplace_back(name);
    }
    std::sort(files.begin(), files.end(), kestovan::posix::LessWithoutCase);

    const int fd = ::dirfd(stream.get());
    long deleted = 0;
    for (const std::string& name : files) {
        struct stat st {};
        if (!ReadAttribute(fd, dir, name, byPath) || ::fstatat(fd, name.c_str(), &st, 0) != 0 ||
            ::unlinkat(fd, name.c_str(), 0) != 0) {
            std::perror((dir + '/' + name).c_str());
            return -1;
        }
        ++deleted;
        notifications.Read();
    }
    for (const std::string& name : directories) {
        const long below = RemoveFiles(dir + '/' + name, byPath, notifications);
        if (below < 0)
            return -1;
        deleted += below;
    }
    return deleted;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    const bool watch = argc > 1 && std::string_view(argv[1]) == "--watch";
    if (watch)
        ++first;
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--watch] DIR...\n", argv[0]);
        return 2;
    }
    bool byPath = false;
    Notifications notifications(watch);
    long deleted = 0;
    for (int i = first; i < argc; ++i) {
        const long count = RemoveFiles(argv[i], byPath, notifications);
        if (count < 0)
            return 1;
        deleted += count;
    }
    if (notifications.Failed()) {
        std::perror("inotify");
        return 1;
    }
    std::printf("%ld\n", deleted);
    return 0;
}
