#pragma once

#include <filesystem>

namespace kestovan::posix {

// The single-copy check: an advisory lock (flock) on a lock file, created
// when missing, and held for the life of the object.  The operating system
// lets go of it when the process ends, however it ends.  The lock belongs to
// the open file, so a second InstanceLock on the same file, in this process
// or another, finds it taken.
class InstanceLock {
public:
    // Raises RuntimeError when the lock file cannot be opened or created
    // (70 permission denied, 76 path not found, 75 otherwise) or locking it
    // fails for another reason than its being held.
    explicit InstanceLock(std::filesystem::path lockFile);
    // Only looks whether another copy holds the lock, for a run that changes
    // nothing: the lock file is never created, an existing one is opened for
    // reading and closed again, and nothing is held afterwards.
    static InstanceLock LookOnly(const std::filesystem::path& lockFile);
    ~InstanceLock();

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when another copy held the lock, so this one does not.
    bool AnotherCopyRuns() const { return anotherCopyRuns_; }

private:
    InstanceLock() = default;

    int fd_ = -1;
    bool anotherCopyRuns_ = false;
};

} // namespace kestovan::posix
