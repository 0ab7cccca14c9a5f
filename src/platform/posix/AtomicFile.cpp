#include "platform/posix/AtomicFile.h"

#include "platform/RuntimeError.h"
#include "platform/posix/DosAttributes.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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

[[noreturn]] void Raise(int posixError) {
    throw RuntimeError(ErrorNumberFor(posixError));
}

bool NoXattrSupport(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
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

// What the file being replaced carries besides its bytes.
struct Carried {
    bool exists = false;
    struct stat status {};
    std::optional<std::string> dosAttrib; // the raw extended attribute
};

// The raw DOSATTRIB value of path, data after the number included; nullopt
// when it has none or the file system keeps no extended attributes.
std::optional<std::string> RawDosAttrib(const std::filesystem::path& path) {
    std::vector<char> buffer(64);
    for (;;) {
        const ssize_t n = ::getxattr(path.c_str(), DosAttribName, buffer.data(), buffer.size());
        if (n >= 0)
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        if (errno == ENODATA || NoXattrSupport(errno))
            return std::nullopt;
        if (errno != ERANGE)
            Raise(errno);
        const ssize_t needed = ::getxattr(path.c_str(), DosAttribName, nullptr, 0);
        if (needed < 0)
            Raise(errno);
        buffer.resize(static_cast<std::size_t>(needed) + 1);
    }
}

Carried WhatTheFileCarries(const std::filesystem::path& path) {
    Carried old;
    if (::stat(path.c_str(), &old.status) != 0) {
        if (errno != ENOENT)
            Raise(errno);
        return old;
    }
    old.exists = true;
    old.dosAttrib = RawDosAttrib(path);
    return old;
}

// Writes the content and what the old file carried into the open temporary
// file, and flushes it to the disk.
void FillTemporary(int fd, const std::vector<std::string_view>& pieces, const Carried& old) {
    for (const std::string_view content : pieces) {
        std::size_t written = 0;
        while (written < content.size()) {
            const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                Raise(errno);
            }
            written += static_cast<std::size_t>(n);
        }
    }
    if (old.exists) {
        // Only a privileged writer may give the file back to its owner;
        // anyone else's rename-based write makes the file its own.
        if ((old.status.st_uid != ::geteuid() || old.status.st_gid != ::getegid()) &&
            ::fchown(fd, old.status.st_uid, old.status.st_gid) != 0 && errno != EPERM)
            Raise(errno);
        // Set outright: the creation mode passed through the umask.
        if (::fchmod(fd, old.status.st_mode & 07777) != 0)
            Raise(errno);
    }
    if (old.dosAttrib &&
        ::fsetxattr(fd, DosAttribName, old.dosAttrib->data(), old.dosAttrib->size(), 0) != 0) {
        if (!NoXattrSupport(errno))
            Raise(errno);
    }
    if (::fsync(fd) != 0)
        Raise(errno);
}

// An unnamed file in dir (Linux's O_TMPFILE), or -1 when the system or the
// file system cannot make one.
int OpenUnnamed(const std::filesystem::path& dir) {
#ifdef O_TMPFILE
    return ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
#else
    (void)dir;
    return -1;
#endif
}

// Gives the unnamed file open as fd the name temporary (a left-over of a
// process killed earlier is replaced).  False when it cannot be done here.
bool NameUnnamed(int fd, const std::filesystem::path& temporary) {
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
        return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Flushes the directory's entries, so that a rename in it is on the disk.
// The new content is in place whatever happens here: a file system that
// cannot flush a directory does not make the write fail.
void SyncDirectory(const std::filesystem::path& dir) {
    Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw RuntimeError(ErrorNumberFor(errno));
    }
    // Read into a string of the file's size, so that a large hive is not
    // copied while the string grows.
    struct stat status {};
    std::string content;
    if (::fstat(fd.get(), &status) == 0 && status.st_size > 0)
        content.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[65536];
    for (;;) {
        // Into the room reserved while there is some, then by chunks (a file
        // that grew meanwhile, or one whose size stat does not give).
        const std::size_t room = content.capacity() - content.size();
        const std::size_t had = content.size();
        ssize_t n = 0;
        if (room > 0) {
            content.resize(content.capacity());
            n = ::read(fd.get(), content.data() + had, room);
            content.resize(had + static_cast<std::size_t>(n < 0 ? 0 : n));
        } else {
            n = ::read(fd.get(), chunk, sizeof chunk);
            if (n > 0)
                content.append(chunk, static_cast<std::size_t>(n));
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw RuntimeError(ErrorNumberFor(errno));
        }
        if (n == 0)
            break;
    }
    return content;
}

std::filesystem::path TemporaryFileFor(const std::filesystem::path& path) {
    std::filesystem::path temporary = path;
    temporary += ".kestovan-tmp";
    return temporary;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& content) {
    WriteFileAtomically(path, std::vector<std::string_view>{content});
}

void WriteFileAtomically(const std::filesystem::path& path,
                         const std::vector<std::string_view>& content) {
    const Carried old = WhatTheFileCarries(path);
    const std::filesystem::path dir =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const std::filesystem::path temporary = TemporaryFileFor(path);

    // The unnamed file gets its name only once it is complete: a process
    // killed before leaves no file behind, and one that fails vanishes
    // with its descriptor.
    bool named = false;
    {
        Descriptor fd(OpenUnnamed(dir));
        if (fd.get() >= 0) {
            FillTemporary(fd.get(), content, old);
            named = NameUnnamed(fd.get(), temporary);
        }
    }
    if (!named) {
        Descriptor fd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            Raise(errno);
        try {
            FillTemporary(fd.get(), content, old);
            if (::close(fd.release()) != 0)
                Raise(errno);
        } catch (const RuntimeError&) {
            ::unlink(temporary.c_str());
            throw;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        Raise(error);
    }
    SyncDirectory(dir);
}

} // namespace kestovan::posix
