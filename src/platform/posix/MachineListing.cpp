#include "platform/posix/MachineListing.h"

#include "platform/RuntimeError.h"
#include "platform/posix/MachinePattern.h"
#include "platform/posix/ShortName.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>

namespace kestovan::posix {

namespace {

// A listing read less than this long after the directory's last change is
// read again at its next use: the file system's clock runs in ticks of a few
// milliseconds, and a change in the same tick leaves the stamp as it was.
constexpr long long RacyWindowNs = 100'000'000;

// Beyond these the kept listings are dropped and read again as needed.
constexpr std::size_t MaxKeptDirectories = 4096;
constexpr std::size_t MaxKeptEntries = 2'000'000;

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

long long Nanoseconds(const timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

EntryKind KindOf(const dirent& entry, int dirFd) {
    switch (entry.d_type) {
    case DT_REG: return EntryKind::File;
    case DT_DIR: return EntryKind::Directory;
    case DT_LNK: return EntryKind::Link;
    case DT_UNKNOWN: break;
    default: return EntryKind::Other;
    }
    struct stat st {};
    if (::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Other;
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Directory;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

// Reads the names of hostDir; nullopt when it vanished or is no directory.
std::optional<std::vector<DirectoryEntry>> ReadDirectory(const std::filesystem::path& hostDir) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(hostDir.c_str()));
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        if (errno == EACCES || errno == EPERM)
            throw RuntimeError(err::PermissionDenied);
        throw RuntimeError(err::PathFileAccessError);
    }
    std::vector<DirectoryEntry> entries;
    const int fd = ::dirfd(dir.get());
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            DirectoryEntry e;
            e.name = name;
            e.kind = KindOf(*entry, fd);
            entries.push_back(std::move(e));
        }
        errno = 0;
    }
    if (errno != 0)
        throw RuntimeError(err::PathFileAccessError);
    return entries;
}

// True when path has no "." or ".." part, no doubled separator and no
// trailing one: its own key.
bool IsPlainPath(std::string_view path) {
    if (path.empty())
        return false;
    std::size_t start = path.front() == '/' ? 1 : 0;
    if (start == path.size())
        return true; // "/"
    while (true) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == path.size())
            return true;
        start = end + 1;
    }
}

// The key of a host directory: its path without "." and ".." parts,
// doubled or trailing separators.  Paths this program builds need no
// change and are their own key; others are normalised into storage.
std::string_view KeyOf(const std::string& hostDir, std::string& storage) {
    if (IsPlainPath(hostDir))
        return hostDir;
    storage = std::filesystem::path(hostDir).lexically_normal().string();
    while (storage.size() > 1 && storage.back() == '/')
        storage.pop_back();
    return storage;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Eight bytes of text from offset on (0 beyond its end) as one number in
// memory order, the ASCII letters lower-cased, all eight at once.
std::uint64_t FoldedWord(std::string_view text, std::size_t offset) {
    std::uint64_t word = 0;
    if (offset < text.size())
        std::memcpy(&word, text.data() + offset, std::min<std::size_t>(8, text.size() - offset));
    // A byte below 0x80 is an upper-case letter when 0x41 <= byte <= 0x5A;
    // the sums cannot carry into the next byte.
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    const std::uint64_t low = word & (0x7F * Ones);
    const std::uint64_t aboveZ = low + 0x25 * Ones; // top bit set above 0x5A
    const std::uint64_t fromA = low + 0x3F * Ones;  // top bit set from 0x41
    const std::uint64_t upper = fromA & ~aboveZ & ~word & (0x80 * Ones);
    return word | (upper >> 2); // 0x20 added to each
}

bool EqualWithoutCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); i += 8)
        if (FoldedWord(a, i) != FoldedWord(b, i))
            return false;
    return true;
}

std::uint64_t FoldHash(std::string_view name) {
    std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ name.size();
    for (std::size_t i = 0; i < name.size(); i += 8) {
        hash ^= FoldedWord(name, i);
        hash *= 0xFF51AFD7ED558CCDULL;
        hash ^= hash >> 32;
    }
    // Mixed down so that the low bits (the table's slot) depend on every byte.
    hash *= 0xC4CEB9FE1A85EC53ULL;
    return hash ^ (hash >> 29);
}

