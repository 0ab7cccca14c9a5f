#include "platform/posix/MachineListing.h"

#include "platform/RuntimeError.h"
#include "platform/posix/MachinePattern.h"
#include "platform/posix/ShortName.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Directory;
    case DT_LNK:
        return EntryKind::Link;
    case DT_UNKNOWN:
        break;
    default:
        return EntryKind::Other;
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

std::string KeyOf(const std::filesystem::path& hostDir) {
    std::string key = hostDir.lexically_normal().string();
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

} // namespace

namespace {

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

} // namespace

DirectoryListing::DirectoryListing(std::vector<DirectoryEntry> entries)
    : entries_(std::move(entries)) {
    std::sort(entries_.begin(), entries_.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    live_ = entries_.size();
    byName_.reserve(entries_.size());
    byFolded_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        DirectoryEntry& entry = entries_[i];
        entry.removed = false;
        entry.folded = FoldCase(entry.name);
        entry.stemKey.clear();
        byName_.emplace(entry.name, i);
        byFolded_[entry.folded].push_back(i);
        if (IsValidShortName(entry.name))
            continue;
        ShortNameStem stem = MakeShortNameStem(entry.name);
        entry.stemKey = stem.Key();
        auto [group, added] = stemGroups_.try_emplace(entry.stemKey);
        if (added) {
            group->second.base = std::move(stem.base);
            group->second.extension = std::move(stem.extension);
        }
        group->second.members.push_back(i);
    }
    for (const auto& [key, group] : stemGroups_)
        for (std::size_t digits = 1; digits <= DigitCount(group.members.size()); ++digits)
            shownStems_[ShownKey(group.base, group.extension, digits)].push_back(key);
}

const DirectoryEntry* DirectoryListing::Find(std::string_view name) const {
    if (const auto it = byName_.find(name); it != byName_.end())
        return &entries_[it->second];
    const std::string folded = FoldCase(name);
    if (const auto it = byFolded_.find(folded); it != byFolded_.end() && !it->second.empty())
        return &entries_[it->second.front()];
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
    const std::size_t number = std::stoul(std::string(digits));
    const auto shown = shownStems_.find(ShownKey(front.substr(0, tilde), extension, digits.size()));
    if (shown == shownStems_.end())
        return nullptr;
    const DirectoryEntry* best = nullptr;
    for (const std::string& key : shown->second) {
        const StemGroup& group = stemGroups_.at(key);
        if (group.members.size() < number)
            continue;
        const DirectoryEntry* candidate = &entries_[group.members[number - 1]];
        if (!best || candidate < best)
            best = candidate;
    }
    return best;
}

std::string DirectoryListing::ShortNameOf(const DirectoryEntry& entry) const {
    if (entry.stemKey.empty())
        return entry.name;
    const StemGroup& group = stemGroups_.at(entry.stemKey);
    const auto index = static_cast<std::size_t>(&entry - entries_.data());
    const auto position = std::lower_bound(group.members.begin(), group.members.end(), index);
    return FormatShortName(ShortNameStem{group.base, group.extension},
                           static_cast<unsigned>(position - group.members.begin() + 1));
}

void DirectoryListing::Remove(std::string_view name) {
    const auto it = byName_.find(name);
    if (it == byName_.end())
        return;
    const std::size_t index = it->second;
    DirectoryEntry& entry = entries_[index];
    byName_.erase(it);
    if (auto folded = byFolded_.find(entry.folded); folded != byFolded_.end()) {
        std::erase(folded->second, index);
        if (folded->second.empty())
            byFolded_.erase(folded);
    }
    if (!entry.stemKey.empty()) {
        auto& members = stemGroups_.at(entry.stemKey).members;
        const auto position = std::lower_bound(members.begin(), members.end(), index);
        if (position != members.end() && *position == index)
            members.erase(position);
    }
    entry.removed = true;
    --live_;
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

std::shared_ptr<DirectoryListing> ListingCache::Get(const std::filesystem::path& hostDir) {
    const std::string key = KeyOf(hostDir);
    const auto stamp = StampOf(hostDir);
    if (!stamp) {
        if (const auto it = kept_.find(key); it != kept_.end()) {
            keptEntries_ -= it->second.listing->Entries().size();
            kept_.erase(it);
        }
        return nullptr;
    }
    auto it = kept_.find(key);
    if (it != kept_.end() && it->second.stamp == *stamp && !it->second.racy)
        return it->second.listing;

    // Judged before reading, so that a change while reading counts too.
    bool racy = IsRecent(*stamp);
    auto entries = ReadDirectory(hostDir);
    if (!entries)
        return nullptr;
    ++reads_;
    auto listing = std::make_shared<DirectoryListing>(std::move(*entries));
    // A recent stamp that is the one this program's own removal left, on a
    // directory that still holds what that removal left, is no reason to
    // distrust the new listing.
    if (racy && it != kept_.end() && it->second.ownStamp && *it->second.ownStamp == *stamp &&
        it->second.listing->LiveCount() == listing->LiveCount())
        racy = false;

    if (it != kept_.end()) {
        keptEntries_ -= it->second.listing->Entries().size();
        kept_.erase(it);
    }
    if (kept_.size() >= MaxKeptDirectories ||
        keptEntries_ + listing->Entries().size() > MaxKeptEntries) {
        kept_.clear();
        keptEntries_ = 0;
    }
    keptEntries_ += listing->Entries().size();
    kept_.emplace(key, Kept{listing, *stamp, racy, std::nullopt});
    return listing;
}

void ListingCache::NoteRemoval(const std::filesystem::path& hostDir, std::string_view name) {
    const auto it = kept_.find(KeyOf(hostDir));
    if (it == kept_.end())
        return;
    const auto stamp = StampOf(hostDir);
    if (!stamp) {
        keptEntries_ -= it->second.listing->Entries().size();
        kept_.erase(it);
        return;
    }
    it->second.listing->Remove(name);
    it->second.stamp = *stamp;
    it->second.ownStamp = *stamp;
}

void ListingCache::Forget(const std::filesystem::path& hostDir) {
    const std::string key = KeyOf(hostDir);
    const std::string below = key == "/" ? key : key + "/";
    const auto stamp = StampOf(hostDir);
    std::erase_if(kept_, [&](const auto& item) {
        const auto& [path, kept] = item;
        const bool gone =
            path == key || path.starts_with(below) ||
            (stamp && kept.stamp.device == stamp->device && kept.stamp.inode == stamp->inode);
        if (gone)
            keptEntries_ -= kept.listing->Entries().size();
        return gone;
    });
}

} // namespace kestovan::posix
