#pragma once

#include "platform/posix/MachineListing.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::posix {

// The drive letters of a machine directory: each link dosdevices/<letter>:
// maps one; without dosdevices/c:, C: is drive_c/.  Roots are kept in
// canonical form and read again when the listing of dosdevices/ or of the
// machine directory changes (as the listing cache tells: as of its last
// CatchUp).
class MachineDrives {
public:
    MachineDrives(std::filesystem::path machineDir, ListingCache& listings);

    // The canonical root of the drive (letter in either case) as a host
    // path; nullptr when the letter is not mapped to an existing directory.
    // It stays valid until the roots are next asked for.
    const std::string* Root(char letter);

    // Every mapped drive: lower-case letter and canonical root.
    std::vector<std::pair<char, std::filesystem::path>> All();

    void Forget() { loaded_ = false; }

private:
    void Refresh();

    // A listing as seen when the roots were worked out.
    struct Seen {
        std::shared_ptr<DirectoryListing> listing;
        std::uint64_t changes = 0;
        bool operator==(const Seen&) const = default;
    };
    Seen Look(const std::string& hostDir);

    std::filesystem::path machineDir_;
    std::string dosdevicesDir_;
    ListingCache& listings_;
    bool loaded_ = false;
    std::uint64_t generation_ = 0; // of the listing cache when last refreshed
    Seen machineSeen_;
    Seen dosdevicesSeen_;
    std::array<std::optional<std::string>, 26> roots_;
};

} // namespace kestovan::posix