// The part of a generated name before its "~": as much of the stem's base as
// leaves room for a number of this many digits.
std::string ShownKey(std::string_view base, std::string_view extension, std::size_t digits) {
    const std::size_t room = digits < 7 ? 7 - digits : 0;
    std::string key(base.substr(0, std::min(room, base.size())));
    key += '.';
    key += extension;
    key += '#';
    key += std::to_string(digits);
    return key;
}

std::size_t DigitCount(std::size_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

// The eight bytes of text from offset on, lower-cased, as one number that
// orders as they do (missing bytes count as 0, below every byte of a name).
std::uint64_t FoldedHead(std::string_view text, std::size_t offset) {
    static_assert(std::endian::native == std::endian::little);
    return __builtin_bswap64(FoldedWord(text, offset));
}

std::uint32_t LowBit(std::uint32_t i) {
    return i & (~i + 1);
}

} // namespace

bool LessWithoutCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

std::uint32_t DirectoryListing::StemGroup::LiveBefore(std::size_t position) const {
    std::uint32_t count = 0;
    for (auto i = static_cast<std::uint32_t>(position); i > 0; i -= LowBit(i))
        count += tree[i];
    return count;
}

void DirectoryListing::StemGroup::Drop(std::size_t position) {
    for (auto i = static_cast<std::uint32_t>(position + 1); i < tree.size(); i += LowBit(i))
        --tree[i];
    --live;
}

std::size_t DirectoryListing::StemGroup::PositionOfLive(std::uint32_t number) const {
    const auto size = static_cast<std::uint32_t>(tree.size() - 1);
    std::uint32_t step = 1;
    while (step * 2 <= size)
        step *= 2;
    std::uint32_t at = 0;
    for (; step > 0; step /= 2) {
        const std::uint32_t next = at + step;
        if (next <= size && tree[next] < number) {
            at = next;
            number -= tree[next];
        }
    }
    return at; // the member at 1-based place at + 1
}

DirectoryListing::DirectoryListing(std::vector<DirectoryEntry> entries)
    : entries_(std::move(entries)) {
    // The array read from disk grew by doubling: it is brought down to its
    // size.
    entries_.shrink_to_fit();
    SortWithoutCase();
    const std::size_t n = entries_.size();
    live_ = n;
    nextSameFold_.assign(n, None);
    dosAttributes_.assign(n, -1);

    // At most four fifths full: lookups of names that are there (the usual
    // case) take two or three probes, and a large directory's table stays
    // small.
    std::size_t slots = 8;
    while (slots < n + n / 4)
        slots *= 2;
    foldTable_.assign(slots, None);
    foldTags_.assign(slots, 0);
    // Names equal without case follow each other in byte order: each goes
    // to the end of its chain.
    std::vector<std::uint32_t> chainEnd(n, None);
    for (std::size_t i = 0; i < n; ++i) {
        DirectoryEntry& entry = entries_[i];
        entry.removed = false;
        const auto index = static_cast<std::uint32_t>(i);
        const std::uint64_t hash = FoldHash(entry.name);
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t slot = hash & (slots - 1);; slot = (slot + 1) & (slots - 1)) {
            const std::uint32_t head = foldTable_[slot];
            if (head == None) {
                foldTable_[slot] = index;
                foldTags_[slot] = tag;
                chainEnd[i] = index;
                break;
            }
            if (foldTags_[slot] == tag && EqualWithoutCase(entries_[head].name, entry.name)) {
                nextSameFold_[chainEnd[head]] = index;
                chainEnd[head] = index;
                break;
            }
        }
    }
}

