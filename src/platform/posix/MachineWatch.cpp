#include "platform/posix/MachineWatch.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace kestovan::posix {

namespace {

constexpr std::uint32_t WatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr std::size_t LargestEvent = sizeof(inotify_event) + NAME_MAX + 1;
constexpr std::size_t BufferSize = 64 * 1024;

// File systems that report every change to their directories, made through
// any path by any process.  Network, user-space and layered file systems
// report only what this host does through the same mount, if that.
bool ReportsEveryChange(const std::string& hostDir) {
    struct statfs info {};
    if (::statfs(hostDir.c_str(), &info) != 0)
        return false;
    constexpr std::array<unsigned long, 10> local{
        0xEF53UL,     // ext2, ext3, ext4
        0x58465342UL, // xfs
        0x9123683EUL, // btrfs
        0x01021994UL, // tmpfs
        0x858458F6UL, // ramfs
        0xF2F52010UL, // f2fs
        0x3153464AUL, // jfs
        0x52654973UL, // reiserfs
        0xCA451A4EUL, // bcachefs
        0x2FC12FC1UL, // zfs
    };
    const auto type = static_cast<unsigned long>(info.f_type);
    for (unsigned long known : local)
        if (type == known)
            return true;
    return false;
}

} // namespace

DirectoryWatch::DirectoryWatch(bool enabled)
    : fd_(enabled ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1) {
    if (fd_ >= 0)
        buffer_.resize(BufferSize);
}

DirectoryWatch::~DirectoryWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

int DirectoryWatch::Add(const std::string& hostDir) {
    if (fd_ < 0 || !ReportsEveryChange(hostDir))
        return -1;
    return ::inotify_add_watch(fd_, hostDir.c_str(), WatchedChanges);
}

void DirectoryWatch::Remove(int watch) {
    if (fd_ >= 0 && watch >= 0)
        ::inotify_rm_watch(fd_, watch);
}

void DirectoryWatch::Drain(const std::function<void(const Event&)>& onEvent) {
    if (fd_ < 0)
        return;
    while (true) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN) {
                // The queue cannot be read: nothing kept can be trusted.
                onEvent(Event{});
            }
            return;
        }
        const auto size = static_cast<std::size_t>(n);
        for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
            inotify_event header{};
            std::memcpy(&header, buffer_.data() + at, sizeof header);
            const char* nameStart = buffer_.data() + at + sizeof header;
            at += sizeof header + header.len;
            Event event;
            event.watch = header.wd;
            event.isDirectory = (header.mask & IN_ISDIR) != 0;
            if (header.len > 0)
                event.name = std::string_view(nameStart, ::strnlen(nameStart, header.len));
            if (header.mask & IN_Q_OVERFLOW) {
                onEvent(Event{});
                continue;
            }
            if (header.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                event.change = Change::Gone;
            else if (header.mask & (IN_CREATE | IN_MOVED_TO))
                event.change = Change::Added;
            else if (header.mask & (IN_DELETE | IN_MOVED_FROM))
                event.change = Change::Removed;
            else if (header.mask & IN_ATTRIB)
                event.change = event.name.empty() ? Change::Self : Change::Attributes;
            else
                continue;
            onEvent(event);
        }
        // A read that left room for one more event took all that was queued
        // when it was made.
        if (size + LargestEvent <= buffer_.size())
            return;
    }
}

} // namespace kestovan::posix
