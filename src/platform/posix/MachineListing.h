#pragma once

#include "platform/posix/MachineWatch.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
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
    std::string name; // as stored on disk
    EntryKind kind = EntryKind::File;
    bool removed = false; // deleted through this program since the listing was read
};

// True when a sorts before b without regard to the letter case of ASCII
// letters (other bytes by value).
bool LessWithoutCase(std::string_view a, std::string_view b);

// The names of one directory, indexed for lookups without regard to letter
// case and by short name.
//
// The entries are kept sorted without regard to case, the order in which
// file lists show them and in which the removal goes through them; a search
// in byte order sorts only what it found.  Short names are worked out only when
// one is asked for (most listings never are): a generated short name is
// numbered by the entry's place among the live entries of the same stem, so
// the stems are grouped at the first such question, and a removal after that
// costs an update of a counting tree per stem rather than a renumbering.
class DirectoryListing {
public:
    explicit DirectoryListing(std::vector<DirectoryEntry> entries);
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // Every entry sorted without regard to letter case (names that differ
    // only in case in byte order), including removed ones (skip them).
    const std::vector<DirectoryEntry>& Entries() const { return entries_; }
    std::size_t LiveCount() const { return live_; }

    // The entry a name written by the user stands for: the exact name, else
    // the first name in byte order equal to it without regard to letter
    // case, else the entry whose short name it is.  nullptr when none.
    const DirectoryEntry* Find(std::string_view name) const;

    // The 8.3 name of a live entry of this listing: its own name when that
    // is a valid 8.3 name, else the generated one.
    std::string ShortNameOf(const DirectoryEntry& entry) const;

    // Drops the live entry of this exact stored name; returns it, or nullptr
    // when there is none.
    const DirectoryEntry* Remove(std::string_view name);

    // This program deleted the live entry: it is dropped, and, while the
    // listing is watched, the system's report of the deletion is expected.
    void RemoveOwn(const DirectoryEntry& entry);
    // True when a reported removal of name is the next expected report of
    // this program's own deletions (already applied): it is taken off.
    bool TakeOwnRemovalReport(std::string_view name);

    // Counts the changes made to this listing since it was read.
    std::uint64_t Changes() const { return changes_; }

    // True when the system reports the changes of the directory (see
    // ListingCache): only then are attributes kept.
    bool Watched() const { return watched_; }
    void SetWatched(bool watched) { watched_ = watched; }

    // The user.DOSATTRIB value of an ordinary file as last read, kept only
    // while the listing is watched; nullopt when unknown.
    std::optional<unsigned> KnownDosAttributes(const DirectoryEntry& entry) const;
    void RememberDosAttributes(const DirectoryEntry& entry, unsigned value);
    void ForgetDosAttributes(std::string_view name);

private:
    static constexpr std::uint32_t None = 0xFFFFFFFFu;

    // The live members of one stem, in byte order, with a counting tree
    // (Fenwick) over them: a member's number and the member of a number are
    // found in logarithmic time, and so is a removal.
    struct StemGroup {
        std::string base;                   // ShortNameStem::base
        std::string extension;              // ShortNameStem::extension
        std::vector<std::uint32_t> members; // entry indices, names in byte order
        std::vector<std::uint32_t> tree;    // Fenwick tree of live flags
        std::uint32_t live = 0;

        std::uint32_t LiveBefore(std::size_t position) const;
        void Drop(std::size_t position);
        std::size_t PositionOfLive(std::uint32_t number) const; // number from 1
    };
    // The entries' stems, grouped at the first question about short names.
    struct ShortNames {
        std::vector<std::uint32_t> stemOf; // index into groups, None for valid 8.3 names
        std::vector<StemGroup> groups;
        // What a generated name shows of its stem, for each count of digits
        // of its number ("TAVOR.BMP#2" for TAVOR~12.BMP), to the stems
        // showing it.
        std::unordered_map<std::string, std::vector<std::uint32_t>> shown;
    };