void DirectoryListing::SortWithoutCase() {
    // Sorted on the first sixteen lower-cased bytes of each name, read as
    // two numbers: they settle nearly every comparison without reading the
    // names again.
    struct Keyed {
        std::uint64_t head;
        std::uint64_t next;
        std::uint32_t index;
    };
    const std::size_t n = entries_.size();
    std::vector<Keyed> keyed(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view name = entries_[i].name;
        keyed[i] = {FoldedHead(name, 0), FoldedHead(name, 8), static_cast<std::uint32_t>(i)};
    }
    std::sort(keyed.begin(), keyed.end(), [this](const Keyed& a, const Keyed& b) {
        if (a.head != b.head)
            return a.head < b.head;
        if (a.next != b.next)
            return a.next < b.next;
        // Equal heads: names hold no NUL, so both have at least sixteen
        // bytes or are equal without regard to case.
        const std::string_view x = entries_[a.index].name;
        const std::string_view y = entries_[b.index].name;
        const std::size_t common = std::min(x.size(), y.size());
        for (std::size_t k = 16; k < common; ++k) {
            const auto cx = static_cast<unsigned char>(LowerAscii(x[k]));
            const auto cy = static_cast<unsigned char>(LowerAscii(y[k]));
            if (cx != cy)
                return cx < cy;
        }
        if (x.size() != y.size())
            return x.size() < y.size();
        return x < y; // the same but for case: byte order
    });
    // Each entry moved into its place along the permutation's cycles: no
    // second array of entries.
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = keyed[i].index;
    keyed = {};
    for (std::size_t start = 0; start < n; ++start) {
        if (order[start] == start)
            continue;
        DirectoryEntry held = std::move(entries_[start]);
        std::size_t at = start;
        while (order[at] != start) {
            const std::size_t from = order[at];
            entries_[at] = std::move(entries_[from]);
            order[at] = static_cast<std::uint32_t>(at);
            at = from;
        }
        entries_[at] = std::move(held);
        order[at] = static_cast<std::uint32_t>(at);
    }
}

const DirectoryListing::ShortNames& DirectoryListing::Stems() const {
    if (shortNames_)
        return *shortNames_;
    auto stems = std::make_unique<ShortNames>();
    stems->stemOf.assign(entries_.size(), None);
    std::unordered_map<std::string, std::uint32_t> stemIndex;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const DirectoryEntry& entry = entries_[i];
        if (entry.removed || IsValidShortName(entry.name))
            continue;
        ShortNameStem stem = MakeShortNameStem(entry.name);
        const auto [found, added] =
            stemIndex.try_emplace(stem.Key(), static_cast<std::uint32_t>(stems->groups.size()));
        if (added) {
            StemGroup group;
            group.base = std::move(stem.base);
            group.extension = std::move(stem.extension);
            stems->groups.push_back(std::move(group));
        }
        stems->stemOf[i] = found->second;
        stems->groups[found->second].members.push_back(static_cast<std::uint32_t>(i));
    }
    // Removed entries are left out: the members are the live ones, and a
    // number counts live members only either way.
    for (std::uint32_t g = 0; g < stems->groups.size(); ++g) {
        StemGroup& group = stems->groups[g];
        std::sort(group.members.begin(), group.members.end(),
                  [this](std::uint32_t a, std::uint32_t b) {
                      return entries_[a].name < entries_[b].name;
                  });
        const auto size = static_cast<std::uint32_t>(group.members.size());
        group.live = size;
        group.tree.assign(size + 1, 0);
        for (std::uint32_t i = 1; i <= size; ++i) {
            group.tree[i] += 1;
            if (const std::uint32_t up = i + LowBit(i); up <= size)
                group.tree[up] += group.tree[i];
        }
        for (std::size_t digits = 1; digits <= DigitCount(size); ++digits)
            stems->shown[ShownKey(group.base, group.extension, digits)].push_back(g);
    }
    shortNames_ = std::move(stems);
    return *shortNames_;
}

std::size_t DirectoryListing::PositionInGroup(const StemGroup& group, std::size_t index) const {
    const auto position =
        std::lower_bound(group.members.begin(), group.members.end(), entries_[index].name,
                         [this](std::uint32_t member, const std::string& name) {
                             return entries_[member].name < name;
                         });
    return static_cast<std::size_t>(position - group.members.begin());
}

std::uint32_t DirectoryListing::FoldHead(std::string_view name) const {
    const std::size_t mask = foldTable_.size() - 1;
    const std::uint64_t hash = FoldHash(name);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t head = foldTable_[slot];
        // The same bytes are the same name in any case: checked first.
        if (head == None ||
            (foldTags_[slot] == tag &&
             (entries_[head].name == name || EqualWithoutCase(entries_[head].name, name))))
            return head;
    }
}

