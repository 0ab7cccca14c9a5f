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
// Usage: kestovan_syscall_floor DIR...   (prints the number of files deleted)

#include "platform/posix/DosAttributes.h"
#include "platform/posix/MachineListing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
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
long RemoveFiles(const std::string& dir, bool& byPath) {
    std::vector<std::string> files;
    std::vector<std::string> directories;
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
    }
    for (const std::string& name : directories) {
        const long below = RemoveFiles(dir + '/' + name, byPath);
        if (below < 0)
            return -1;
        deleted += below;
    }
    return deleted;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR...\n", argv[0]);
        return 2;
    }
    bool byPath = false;
    long deleted = 0;
    for (int i = 1; i < argc; ++i) {
        const long count = RemoveFiles(argv[i], byPath);
        if (count < 0)
            return 1;
        deleted += count;
    }
    std::printf("%ld\n", deleted);
    return 0;
}
