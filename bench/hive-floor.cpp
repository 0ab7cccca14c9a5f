// The least a removal that rewrites registry hives can cost: for each
// FILE:COUNT argument, COUNT times, the hive is read whole and written whole
// to a temporary file in its directory, flushed, renamed over the hive and
// the directory flushed, the way every changed hive is replaced.
//
// Usage: kestovan_hive_floor FILE:COUNT ...
// Prints the seconds the whole took.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "kestovan_hive_floor: %s %s: %s\n", what, path.c_str(),
                 std::strerror(errno));
    std::exit(1);
}

void ReadAndReplace(const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        Fail("open", path);
    struct stat status {};
    if (::fstat(in, &status) != 0)
        Fail("stat", path);
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(in, text.data() + done, text.size() - done);
        if (n <= 0)
            Fail("read", path);
        done += static_cast<std::size_t>(n);
    }
    ::close(in);

    const std::string temporary = path + ".floor-tmp";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        Fail("create", temporary);
    for (done = 0; done < text.size();) {
        const ssize_t n = ::write(out, text.data() + done, text.size() - done);
        if (n <= 0)
            Fail("write", temporary);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(out) != 0 || ::close(out) != 0)
        Fail("flush", temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        Fail("rename", path);
    const std::string dir = path.find('/') == std::string::npos
                                ? std::string(".")
                                : path.substr(0, path.rfind('/') == 0 ? 1 : path.rfind('/'));
    const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        ::fsync(d);
        ::close(d);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kestovan_hive_floor FILE:COUNT ...\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        const std::size_t colon = arg.rfind(':');
        if (colon == std::string::npos) {
            std::fprintf(stderr, "kestovan_hive_floor: %s is not FILE:COUNT\n", argv[k]);
            return 2;
        }
        const long count = std::strtol(arg.c_str() + colon + 1, nullptr, 10);
        for (long n = 0; n < count; ++n)
            ReadAndReplace(arg.substr(0, colon));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
    return 0;
}
