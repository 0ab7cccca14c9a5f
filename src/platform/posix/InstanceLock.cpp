#include "platform/posix/InstanceLock.h"

#include "platform/RuntimeError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace kestovan::posix {
namespace {

int ErrorNumberFor(int posixError) {
    switch (posixError) {
    case EACCES:
    case EPERM:
    case EROFS: return err::PermissionDenied;
    case ENOENT:
    case ENOTDIR: return err::PathNotFound;
    default: return err::PathFileAccessError;
    }
}

} // namespace

InstanceLock::InstanceLock(std::filesystem::path lockFile) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw RuntimeError(ErrorNumberFor(errno));
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        fd_ = fd;
        return;
    }
    int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK)
        throw RuntimeError(ErrorNumberFor(error));
    anotherCopyRuns_ = true;
}

InstanceLock InstanceLock::LookOnly(const std::filesystem::path& lockFile) {
    InstanceLock look;
    int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return look; // no copy has ever locked this machine
        throw RuntimeError(ErrorNumberFor(errno));
    }
    int result;
    do {
        result = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    const int error = errno;
    ::close(fd); // lets go of the shared lock at once
    if (result != 0 && error != EWOULDBLOCK)
        throw RuntimeError(ErrorNumberFor(error));
    look.anotherCopyRuns_ = result != 0;
    return look;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_); // closing the last descriptor of the open file unlocks it
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), anotherCopyRuns_(other.anotherCopyRuns_) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        anotherCopyRuns_ = other.anotherCopyRuns_;
    }
    return *this;
}

} // namespace kestovan::posix
