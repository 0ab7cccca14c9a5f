#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {

// Change notifications from the system (inotify) for directories whose
// listings are kept.  A directory is watched only on a local file system,
// where every change, whoever makes it, is reported; elsewhere (network and
// user-space file systems, overlays) Add declines and the caller checks the
// directory's stamp instead.  When the system offers no notifications at
// all, the watch is inactive and every Add declines.
class DirectoryWatch {
public:
    // What happened in or to a watched directory.
    enum class Change : unsigned char {
        Added,      // name was created or moved in
        Removed,    // name was deleted or moved out
        Attributes, // name's permissions or extended attributes changed
        Self,       // the directory itself changed: its attributes (no name)
        Gone,       // the directory was deleted, moved or unmounted
        Overflow,   // changes were lost: nothing kept can be trusted
    };
    struct Event {
        int watch = -1;
        Change change = Change::Overflow;
        bool isDirectory = false; // name is a directory (Added, Removed)
        std::string_view name;
    };

    // enabled false: an inactive watch, for callers that check stamps only.
    explicit DirectoryWatch(bool enabled = true);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    bool Active() const { return fd_ >= 0; }

    // Starts watching the directory at hostDir (links followed) and returns
    // its watch number; two paths of one directory give the same number.
    // -1 when it cannot be watched.  Changes made from the moment Add
    // returns are reported.
    int Add(const std::string& hostDir);

    // Stops watching (a number already dropped by the system is ignored).
    void Remove(int watch);

    // Hands every change reported since the last call to onEvent, in the
    // order they happened.  One read of the queue as a rule.
    void Drain(const std::function<void(const Event&)>& onEvent);

private:
    int fd_ = -1;
    std::vector<char> buffer_;
};

} // namespace kestovan::posix
