#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace kestovan::posix {

enum class EntryKind : unsigned char { File, Directory, Link, Other };

// One name of a directory listing.
struct DirectoryEntry {
    std::string name;    // as stored on disk
    std::string folded;  // name with ASCII letters lower-cased
    std::string stemKey; // ShortNameStem::Key() of a name that is no valid 8.3 name, else empty
    EntryKind kind = EntryKind::File;
    bool removed = false; // deleted through this program since the listing was read
};

// The names of one directory in byte order, indexed for lookups without
// regard to letter case and by short name.
//
// A generated short name is numbered by the entry's place among the live
// entries of the same stem, so it is worked out when asked for rather than
// stored: a removal then costs no renumbering of the entries after it.
class DirectoryListing {
public:
    explicit DirectoryListing(std::vector<DirectoryEntry> entries);
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // Every entry in byte order of names, including removed ones (skip them).
    const std::vector<DirectoryEntry>& Entries() const { return entries_; }
    std::size_t LiveCount() const { return live_; }

    // The entry a name written by the user stands for: the exact name, else
    // the first name in byte order equal to it without regard to letter
    // case, else the entry whose short name it is.  nullptr when none.
    const DirectoryEntry* Find(std::string_view name) const;

    // The 8.3 name of a live entry of this listing: its own name when that
    // is a valid 8.3 name, else the generated one.
    std::string ShortNameOf(const DirectoryEntry& entry) const;

    // Drops the entry of this exact stored name.
    void Remove(std::string_view name);

private:
    struct StemGroup {
        std::string base;                 // ShortNameStem::base
        std::string extension;            // ShortNameStem::extension
        std::vector<std::size_t> members; // live entries, ascending
    };

    const DirectoryEntry* FindShortName(std::string_view name) const;

    std::vector<DirectoryEntry> entries_;
    std::size_t live_ = 0;
    // Keys view the strings of entries_, which never moves once built.
    std::unordered_map<std::string_view, std::size_t> byName_;
    std::unordered_map<std::string_view, std::vector<std::size_t>> byFolded_;
    std::unordered_map<std::string, StemGroup> stemGroups_;
    // What a generated name shows of its stem, for each count of digits of
    // its number ("TAVOR.BMP#2" for TAVOR~12.BMP), to the stems showing it.
    std::unordered_map<std::string, std::vector<std::string>> shownStems_;
};

// What tells that a directory changed: its identity and its time stamps.
struct DirectoryStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const DirectoryStamp& other) const;
};

// The stamp of path when it is a directory (links followed); nullopt when it
// is missing or no directory.
std::optional<DirectoryStamp> StampOf(const std::filesystem::path& path);

// True when the stamp is so recent that a further change in the same tick of
// the file system's clock would leave it as it is: what was read from the
// directory cannot be trusted to stay current.
bool IsRecent(const DirectoryStamp& stamp);

// Listings of host directories, read once and kept while the directory's
// stamp stays the same.  A listing read within moments of the directory's
// last change may have missed a change made in the same clock tick: it is
// read again at the next use until it was read late enough.  Removals made
// through this program update the kept listing in place instead.
class ListingCache {
public:
    // The listing of hostDir; nullptr when it is not an existing directory.
    // Raises RuntimeError 70 when the directory cannot be read.
    std::shared_ptr<DirectoryListing> Get(const std::filesystem::path& hostDir);

    // This program removed `name` from hostDir.
    void NoteRemoval(const std::filesystem::path& hostDir, std::string_view name);

    // Forgets the listings of hostDir, of the directories below it, and of
    // any other path of the same directory.
    void Forget(const std::filesystem::path& hostDir);

    // How many directories were read from disk so far (for tests of the
    // cache itself).
    std::size_t ReadCount() const { return reads_; }

private:
    struct Kept {
        std::shared_ptr<DirectoryListing> listing;
        DirectoryStamp stamp;
        bool racy = false;
        // The stamp the directory had right after this program's last
        // removal in it.
        std::optional<DirectoryStamp> ownStamp;
    };

    std::unordered_map<std::string, Kept> kept_;
    std::size_t keptEntries_ = 0;
    std::size_t reads_ = 0;
};

} // namespace kestovan::posix
