#pragma once

#include "platform/ThirtyTwoBitView.h"
#include "platform/posix/MachineDrives.h"
#include "platform/posix/MachineListing.h"
#include "platform/posix/MachinePath.h"

#include <array>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::posix {

// How attributes are read when the kernel cannot read them relative to a
// directory's descriptor (getxattrat, Linux 6.13 and later): learnt at the
// first read, and a buffer for the full paths used instead.
struct ByPathReads {
    bool always = false;
    std::string path;
};

// The file system of a machine directory laid out as a Wine prefix, seen
// through Windows paths and the run-time's file statements.
//
// Drives are the links dosdevices/<letter>: (C: is drive_c/ when there is no
// dosdevices/c:).  Each component of a Windows path is matched without
// regard to letter case (the exact name first, then the first
// case-insensitive match in byte order, then a short name as
// GetShortPathNameA gives it).  Attributes: read-only is a file without its
// owner write bit; hidden and system come from the user.DOSATTRIB extended
// attribute, and a name beginning with "." is always hidden.  Symbolic links
// are never followed out of their drive's root, and Kill and RmDir never
// delete what a link points to.
//
// Listings of host directories are kept between calls (ListingCache), so
// looking up names in a large directory does not read it again: on a local
// file system the system's change notifications tell when one changes,
// elsewhere the directory's stamp (identity and times) is checked at each
// use.  This object's own deletions update them in place, and Invalidate
// tells it about changes made by the program's other parts.
//
// Errors: 52 unmapped drive or malformed path, 53 file not found, 68 device
// unavailable (ChDrive), 70 permission denied, 75 path/file access error,
// 76 path not found, 5 invalid argument.
class MachineFileSystem {
public:
    explicit MachineFileSystem(std::filesystem::path machineDir,
                               ChangeTracking tracking = ChangeTracking::Notifications);

    const std::filesystem::path& MachineDir() const { return machineDir_; }

    // From now on every path is seen through view: paths in the system
    // directory lead where a 32-bit program's lead (none by default).
    void UseSystemDirectoryView(SystemDirectoryView view) { systemView_ = std::move(view); }
    const SystemDirectoryView& SystemView() const { return systemView_; }

    // Host path of a Windows path (absolute, "C:rel", "\rel" or relative to
    // the current directory).  Existing components are matched as above;
    // the rest are appended as written.  ".." stops at the drive's root.
    // Raises 52 for an unmapped drive or a malformed path (wildcards
    // included), 76 for a link leading out of the drive.
    std::filesystem::path Resolve(const std::string& windowsPath);

    // Where the existing directory windowsPath really is, every link on its
    // way followed: its Windows path with a trailing backslash, in the
    // letter case stored on disk ("C:\windows\").  nullopt when it does not
    // exist, is no directory, or a link on the way leads out of its drive.
    // Never raises.
    std::optional<std::string> FinalDirectoryPath(const std::string& windowsPath);

    // True when the last component of windowsPath (a trailing backslash
    // ignored) is a symbolic link.  Never raises.
    bool IsLink(const std::string& windowsPath);

    // Windows path ("C:\dir\file") of a host path inside a drive (the drive
    // with the longest root holding it); nullopt when outside every drive.
    std::optional<std::string> ToWindowsPath(const std::filesystem::path& hostPath);

    // Name of the first entry in byte order matching pathSpec ('*' and '?'
    // in the last component) and the mask, "" when none.  An entry that is
    // hidden, system or a directory is seen only when the mask holds each of
    // those attributes (2, 4, 16).  A path ending in a backslash names the
    // directory itself: mask 16 gives "." when it exists, other masks the
    // first file in it.  With mask 16 a wildcard search outside a drive's
    // root also sees "." and "..".  A missing directory gives "".
    std::string Dir(const std::string& pathSpec, int attributes);
    // Every name the search of Dir finds, in the same order (Dir gives the
    // first).
    std::vector<std::string> DirAll(const std::string& pathSpec, int attributes);

    // ReadOnly, Hidden, System and Directory of an existing entry, as Kill
    // and Dir see them (a drive's root is a directory).  53 when it or a
    // directory on its way is missing; 52 as Resolve.
    int GetAttr(const std::string& path);

    // Deletes a file (53 missing, hidden, system or a directory, so a hidden
    // file needs SetAttr first, as with the run-time's Kill; 75 read-only;
    // 76 missing directory part; 70 refused by the system).  With wildcards,
    // every matching ordinary file, stopping with 75 at a read-only one; 53
    // when none matches.  A symbolic link is removed itself, never its
    // target; a link to a directory counts as a directory.
    void Kill(const std::string& path);

    // Removes an empty directory (75 not empty, a drive's root, the current
    // directory of a drive, or a symbolic link; 76 missing or not a
    // directory).
    void RmDir(const std::string& path);

    // Makes path the current directory of its drive (76 when it is no
    // existing directory); the current drive does not change.
    void ChDir(const std::string& path);

    // Makes the drive of the first letter of drive current ("" does
    // nothing); 68 when the letter is no mapped drive.
    void ChDrive(const std::string& drive);

    // Sets read-only (1), hidden (2) and system (4) as given; archive (32) is
    // accepted and not kept.  Read-only is not kept for directories, and a
    // name beginning with "." stays hidden.  Other bits of user.DOSATTRIB
    // are kept.  5 for other values, 53 missing, 76 missing directory part
    // or a link leading out of the drive.
    void SetAttr(const std::string& path, int attributes);

