// The least a faithful removal has to ask of Windows, as a program of its
// own: every directory given (and its sub-directories) is listed once with
// FindFirstFileA/FindNextFileA, which gives the names and the attributes
// (hidden and system files are not listed), and then, for every ordinary
// file, one GetFileAttributesA (a read-only file is not deleted, and the
// file may have changed since the listing) and the DeleteFileA itself.
//
// Nothing else is done: no name matching, no sorting, no log.  Timed beside
// KESTOVAN.EXE under the same system (bench/wine), it shows how much of the
// removal's time is the system's answer to the questions the removal cannot
// leave out.
//
// Usage: kestovan_win32_floor DIR...   (prints the number of files deleted)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

long RemoveFiles(const std::string& dir) {
    std::vector<std::string> files;
    std::vector<std::string> directories;
    WIN32_FIND_DATAA data{};
    const HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot list %s (error %lu)\n", dir.c_str(), ::GetLastError());
        return -1;
    }
    do {
        const DWORD attributes = data.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
                directories.emplace_back(data.cFileName);
        } else if ((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0) {
            files.emplace_back(data.cFileName);
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);

    long deleted = 0;
    std::string path = dir + "\\";
    const std::size_t base = path.size();
    for (const std::string& name : files) {
        path.resize(base);
        path += name;
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
            continue;
        if (::DeleteFileA(path.c_str()))
            ++deleted;
    }
    for (const std::string& name : directories) {
        const long below = RemoveFiles(dir + "\\" + name);
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
