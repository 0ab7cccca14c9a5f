#include "platform/posix/AtomicFile.h"

#include "platform/RuntimeError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestovan::posix {
namespace {

int ErrorNumberFor(int posixError) {
    switch (posixError) {
    case ENOSPC:
    case EDQUOT: return err::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return err::PermissionDenied;
    case ENOENT:
    case ENOTDIR: return err::PathNotFound;
    default: return err::PathFileAccessError;
    }
}

// Closes a descriptor when it leaves scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw RuntimeError(ErrorNumberFor(errno));
    }
    std::string content;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw RuntimeError(ErrorNumberFor(errno));
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    return content;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::path temporary = path;
    temporary += ".kestovan-tmp";
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0)
        mode = old.st_mode & 07777;

    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (fd.get() < 0)
        throw RuntimeError(ErrorNumberFor(errno));
    auto fail = [&](int posixError) {
        ::close(fd.release());
        ::unlink(temporary.c_str());
        throw RuntimeError(ErrorNumberFor(posixError));
    };
    std::size_t written = 0;
    while (written < content.size()) {
        ssize_t n = ::write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0)
        fail(errno);
    if (::close(fd.release()) != 0) {
        int e = errno;
        ::unlink(temporary.c_str());
        throw RuntimeError(ErrorNumberFor(e));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(temporary.c_str());
        throw RuntimeError(ErrorNumberFor(e));
    }
}

} // namespace kestovan::posix
