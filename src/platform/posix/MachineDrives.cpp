#include "platform/posix/MachineDrives.h"

#include "platform/RuntimeError.h"

#include <system_error>

namespace kestovan::posix {

namespace {

std::optional<std::string> CanonicalDirectory(const std::filesystem::path& path) {
    std::error_code ec;
    auto canonical = std::filesystem::canonical(path, ec);
    if (ec || !std::filesystem::is_directory(canonical, ec) || ec)
        return std::nullopt;
    return canonical.string();
}

int LetterIndex(char letter) {
    if (letter >= 'a' && letter <= 'z')
        return letter - 'a';
    if (letter >= 'A' && letter <= 'Z')
        return letter - 'A';
    return -1;
}

} // namespace

MachineDrives::MachineDrives(std::filesystem::path machineDir, ListingCache& listings)
    : machineDir_(std::move(machineDir)), dosdevicesDir_((machineDir_ / "dosdevices").string()),
      listings_(listings) {}

MachineDrives::Seen MachineDrives::Look(const std::string& hostDir) {
    try {
        auto listing = listings_.Get(hostDir);
        const std::uint64_t changes = listing ? listing->Changes() : 0;
        return Seen{std::move(listing), changes};
    } catch (const RuntimeError&) {
        return Seen{}; // unreadable: as though missing
    }
}

void MachineDrives::Refresh() {
    // Both directories watched and nothing read or dropped since: nothing
    // to look at.
    const bool watched = machineSeen_.listing && machineSeen_.listing->Watched() &&
                         (!dosdevicesSeen_.listing || dosdevicesSeen_.listing->Watched());
    if (loaded_ && watched && listings_.Generation() == generation_)
        return;
    const auto dosdevices = machineDir_ / "dosdevices";
    Seen machineSeen = Look(machineDir_.string());
    Seen dosdevicesSeen = Look(dosdevicesDir_);
    if (loaded_ && machineSeen == machineSeen_ && dosdevicesSeen == dosdevicesSeen_) {
        generation_ = listings_.Generation();
        return;
    }
    roots_ = {};
    if (dosdevicesSeen.listing) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dosdevices, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const int index = name.size() == 2 && name[1] == ':' ? LetterIndex(name[0]) : -1;
            if (index < 0)
                continue;
            // "c:" and "C:" side by side: the lower-case one, as Wine uses.
            if (roots_[index] && name[0] >= 'A' && name[0] <= 'Z')
                continue;
            if (auto root = CanonicalDirectory(it->path()))
                roots_[index] = std::move(root);
        }
    }
    const int c = LetterIndex('c');
    if (!roots_[c]) {
        std::error_code ec;
        const bool mapped =
            std::filesystem::exists(std::filesystem::symlink_status(dosdevices / "c:", ec));
        if (!mapped)
            roots_[c] = CanonicalDirectory(machineDir_ / "drive_c");
    }
    generation_ = listings_.Generation();
    machineSeen_ = std::move(machineSeen);
    dosdevicesSeen_ = std::move(dosdevicesSeen);
    loaded_ = true;
}

const std::string* MachineDrives::Root(char letter) {
    const int index = LetterIndex(letter);
    if (index < 0)
        return nullptr;
    Refresh();
    return roots_[index] ? &*roots_[index] : nullptr;
}

std::vector<std::pair<char, std::filesystem::path>> MachineDrives::All() {
    Refresh();
    std::vector<std::pair<char, std::filesystem::path>> result;
    for (int i = 0; i < 26; ++i)
        if (roots_[i])
            result.emplace_back(static_cast<char>('a' + i), std::filesystem::path(*roots_[i]));
    return result;
}

} // namespace kestovan::posix