const DirectoryEntry* DirectoryListing::Find(std::string_view name) const {
    const std::uint32_t head = FoldHead(name);
    for (std::uint32_t i = head; i != None; i = nextSameFold_[i])
        if (!entries_[i].removed && entries_[i].name == name)
            return &entries_[i];
    for (std::uint32_t i = head; i != None; i = nextSameFold_[i])
        if (!entries_[i].removed)
            return &entries_[i];
    return FindShortName(name);
}

const DirectoryEntry* DirectoryListing::FindShortName(std::string_view name) const {
    // A generated name: up to six characters, "~", a number, then
    // optionally "." and up to three characters.
    const std::string upper = UpperAscii(std::string(name));
    const auto dot = upper.find('.');
    const std::string_view front = std::string_view(upper).substr(0, dot);
    const std::string_view extension =
        dot == std::string::npos ? std::string_view{} : std::string_view(upper).substr(dot + 1);
    const auto tilde = front.rfind('~');
    if (tilde == std::string_view::npos)
        return nullptr;
    const std::string_view digits = front.substr(tilde + 1);
    if (digits.empty() || digits.size() > 7 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return nullptr;
    const auto number = static_cast<std::uint32_t>(std::stoul(std::string(digits)));
    const ShortNames& stems = Stems();
    const auto shown = stems.shown.find(ShownKey(front.substr(0, tilde), extension, digits.size()));
    if (shown == stems.shown.end())
        return nullptr;
    const DirectoryEntry* best = nullptr;
    for (const std::uint32_t g : shown->second) {
        const StemGroup& group = stems.groups[g];
        if (group.live < number)
            continue;
        const DirectoryEntry* candidate = &entries_[group.members[group.PositionOfLive(number)]];
        if (!best || candidate->name < best->name)
            best = candidate;
    }
    return best;
}

std::string DirectoryListing::ShortNameOf(const DirectoryEntry& entry) const {
    const std::size_t index = IndexOf(entry);
    const ShortNames& stems = Stems();
    if (stems.stemOf[index] == None)
        return entry.name;
    const StemGroup& group = stems.groups[stems.stemOf[index]];
    return FormatShortName(ShortNameStem{group.base, group.extension},
                           group.LiveBefore(PositionInGroup(group, index)) + 1);
}

const DirectoryEntry* DirectoryListing::Remove(std::string_view name) {
    std::uint32_t index = None;
    for (std::uint32_t i = FoldHead(name); i != None; i = nextSameFold_[i])
        if (!entries_[i].removed && entries_[i].name == name) {
            index = i;
            break;
        }
    if (index == None)
        return nullptr;
    RemoveAt(index);
    return &entries_[index];
}

void DirectoryListing::RemoveOwn(const DirectoryEntry& entry) {
    if (entry.removed)
        return;
    const std::size_t index = IndexOf(entry);
    RemoveAt(index);
    if (watched_)
        unreportedOwnRemovals_.push_back(static_cast<std::uint32_t>(index));
}

bool DirectoryListing::TakeOwnRemovalReport(std::string_view name) {
    if (unreportedOwnRemovals_.empty() || entries_[unreportedOwnRemovals_.front()].name != name)
        return false;
    unreportedOwnRemovals_.pop_front();
    return true;
}

void DirectoryListing::RemoveAt(std::size_t index) {
    DirectoryEntry& entry = entries_[index];
    if (shortNames_ && shortNames_->stemOf[index] != None) {
        StemGroup& group = shortNames_->groups[shortNames_->stemOf[index]];
        group.Drop(PositionInGroup(group, index));
    }
    entry.removed = true;
    dosAttributes_[index] = -1;
    --live_;
    ++changes_;
}

std::optional<unsigned> DirectoryListing::KnownDosAttributes(const DirectoryEntry& entry) const {
    const std::int16_t value = dosAttributes_[IndexOf(entry)];
    if (!watched_ || value < 0)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

void DirectoryListing::RememberDosAttributes(const DirectoryEntry& entry, unsigned value) {
    if (watched_ && entry.kind == EntryKind::File && value <= 0x7FFF)
        dosAttributes_[IndexOf(entry)] = static_cast<std::int16_t>(value);
}

void DirectoryListing::ForgetDosAttributes(std::string_view name) {
    for (std::uint32_t i = FoldHead(name); i != None; i = nextSameFold_[i])
        if (entries_[i].name == name)
            dosAttributes_[i] = -1;
}

bool DirectoryStamp::operator==(const DirectoryStamp& other) const {
    return device == other.device && inode == other.inode &&
           Nanoseconds(modified) == Nanoseconds(other.modified) &&
           Nanoseconds(changed) == Nanoseconds(other.changed);
}

std::optional<DirectoryStamp> StampOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return DirectoryStamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

bool IsRecent(const DirectoryStamp& stamp) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // A time far in the future (a directory unpacked from an archive made on
    // a clock running ahead) is no sign of a recent change: any change now
    // gives a different time.
    const auto near = [&](const timespec& t) {
        const long long age = Nanoseconds(now) - Nanoseconds(t);
        return age < RacyWindowNs && age > -RacyWindowNs;
    };
    return near(stamp.modified) || near(stamp.changed);
}

ListingCache::ListingCache(ChangeTracking tracking)
    : watch_(tracking == ChangeTracking::Notifications) {}

void ListingCache::CatchUp() {
    if (watch_.Active() && !watchedKeys_.empty())
        watch_.Drain([this](const DirectoryWatch::Event& event) { Apply(event); });
}

void ListingCache::Apply(const DirectoryWatch::Event& event) {
    using Change = DirectoryWatch::Change;
    if (event.change == Change::Overflow) {
        DropAll();
        return;
    }
    const auto watched = watchedKeys_.find(event.watch);
    if (watched == watchedKeys_.end())
        return; // a watch already given up
    const auto pathOfName = [&](const KeptMap::pointer kept) {
        const std::string& key = kept->first;
        return (key == "/" ? key : key + "/") + std::string(event.name);
    };
    // Listings to read again, and directories to forget with all below them
    // (a name that went or came may have been, or be, a directory).
    std::vector<std::string> reread;
    std::vector<std::string> forget;
    switch (event.change) {
    case Change::Attributes:
        for (const KeptMap::pointer kept : watched->second)
            kept->second.listing->ForgetDosAttributes(event.name);
        return;
    case Change::Removed:
        for (const KeptMap::pointer kept : watched->second) {
            DirectoryListing& listing = *kept->second.listing;
            // This program's own removals were applied already: the name
            // is no longer there to remove.
            const DirectoryEntry* removed =
                listing.TakeOwnRemovalReport(event.name) ? nullptr : listing.Remove(event.name);
            const bool notAFile = removed && removed->kind != EntryKind::File;
            if (notAFile)
                ++generation_;
            if (event.isDirectory || notAFile)
                forget.push_back(pathOfName(kept));
        }
        break;
    case Change::Added:
        for (const KeptMap::pointer kept : watched->second) {
            reread.push_back(kept->first);
            forget.push_back(pathOfName(kept));
        }
        break;
    case Change::Self:
        for (const KeptMap::pointer kept : watched->second)
            reread.push_back(kept->first);
        break;
    case Change::Gone:
        for (const KeptMap::pointer kept : watched->second)
            forget.push_back(kept->first);
        break;
    case Change::Overflow: break;
    }
    for (const std::string& key : reread)
        if (const auto it = kept_.find(key); it != kept_.end())
            Drop(it);
    for (const std::string& key : forget)
        ForgetBelow(key);
}

void ListingCache::Drop(KeptMap::iterator it) {
    ++generation_;
    keptEntries_ -= it->second.listing->Entries().size();
    if (const int watch = it->second.watch; watch >= 0) {
        const auto watched = watchedKeys_.find(watch);
        if (watched != watchedKeys_.end()) {
            std::erase(watched->second, &*it);
            if (watched->second.empty()) {
                watchedKeys_.erase(watched);
                watch_.Remove(watch);
            }
        }
    }
    kept_.erase(it);
}

void ListingCache::DropAll() {
    ++generation_;
    for (const auto& [watch, keys] : watchedKeys_)
        watch_.Remove(watch);
    watchedKeys_.clear();
    kept_.clear();
    keptEntries_ = 0;
}

void ListingCache::ForgetBelow(const std::string& key) {
    const std::string prefix = key == "/" ? key : key + "/";
    for (auto it = kept_.begin(); it != kept_.end();) {
        const auto next = std::next(it);
        if (it->first == key || it->first.starts_with(prefix))
            Drop(it);
        it = next;
    }
}

std::shared_ptr<DirectoryListing> ListingCache::Get(const std::string& hostDir) {
    std::string storage;
    const std::string_view key = KeyOf(hostDir, storage);
    auto it = kept_.find(key);
    // Watched: as current as the last CatchUp.
    if (it != kept_.end() && it->second.watch >= 0)
        return it->second.listing;

    const auto stamp = StampOf(std::string(key));
    if (!stamp) {
        if (it != kept_.end())
            Drop(it);
        return nullptr;
    }
    if (it != kept_.end() && it->second.stamp == *stamp && !it->second.racy)
        return it->second.listing;

    // What the kept listing tells of this program's own last removal, taken
    // before it goes.
    std::optional<std::size_t> ownLiveCount;
    if (it != kept_.end()) {
        if (it->second.ownStamp && *it->second.ownStamp == *stamp)
            ownLiveCount = it->second.listing->LiveCount();
        Drop(it);
    }
    if (kept_.size() >= MaxKeptDirectories || keptEntries_ >= MaxKeptEntries)
        DropAll();

    // Watched before reading, so that a change while reading is reported;
    // judged recent before reading, so that such a change counts too.
    const int watch = watch_.Add(std::string(key));
    bool racy = watch < 0 && IsRecent(*stamp);
    std::optional<std::vector<DirectoryEntry>> entries;
    try {
        entries = ReadDirectory(std::string(key));
    } catch (...) {
        if (watch >= 0 && !watchedKeys_.contains(watch))
            watch_.Remove(watch);
        throw;
    }
    if (!entries) {
        if (watch >= 0 && !watchedKeys_.contains(watch))
            watch_.Remove(watch);
        return nullptr;
    }
    ++reads_;
    auto listing = std::make_shared<DirectoryListing>(std::move(*entries));
    listing->SetWatched(watch >= 0);
    ++generation_;
    // A recent stamp that is the one this program's own removal left, on a
    // directory that still holds what that removal left, is no reason to
    // distrust the new listing.
    if (racy && ownLiveCount && *ownLiveCount == listing->LiveCount())
        racy = false;

    keptEntries_ += listing->Entries().size();
    const auto kept =
        kept_.emplace(std::string(key), Kept{listing, *stamp, racy, std::nullopt, watch}).first;
    if (watch >= 0)
        watchedKeys_[watch].push_back(&*kept);
    return listing;
}

void ListingCache::NoteRemoval(const std::string& hostDir, DirectoryListing& listing,
                               const DirectoryEntry& entry) {
    if (listing.Watched()) {
        // Kept current by notifications: no need to look it up, and the
        // report of this removal will be passed over.
        listing.RemoveOwn(entry);
        if (entry.kind != EntryKind::File)
            ++generation_;
        return;
    }
    const std::string_view name = entry.name;
    std::string storage;
    const auto it = kept_.find(KeyOf(hostDir, storage));
    if (it == kept_.end())
        return;
    const auto stamp = StampOf(it->first);
    if (!stamp) {
        Drop(it);
        return;
    }
    it->second.listing->Remove(name);
    it->second.stamp = *stamp;
    it->second.ownStamp = *stamp;
}

void ListingCache::Forget(const std::string& hostDir) {
    std::string storage;
    const std::string key(KeyOf(hostDir, storage));
    const std::string below = key == "/" ? key : key + "/";
    const auto stamp = StampOf(key);
    for (auto it = kept_.begin(); it != kept_.end();) {
        const auto next = std::next(it);
        const auto& [path, kept] = *it;
        if (path == key || path.starts_with(below) ||
            (stamp && kept.stamp.device == stamp->device && kept.stamp.inode == stamp->inode))
            Drop(it);
        it = next;
    }
}

} // namespace kestovan::posix
