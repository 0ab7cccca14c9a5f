#include "platform/posix/MachineFileSystem.h"

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "platform/posix/DosAttributes.h"
#include "platform/posix/MachinePattern.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <unistd.h>

namespace kestovan::posix {

namespace fs = std::filesystem;

namespace {

constexpr int VisibilityBits = attr::Hidden | attr::System | attr::Directory;

// True when an entry with these attributes is seen through the mask.
bool Visible(int attributes, int mask) {
    return (attributes & VisibilityBits & ~mask) == 0;
}

bool Inside(const std::string& r, const fs::path& path) {
    const std::string& p = path.native();
    if (r == "/")
        return true;
    return p == r || (p.size() > r.size() && p.starts_with(r) && p[r.size()] == '/');
}

// Where a link finally leads, in canonical form; nullopt when that cannot
// be told (a loop, an unreadable link).
std::optional<fs::path> LinkDestination(const fs::path& link) {
    std::error_code ec;
    auto canonical = fs::canonical(link, ec);
    if (!ec)
        return canonical;
    // A dangling link: follow the chain by hand, then settle what exists.
    fs::path current = link;
    for (int depth = 0; depth < 40; ++depth) {
        if (!fs::is_symlink(fs::symlink_status(current, ec)) || ec)
            break;
        const fs::path target = fs::read_symlink(current, ec);
        if (ec)
            return std::nullopt;
        current = target.is_absolute() ? target : current.parent_path() / target;
        if (depth == 39)
            return std::nullopt;
    }
    auto settled = fs::weakly_canonical(current, ec);
    if (ec)
        return std::nullopt;
    return settled;
}

// Raises 76 unless the link at linkPath leads to a place inside root.
void CheckInsideDrive(const std::string& root, const fs::path& linkPath) {
    const auto destination = LinkDestination(linkPath);
    if (!destination || !Inside(root, *destination))
        throw RuntimeError(err::PathNotFound);
}

// The host path of name inside the host directory dir.
std::string Join(const std::string& dir, std::string_view name) {
    std::string path;
    path.reserve(dir.size() + 1 + name.size());
    path += dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// The arguments of a call on the entry name of the directory dir: relative
// to the directory's descriptor dirFd when one is open, so that the system
// does not walk the directory's path again, else the full path.
class EntryAt {
public:
    EntryAt(int dirFd, const std::string& dir, const std::string& name)
        : fd_(dirFd), dir_(dir), name_(name) {}
    EntryAt(const EntryAt&) = delete;
    EntryAt& operator=(const EntryAt&) = delete;

    int Fd() const { return fd_; }
    // The path relative to Fd() (the full path made at the first call).
    const char* Name() const {
        if (fd_ != AT_FDCWD)
            return name_.c_str();
        if (path_.empty())
            path_ = Join(dir_, name_);
        return path_.c_str();
    }
    // The full path, made in buffer.
    const char* FullPath(std::string& buffer) const {
        buffer.assign(dir_);
        if (buffer.empty() || buffer.back() != '/')
            buffer += '/';
        buffer += name_;
        return buffer.c_str();
    }

private:
    int fd_;
    const std::string& dir_;
    const std::string& name_;
    mutable std::string path_;
};

// user.DOSATTRIB of an entry (links followed); 0 when there is none.
unsigned ReadDosAttribAt(const EntryAt& at, ByPathReads& byPath) {
    char buffer[64];
    ssize_t n = -1;
    if (at.Fd() == AT_FDCWD) {
        n = ::getxattr(at.Name(), DosAttribName, buffer, sizeof buffer);
    } else {
        if (!byPath.always) {
            n = GetXattrAt(at.Fd(), at.Name(), DosAttribName, buffer, sizeof buffer);
            byPath.always = n < 0 && errno == ENOSYS; // a kernel without getxattrat
        }
        if (byPath.always)
            n = ::getxattr(at.FullPath(byPath.path), DosAttribName, buffer, sizeof buffer);
    }
    if (n >= 0)
        return ParseDosAttrib(std::string_view(buffer, static_cast<std::size_t>(n))).value_or(0);
    if (errno == ERANGE)
        return ReadDosAttrib(at.FullPath(byPath.path)); // a long value: the general reader
    return 0;
}

// user.DOSATTRIB of an entry of listing, from what the listing keeps when it
// can be trusted (an ordinary file with no other name elsewhere, whose
// changes its directory's watch reports), else read and kept.
unsigned DosAttribOf(const EntryAt& at, DirectoryListing& listing, const DirectoryEntry& entry,
                     bool singleName, ByPathReads& byPath) {
    if (entry.kind != EntryKind::File || !singleName)
        return ReadDosAttribAt(at, byPath);
    if (const auto known = listing.KnownDosAttributes(entry))
        return *known;
    const unsigned value = ReadDosAttribAt(at, byPath);
    listing.RememberDosAttributes(entry, value);
    return value;
}

// The live entries of listing that pass test, in byte order of their names.
template <typename Test>
std::vector<const DirectoryEntry*> MatchesInByteOrder(const DirectoryListing& listing, Test test) {
    std::vector<const DirectoryEntry*> matches;
    for (const DirectoryEntry& entry : listing.Entries())
        if (!entry.removed && test(entry))
            matches.push_back(&entry);
    std::sort(matches.begin(), matches.end(),
              [](const DirectoryEntry* a, const DirectoryEntry* b) { return a->name < b->name; });
    return matches;
}

std::vector<std::string> NamesOf(const std::vector<const DirectoryEntry*>& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const DirectoryEntry* entry : entries)
        names.push_back(entry->name);
    return names;
}

} // namespace

MachineFileSystem::Descriptor&
MachineFileSystem::Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

MachineFileSystem::Descriptor::~Descriptor() {
    if (fd_ >= 0)
        ::close(fd_);
}

MachineFileSystem::MachineFileSystem(fs::path machineDir, ChangeTracking tracking)
    : machineDir_(std::move(machineDir)), listings_(tracking), drives_(machineDir_, listings_) {}

const DrivePath& MachineFileSystem::Parse(const std::string& windowsPath,
                                          bool allowLastWildcards) const {
    // A path from a drive's root ("C:\dir\name") ending in a plain name:
    // its directory part is split once for a run of calls on the files of
    // one directory, and while the path before is that directory's with
    // another name, only the name is replaced.
    if (lastDirectory_ && windowsPath.starts_with(lastDirectory_->text)) {
        const std::string_view lastPart =
            std::string_view(windowsPath).substr(lastDirectory_->text.size());
        const LastComponentKind kind = KindOfLastComponent(lastPart, allowLastWildcards);
        if (kind != LastComponentKind::NotPlain) {
            if (!parsedInLastDirectory_) {
                parsed_.drive = lastDirectory_->drive;
                parsed_.namesDirectory = false;
                parsed_.components = lastDirectory_->components;
                parsed_.components.emplace_back();
            }
            parsed_.components.back().assign(TrimmedLastComponent(lastPart));
            parsed_.lastHasWildcards = kind == LastComponentKind::PlainWithWildcards;
            parsedInLastDirectory_ = !systemView_.Apply(parsed_.drive, parsed_.components);
            return parsed_;
        }
    }
    parsedInLastDirectory_ = false;
    WrittenPath written = SplitWindowsPath(windowsPath, allowLastWildcards);
    const char drive = written.drive != 0 ? written.drive : currentDrive_;
    parsed_ = MakeDrivePath(std::move(written), currentDrive_,
                            currentDirs_[static_cast<std::size_t>(drive - 'a')]);
    const bool fromDriveRoot = windowsPath.size() >= 3 && windowsPath[1] == ':' &&
                               (windowsPath[2] == '\\' || windowsPath[2] == '/');
    std::size_t cut = windowsPath.size();
    while (cut > 0 && windowsPath[cut - 1] != '\\' && windowsPath[cut - 1] != '/')
        --cut;
    if (fromDriveRoot && !parsed_.components.empty() &&
        KindOfLastComponent(std::string_view(windowsPath).substr(cut), allowLastWildcards) !=
            LastComponentKind::NotPlain) {
        lastDirectory_ = ParsedDirectory{
            windowsPath.substr(0, cut), parsed_.drive,
            std::vector<std::string>(parsed_.components.begin(), parsed_.components.end() - 1)};
        parsedInLastDirectory_ = true;
    }
    if (systemView_.Apply(parsed_.drive, parsed_.components))
        parsedInLastDirectory_ = false;
    return parsed_;
}

const std::string& MachineFileSystem::DriveRoot(char letter) {
    // Every operation starts here: what changed since the last one is
    // applied to the kept listings first.
    listings_.CatchUp();
    const std::string* root = drives_.Root(letter);
    if (!root)
        throw RuntimeError(err::BadFileNameOrNumber);
    return *root;
}

const MachineFileSystem::FoundDirectory*
MachineFileSystem::FindDirectory(const std::string& root, std::span<const std::string> components,
                                 std::vector<std::string>* storedNames) {
    // The same directory as last time, with nothing read, dropped or taken
    // out of the kept listings since (files removed change no directory's
    // name): the same answer.
    if (lastFound_ && lastFound_->generation == listings_.Generation() &&
        lastFound_->root == root &&
        std::equal(components.begin(), components.end(), lastFound_->components.begin(),
                   lastFound_->components.end())) {
        if (storedNames)
            storedNames->insert(storedNames->end(), lastFound_->storedNames.begin(),
                                lastFound_->storedNames.end());
        // Found again: worth a descriptor (a failure leaves full paths).
        if (lastFound_->fd.Get() < 0) {
            lastFound_->fd = Descriptor(
                ::open(lastFound_->found.host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (lastFound_->fd.Get() >= 0)
                lastFound_->found.fd = lastFound_->fd.Get();
        }
        return &lastFound_->found;
    }

    std::string host = root;
    std::vector<std::string> stored;
    // Only a path of watched directories, without links, is kept for next
    // time: a link's destination is checked at every use.
    bool keep = true;
    for (const std::string& component : components) {
        const auto listing = listings_.Get(host);
        const DirectoryEntry* entry = listing ? listing->Find(component) : nullptr;
        if (!entry)
            return nullptr;
        if (entry->kind == EntryKind::Link) {
            CheckInsideDrive(root, Join(host, entry->name));
            keep = false;
        } else if (entry->kind != EntryKind::Directory) {
            return nullptr;
        }
        keep = keep && listing->Watched();
        host = Join(host, entry->name);
        stored.push_back(entry->name);
    }
    auto listing = listings_.Get(host);
    if (!listing)
        return nullptr;
    if (storedNames)
        storedNames->insert(storedNames->end(), stored.begin(), stored.end());
    FoundDirectory found{std::move(host), std::move(listing)};
    if (keep && found.listing->Watched()) {
        lastFound_ = LastFound{listings_.Generation(),
                               root,
                               std::vector<std::string>(components.begin(), components.end()),
                               std::move(stored),
                               std::move(found),
                               Descriptor()};
        return &lastFound_->found;
    }
    lastFound_.reset();
    found_ = std::move(found);
    return &found_;
}

const MachineFileSystem::FoundDirectory&
MachineFileSystem::ExistingDirectory(const std::string& root,
                                     std::span<const std::string> components) {
    const FoundDirectory* found = FindDirectory(root, components);
    if (!found)
        throw RuntimeError(err::PathNotFound);
    return *found;
}

const MachineFileSystem::FoundDirectory& MachineFileSystem::ExistingParent(const std::string& root,
                                                                           const DrivePath& path) {
    const std::span<const std::string> components(path.components);
    return ExistingDirectory(root, components.first(components.size() - 1));
}

MachineFileSystem::LastComponent MachineFileSystem::LookUpLast(const std::string& pathText) {
    const DrivePath& path = Parse(pathText, false);
    std::string root = DriveRoot(path.drive);
    if (path.components.empty())
        throw RuntimeError(err::PathFileAccessError);
    FoundDirectory dir = ExistingParent(root, path);
    const DirectoryEntry* entry = dir.listing->Find(path.components.back());
    return {std::move(root), std::move(dir.host), std::move(dir.listing), entry};
}

MachineFileSystem::EntryState MachineFileSystem::Inspect(const FoundDirectory& dir,
                                                         const DirectoryEntry& entry) const {
    const EntryAt at(dir.fd, dir.host, entry.name);
    struct stat st {};
    if (::fstatat(at.Fd(), at.Name(), &st, 0) != 0) {
        // A link leading nowhere is seen as an ordinary file.
        if (entry.kind != EntryKind::Link ||
            ::fstatat(at.Fd(), at.Name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return {};
    }
    EntryState state;
    state.exists = true;
    state.directory = S_ISDIR(st.st_mode);
    if (state.directory)
        state.attributes |= attr::Directory;
    if ((st.st_mode & S_IWUSR) == 0)
        state.attributes |= attr::ReadOnly;
    if (entry.name.starts_with('.'))
        state.attributes |= attr::Hidden;
    const bool singleName = S_ISREG(st.st_mode) && st.st_nlink == 1;
    state.attributes |=
        static_cast<int>(DosAttribOf(at, *dir.listing, entry, singleName, byPathReads_)) &
        (attr::Hidden | attr::System);
    return state;
}

void MachineFileSystem::Unlink(const FoundDirectory& dir, const DirectoryEntry& entry) {
    const EntryAt at(dir.fd, dir.host, entry.name);
    if (::unlinkat(at.Fd(), at.Name(), 0) != 0) {
        switch (errno) {
        case ENOENT: throw RuntimeError(err::FileNotFound);
        case EISDIR: throw RuntimeError(err::FileNotFound);
        case EACCES:
        case EPERM:
        case EBUSY:
        case ETXTBSY: throw RuntimeError(err::PermissionDenied);
        default: throw RuntimeError(err::PathFileAccessError);
        }
    }
    listings_.NoteRemoval(dir.host, *dir.listing, entry);
}

bool MachineFileSystem::IsCurrentDirectory(const fs::path& hostDir) {
    const auto target = StampOf(hostDir);
    if (!target)
        return false;
    for (const auto& [letter, root] : drives_.All()) {
        fs::path current = root;
        for (const std::string& name : currentDirs_[static_cast<std::size_t>(letter - 'a')])
            current /= name;
        const auto stamp = StampOf(current);
        if (stamp && stamp->device == target->device && stamp->inode == target->inode)
            return true;
    }
    return false;
}

fs::path MachineFileSystem::Resolve(const std::string& windowsPath) {
    const DrivePath& path = Parse(windowsPath, false);
    const std::string root = DriveRoot(path.drive);
    std::string host = root;
    bool existing = true;
    for (const std::string& component : path.components) {
        if (existing) {
            const auto listing = listings_.Get(host);
            if (const DirectoryEntry* entry = listing ? listing->Find(component) : nullptr) {
                if (entry->kind == EntryKind::Link)
                    CheckInsideDrive(root, Join(host, entry->name));
                host = Join(host, entry->name);
                continue;
            }
            existing = false;
        }
        host = Join(host, component);
    }
    return host;
}

std::optional<std::string> MachineFileSystem::FinalDirectoryPath(const std::string& windowsPath) {
    fs::path host;
    try {
        host = Resolve(windowsPath);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path final = fs::canonical(host, ec);
    if (ec || !fs::is_directory(final, ec) || ec)
        return std::nullopt;
    auto windows = ToWindowsPath(final);
    if (!windows)
        return std::nullopt;
    if (windows->back() != '\\')
        *windows += '\\';
    return windows;
}

bool MachineFileSystem::IsLink(const std::string& windowsPath) {
    try {
        const DrivePath& path = Parse(windowsPath, false);
        if (path.components.empty())
            return false;
        const auto found = FindDirectory(
            DriveRoot(path.drive), std::span(path.components).first(path.components.size() - 1));
        if (!found)
            return false;
        const DirectoryEntry* entry = found->listing->Find(path.components.back());
        return entry != nullptr && entry->kind == EntryKind::Link;
    } catch (const RuntimeError&) {
        return false;
    }
}

std::optional<std::string> MachineFileSystem::ToWindowsPath(const fs::path& hostPath) {
    std::error_code ec;
    fs::path absolute = fs::absolute(hostPath, ec);
    if (ec)
        return std::nullopt;
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    if (ec)
        canonical = absolute.lexically_normal();
    listings_.CatchUp();
    std::optional<std::pair<char, fs::path>> best;
    for (auto& [letter, root] : drives_.All())
        if (Inside(root.native(), canonical) &&
            (!best || root.native().size() > best->second.native().size()))
            best.emplace(letter, root);
    if (!best)
        return std::nullopt;
    std::string result(1, static_cast<char>(best->first - 'a' + 'A'));
    result += ":\\";
    bool first = true;
    for (const fs::path& part : canonical.lexically_relative(best->second)) {
        const std::string name = part.string();
        if (name.empty() || name == ".")
            continue;
        if (!first)
            result += '\\';
        result += name;
        first = false;
    }
    return result;
}

template <typename Found>
void MachineFileSystem::Search(const std::string& pathSpec, int attributes, Found found) {
    if (pathSpec.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const DrivePath& path = Parse(pathSpec, true);
    const std::string& root = DriveRoot(path.drive);
    std::span<const std::string> components(path.components);
    if (!path.namesDirectory)
        components = components.first(components.size() - 1);
    const auto directory = FindDirectory(root, components);
    if (!directory)
        return;
    if (path.namesDirectory && (attributes & attr::Directory)) {
        found(std::string("."));
        return;
    }
    const auto& listing = directory->listing;
    const std::string last = path.namesDirectory ? "*" : path.components.back();

    if (!HasWildcard(last)) {
        const DirectoryEntry* entry = listing->Find(last);
        if (!entry)
            return;
        const EntryState state = Inspect(*directory, *entry);
        if (state.exists && Visible(state.attributes, attributes))
            found(entry->name);
        return;
    }

    const MachinePattern pattern(last);
    if ((attributes & attr::Directory) && !components.empty())
        for (const char* dots : {".", ".."})
            if (pattern.Matches(dots) && !found(std::string(dots)))
                return;
    const auto matches = MatchesInByteOrder(*listing, [&](const DirectoryEntry& entry) {
        return pattern.Matches(entry.name) &&
               (entry.kind != EntryKind::Directory || (attributes & attr::Directory));
    });
    for (const DirectoryEntry* entry : matches) {
        const EntryState state = Inspect(*directory, *entry);
        if (state.exists && Visible(state.attributes, attributes) && !found(entry->name))
            return;
    }
}

std::string MachineFileSystem::Dir(const std::string& pathSpec, int attributes) {
    std::string first;
    Search(pathSpec, attributes, [&](const std::string& name) {
        first = name;
        return false;
    });
    return first;
}

std::vector<std::string> MachineFileSystem::DirAll(const std::string& pathSpec, int attributes) {
    std::vector<std::string> names;
    Search(pathSpec, attributes, [&](const std::string& name) {
        names.push_back(name);
        return true;
    });
    return names;
}

int MachineFileSystem::GetAttr(const std::string& pathText) {
    const DrivePath& path = Parse(pathText, false);
    const std::string root = DriveRoot(path.drive);
    if (path.components.empty())
        return attr::Directory;
    const auto found = FindDirectory(
        root, std::span<const std::string>(path.components).first(path.components.size() - 1));
    const DirectoryEntry* entry = found ? found->listing->Find(path.components.back()) : nullptr;
    if (!entry)
        throw RuntimeError(err::FileNotFound);
    const EntryState state = Inspect(*found, *entry);
    if (!state.exists)
        throw RuntimeError(err::FileNotFound);
    return state.attributes;
}

void MachineFileSystem::Kill(const std::string& pathText) {
    const DrivePath& path = Parse(pathText, true);
    const std::string& root = DriveRoot(path.drive);
    if (path.namesDirectory)
        throw RuntimeError(err::FileNotFound);
    const FoundDirectory& dir = ExistingParent(root, path);
    const std::string& last = path.components.back();

    if (path.lastHasWildcards) {
        const MachinePattern pattern(last);
        std::vector<std::pair<const DirectoryEntry*, bool>> matches; // entry, read-only
        const auto candidates = MatchesInByteOrder(*dir.listing, [&](const DirectoryEntry& entry) {
            return entry.kind != EntryKind::Directory && pattern.Matches(entry.name);
        });
        for (const DirectoryEntry* entry : candidates) {
            const EntryState state = Inspect(dir, *entry);
            if (state.exists && Visible(state.attributes, attr::Normal))
                matches.emplace_back(entry, (state.attributes & attr::ReadOnly) != 0);
        }
        if (matches.empty())
            throw RuntimeError(err::FileNotFound);
        for (const auto& [entry, readOnly] : matches) {
            if (readOnly)
                throw RuntimeError(err::PathFileAccessError);
            Unlink(dir, *entry);
        }
        return;
    }

    const DirectoryEntry* entry = dir.listing->Find(last);
    if (!entry)
        throw RuntimeError(err::FileNotFound);
    const EntryState state = Inspect(dir, *entry);
    if (!state.exists || state.directory || (state.attributes & (attr::Hidden | attr::System)))
        throw RuntimeError(err::FileNotFound);
    if (state.attributes & attr::ReadOnly)
        throw RuntimeError(err::PathFileAccessError);
    Unlink(dir, *entry);
}

void MachineFileSystem::RmDir(const std::string& pathText) {
    const auto [root, dir, listing, entry] = LookUpLast(pathText);
    if (!entry)
        throw RuntimeError(err::PathNotFound);
    if (entry->kind == EntryKind::Link)
        throw RuntimeError(err::PathFileAccessError);
    if (entry->kind != EntryKind::Directory)
        throw RuntimeError(err::PathNotFound);
    const std::string name = entry->name;
    const std::string target = Join(dir, name);
    if (IsCurrentDirectory(target))
        throw RuntimeError(err::PathFileAccessError);
    if (::rmdir(target.c_str()) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw RuntimeError(err::PathNotFound);
        throw RuntimeError(err::PathFileAccessError);
    }
    listings_.NoteRemoval(dir, *listing, *entry);
    listings_.Forget(target);
}

void MachineFileSystem::ChDir(const std::string& pathText) {
    const DrivePath& path = Parse(pathText, false);
    const std::string root = DriveRoot(path.drive);
    std::vector<std::string> stored;
    if (!FindDirectory(root, path.components, &stored))
        throw RuntimeError(err::PathNotFound);
    currentDirs_[static_cast<std::size_t>(path.drive - 'a')] = std::move(stored);
}

void MachineFileSystem::ChDrive(const std::string& drive) {
    if (drive.empty())
        return;
    listings_.CatchUp();
    const char letter = drive[0];
    if (!drives_.Root(letter))
        throw RuntimeError(68); // Device unavailable
    currentDrive_ = static_cast<char>(letter | 0x20);
}

void MachineFileSystem::SetAttr(const std::string& pathText, int attributes) {
    constexpr int Settable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
    if (attributes < 0 || (attributes & ~Settable) != 0)
        throw RuntimeError(err::InvalidProcedureCall);
    const auto [root, dir, listing, entry] = LookUpLast(pathText);
    if (!entry)
        throw RuntimeError(err::FileNotFound);
    const fs::path target = Join(dir, entry->name);
    // What is kept of its attributes goes, whatever happens below.
    listing->ForgetDosAttributes(entry->name);
    if (entry->kind == EntryKind::Link)
        CheckInsideDrive(root, target);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        throw RuntimeError(err::FileNotFound);

    if (!S_ISDIR(st.st_mode)) {
        const mode_t mode = st.st_mode & 07777;
        const mode_t wanted = (attributes & attr::ReadOnly)
                                  ? static_cast<mode_t>(mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                  : static_cast<mode_t>(mode | S_IWUSR);
        if (wanted != mode && ::chmod(target.c_str(), wanted) != 0)
            throw RuntimeError(errno == EPERM || errno == EACCES ? err::PermissionDenied
                                                                 : err::PathFileAccessError);
    }
    // Read-only lives in the permission bits; a stray read-only bit in the
    // stored value goes too.
    constexpr unsigned Kept = attr::ReadOnly | attr::Hidden | attr::System;
    const unsigned current = ReadDosAttrib(target);
    WriteDosAttrib(target, (current & ~Kept) |
                               (static_cast<unsigned>(attributes) & (attr::Hidden | attr::System)));
}

std::vector<std::string> MachineFileSystem::ListFiles(const std::string& dirText,
                                                      const std::string& patterns) {
    const DrivePath& path = Parse(dirText, false);
    const std::string& root = DriveRoot(path.drive);
    const FoundDirectory& dir = ExistingDirectory(root, path.components);
    const auto& listing = dir.listing;

    const MachinePatternList wanted(patterns);

    std::vector<const DirectoryEntry*> files;
    for (const DirectoryEntry& entry : listing->Entries()) {
        if (entry.removed || entry.kind == EntryKind::Directory)
            continue;
        if (!wanted.Matches(entry.name))
            continue;
        int attributes = 0;
        if (entry.kind == EntryKind::File) {
            // Ordinary files need no stat: only hidden and system count here.
            attributes = entry.name.starts_with('.') ? attr::Hidden : 0;
            const EntryAt at(dir.fd, dir.host, entry.name);
            attributes |= static_cast<int>(DosAttribOf(at, *listing, entry, true, byPathReads_)) &
                          (attr::Hidden | attr::System);
        } else {
            const EntryState state = Inspect(dir, entry);
            if (!state.exists)
                continue;
            attributes = state.attributes;
        }
        if (Visible(attributes, attr::Normal))
            files.push_back(&entry);
    }
    return NamesOf(files);
}

std::vector<std::string> MachineFileSystem::ListDirectories(const std::string& dirText) {
    const DrivePath& path = Parse(dirText, false);
    const std::string root = DriveRoot(path.drive);
    const FoundDirectory& dir = ExistingDirectory(root, path.components);
    const auto& listing = dir.listing;
    std::vector<const DirectoryEntry*> directories;
    for (const DirectoryEntry& entry : listing->Entries()) {
        if (entry.removed)
            continue;
        if (entry.kind == EntryKind::Directory ||
            (entry.kind == EntryKind::Link && Inspect(dir, entry).directory))
            directories.push_back(&entry);
    }
    return NamesOf(directories);
}

std::uint32_t MachineFileSystem::GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                                   std::uint32_t size) {
    std::string shortPath;
    try {
        const DrivePath& path = Parse(longPath, false);
        const std::string root = DriveRoot(path.drive);
        shortPath = std::string(1, static_cast<char>(path.drive - 'a' + 'A')) + ":\\";
        std::string host = root;
        for (std::size_t i = 0; i < path.components.size(); ++i) {
            const auto listing = listings_.Get(host);
            const DirectoryEntry* entry = listing ? listing->Find(path.components[i]) : nullptr;
            if (!entry)
                return 0;
            if (entry->kind == EntryKind::Link)
                CheckInsideDrive(root, Join(host, entry->name));
            if (i > 0)
                shortPath += '\\';
            shortPath += listing->ShortNameOf(*entry);
            host = Join(host, entry->name);
        }
        const bool trailing = longPath.ends_with('\\') || longPath.ends_with('/');
        if (trailing && !path.components.empty()) {
            if (!StampOf(host))
                return 0;
            shortPath += '\\';
        }
    } catch (const RuntimeError&) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(shortPath.size());
    const std::size_t capacity = std::min<std::size_t>(size, buffer.size());
    if (capacity < shortPath.size() + 1)
        return length + 1;
    buffer.replace(0, shortPath.size(), shortPath);
    buffer[shortPath.size()] = '\0';
    return length;
}

std::string MachineFileSystem::CurrentDirectory() const {
    std::string result(1, static_cast<char>(currentDrive_ - 'a' + 'A'));
    result += ":\\";
    const auto& components = currentDirs_[static_cast<std::size_t>(currentDrive_ - 'a')];
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0)
            result += '\\';
        result += components[i];
    }
    return result;
}

void MachineFileSystem::Invalidate(const fs::path& hostDir) {
    listings_.Forget(hostDir.string());
    std::error_code ec;
    const auto changed = fs::weakly_canonical(hostDir, ec);
    if (!ec && changed != hostDir)
        listings_.Forget(changed.string());
    const auto machine = fs::weakly_canonical(machineDir_, ec);
    if (changed == machine || changed == machine / "dosdevices")
        drives_.Forget();
}

} // namespace kestovan::posix
