// The least a faithful removal has to ask of the system, as a program of its
// own: for every ordinary file of the given directories (and their
// sub-directories), in the order the file list shows them, one getxattr of
// user.DOSATTRIB (a hidden or system file is not listed), one stat (a
// read-only file is not deleted) and the unlink itself, by full path.
//
// Nothing else is done: no name matching, no log, no caches, no check for
// changes made meanwhile.  Timed beside the removal and `find -delete`, it
// shows how much of the removal's time is the system's answer to questions
// the removal cannot leave out on this machine.
//
// Usage: kestovan_syscall_floor DIR...   (prints the number of files deleted)

#include "platform/posix/MachineListing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// Deletes the ordinary files of dir, then those of its sub-directories;
// returns how many were deleted, or -1 on a failure.
long RemoveFiles(const std::string& dir) {
    std::vector<std::string> files;
    std::vector<std::string> directories;
    DIR* stream = ::opendir(dir.c_str());
    if (!stream) {
        std::perror(dir.c_str());
        return -1;
    }
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (entry->d_type == DT_REG)
            files.emplace_back(name);
        else if (entry->d_type == DT_DIR)
            directories.emplace_back(name);
    }
    ::closedir(stream);
    std::sort(files.begin(), files.end(), kestovan::posix::LessWithoutCase);

    long deleted = 0;
    char value[64];
    for (const std::string& name : files) {
        const std::string path = dir + '/' + name;
        if (::getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value) < 0 &&
            errno != ENODATA) {
            std::perror(path.c_str());
            return -1;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || ::unlink(path.c_str()) != 0) {
            std::perror(path.c_str());
            return -1;
        }
        ++deleted;
    }
    for (const std::string& name : directories) {
        const long below = RemoveFiles(dir + '/' + name);
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
    long deleted = 0;
    for (int i = 1; i < argc; ++i) {
        const long count = RemoveFiles(argv[i]);
        if (count < 0)
            return 1;
        deleted += count;
    }
    std::printf("%ld\n", deleted);
    return 0;
}