    void SortWithoutCase();
    std::size_t IndexOf(const DirectoryEntry& entry) const {
        return static_cast<std::size_t>(&entry - entries_.data());
    }
    // The place of a member in its group's byte order.
    std::size_t PositionInGroup(const StemGroup& group, std::size_t index) const;
    void RemoveAt(std::size_t index);
    std::uint32_t FoldHead(std::string_view name) const;
    const DirectoryEntry* FindShortName(std::string_view name) const;
    const ShortNames& Stems() const;

    std::vector<DirectoryEntry> entries_;
    std::size_t live_ = 0;
    std::uint64_t changes_ = 0;
    bool watched_ = false;
    // Names equal without regard to case form a chain in byte order; the
    // table holds the index of each chain's first entry (open addressing).
    std::vector<std::uint32_t> foldTable_;
    std::vector<std::uint32_t> foldTags_; // high bits of each slot's hash
    std::vector<std::uint32_t> nextSameFold_;
    std::vector<std::int16_t> dosAttributes_; // -1 unknown
    // Worked out at the first question about a short name.
    mutable std::unique_ptr<ShortNames> shortNames_;
    // Entries this program deleted whose removal the system has not yet
    // reported, in the order of the deletions (the order of the reports).
    std::deque<std::uint32_t> unreportedOwnRemovals_;
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

// How a ListingCache learns of changes made behind its back.
enum class ChangeTracking {
    Notifications, // the system's notifications where it offers them, else stamps
    Stamps,        // the directory's stamp, checked at every use
};

// Listings of host directories (named by their host paths), read once and
// kept while nothing changes them.
//
// A directory on a local file system is watched (DirectoryWatch): its
// listing stays as read until the system reports a change, which CatchUp
// applies (names removed are dropped in place; names added make the listing
// read again; attribute changes drop what was kept of that name).  Other
// directories are checked by their stamp at every use; a listing read
// within moments of the directory's last change may have missed a change
// made in the same clock tick: it is read again at the next use until it
// was read late enough.  Removals made through this program update the
// kept listing in place either way.
class ListingCache {
public:
    explicit ListingCache(ChangeTracking tracking = ChangeTracking::Notifications);

    // Applies the changes reported since the last call.  Call it before the
    // Get calls of each operation: a watched listing is as current as the
    // last CatchUp.
    void CatchUp();

    // The listing of hostDir; nullptr when it is not an existing directory.
    // Raises RuntimeError 70 when the directory cannot be read.
    std::shared_ptr<DirectoryListing> Get(const std::string& hostDir);

    // This program removed the live entry of hostDir, whose listing (as Get
    // gave it during this operation) is listing.
    void NoteRemoval(const std::string& hostDir, DirectoryListing& listing,
                     const DirectoryEntry& entry);

    // Forgets the listings of hostDir, of the directories below it, and of
    // any other path of the same directory.
    void Forget(const std::string& hostDir);

    // How many directories were read from disk so far (for tests of the
    // cache itself).
    std::size_t ReadCount() const { return reads_; }

    // Changes whenever a listing is read or dropped, or loses an entry that
    // is no ordinary file.  (A listing checked by stamp can also change at
    // any Get.)
    std::uint64_t Generation() const { return generation_; }

private:
    struct Kept {
        std::shared_ptr<DirectoryListing> listing;
        DirectoryStamp stamp;
        bool racy = false;
        // The stamp the directory had right after this program's last
        // removal in it.
        std::optional<DirectoryStamp> ownStamp;
        int watch = -1; // >= 0: kept current by notifications
    };
    // Looked up by views of host paths, without copying them.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const {
            return std::hash<std::string_view>{}(key);
        }
    };
    using KeptMap = std::unordered_map<std::string, Kept, KeyHash, std::equal_to<>>;

    void Drop(KeptMap::iterator it);
    void DropAll();
    // Forgets key and every kept directory below it.
    void ForgetBelow(const std::string& key);
    void Apply(const DirectoryWatch::Event& event);

    DirectoryWatch watch_;
    KeptMap kept_;
    // The kept directories made current by each watch (one directory may
    // have several paths); elements of kept_, which stay in place.
    std::unordered_map<int, std::vector<KeptMap::pointer>> watchedKeys_;
    std::size_t keptEntries_ = 0;
    std::size_t reads_ = 0;
    std::uint64_t generation_ = 0;
};

} // namespace kestovan::posix