    // Names of the ordinary, read-only and archive files of dir matching one
    // of the ";"-separated patterns (all files when there is none), sorted
    // without regard to letter case.  76 when dir is no existing directory.
    std::vector<std::string> ListFiles(const std::string& dir, const std::string& patterns);

    // Names of the sub-directories directly inside dir, hidden ones and
    // links to directories included, sorted without regard to letter case.
    // 76 as ListFiles.
    std::vector<std::string> ListDirectories(const std::string& dir);

    // Short (8.3) form of an existing path, always from the drive
    // ("C:\PROGRA~1\TAVORI~1.BMP"), with a trailing backslash when longPath
    // has one.  Returns its length when it fits in size (and in the buffer)
    // with its NUL, else the size it needs including the NUL and writes
    // nothing; 0 when the path does not exist or is not valid.  Never raises.
    std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                    std::uint32_t size);

    // The current directory of the current drive ("C:\Program Files").
    std::string CurrentDirectory() const;

    // The program's other parts changed files in this host directory: what
    // is kept of it and of the directories below it is read again.
    void Invalidate(const std::filesystem::path& hostDir);

    // How many directories were read from disk so far.
    std::size_t DirectoryReads() const { return listings_.ReadCount(); }

private:
    struct EntryState {
        bool exists = false;
        bool directory = false;
        int attributes = 0; // ReadOnly, Hidden, System, Directory
    };

    // The path as written, made absolute (valid until the next call).
    const DrivePath& Parse(const std::string& windowsPath, bool allowLastWildcards) const;
    // The host path of the drive's root; every operation starts here.
    // Valid during the operation.
    const std::string& DriveRoot(char letter);
    struct FoundDirectory {
        std::string host;
        std::shared_ptr<DirectoryListing> listing;
        // An open descriptor of the directory for calls relative to it
        // (valid during the operation), AT_FDCWD when there is none.
        int fd = AT_FDCWD;
    };
    // An open descriptor, closed with its owner.
    class Descriptor {
    public:
        explicit Descriptor(int fd = -1) : fd_(fd) {}
        Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
        Descriptor& operator=(Descriptor&& other) noexcept;
        ~Descriptor();
        int Get() const { return fd_; }

    private:
        int fd_;
    };

    // Follows components from root, each an existing directory; nullptr
    // when one is missing or no directory.  Raises 76 for a link leading out
    // of the drive.  storedNames receives the names as stored.  What it
    // gives is kept here and stays valid until the next call.
    const FoundDirectory* FindDirectory(const std::string& root,
                                        std::span<const std::string> components,
                                        std::vector<std::string>* storedNames = nullptr);
    // FindDirectory for a directory that must exist: raises 76 when it does not.
    const FoundDirectory& ExistingDirectory(const std::string& root,
                                            std::span<const std::string> components);
    // The existing directory that holds the last component of path (which
    // has one).
    const FoundDirectory& ExistingParent(const std::string& root, const DrivePath& path);
    // The drive root, existing parent directory and entry (nullptr when
    // missing) of the last component of a path that is no drive's root;
    // raises 75 for a drive's root, 76 when the parent is missing.
    struct LastComponent {
        std::string root;
        std::string dir;
        std::shared_ptr<DirectoryListing> listing;
        const DirectoryEntry* entry = nullptr;
    };
    LastComponent LookUpLast(const std::string& pathText);
    EntryState Inspect(const FoundDirectory& dir, const DirectoryEntry& entry) const;
    // Dir's search: calls found(name) for each name found, in order, until
    // it returns false.
    template <typename Found> void Search(const std::string& pathSpec, int attributes, Found found);
    void Unlink(const FoundDirectory& dir, const DirectoryEntry& entry);
    bool IsCurrentDirectory(const std::filesystem::path& hostDir);

    std::filesystem::path machineDir_;
    SystemDirectoryView systemView_;
    ListingCache listings_;
    MachineDrives drives_;
    // The last directory FindDirectory found, with the cache's generation
    // at that time.  When it is found again, a descriptor of it is opened
    // and kept with it, so that the calls on its entries need not walk its
    // path again.
    struct LastFound {
        std::uint64_t generation = 0;
        std::string root;
        std::vector<std::string> components;
        std::vector<std::string> storedNames;
        FoundDirectory found;
        Descriptor fd;
    };
    std::optional<LastFound> lastFound_;
    mutable ByPathReads byPathReads_;
    // The directory part of the last path Parse split that ends in a plain
    // name ("C:\dir\"), with the drive and the components it gave.
    struct ParsedDirectory {
        std::string text;
        char drive = 0;
        std::vector<std::string> components;
    };
    mutable std::optional<ParsedDirectory> lastDirectory_;
    // What Parse gave last, and whether it is lastDirectory_'s components
    // with one more.
    mutable DrivePath parsed_;
    mutable bool parsedInLastDirectory_ = false;
    // What FindDirectory found last when it is not kept in lastFound_.
    FoundDirectory found_;
    char currentDrive_ = 'c';
    std::array<std::vector<std::string>, 26> currentDirs_;
};

} // namespace kestovan::posix
