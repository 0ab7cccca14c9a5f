#pragma once

#include "platform/posix/MachineListing.h"

#include <array>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace kestovan::posix {

// The drive letters of a machine directory: each link dosdevices/<letter>:
// maps one; without dosdevices/c:, C: is drive_c/.  Roots are kept in
// canonical form and read again when dosdevices/ or the machine directory
// changes.
class MachineDrives {
public:
    explicit MachineDrives(std::filesystem::path machineDir);

    // The canonical root of the drive (letter in either case); nullopt when
    // the letter is not mapped to an existing directory.
    std::optional<std::filesystem::path> Root(char letter);

    // Every mapped drive: lower-case letter and canonical root.
    std::vector<std::pair<char, std::filesystem::path>> All();

    void Forget() { loaded_ = false; }

private:
    void Refresh();

    std::filesystem::path machineDir_;
    bool loaded_ = false;
    bool recent_ = false; // read right after a change: read again next time
    std::optional<DirectoryStamp> machineStamp_;
    std::optional<DirectoryStamp> dosdevicesStamp_;
    std::array<std::optional<std::filesystem::path>, 26> roots_;
};

} // namespace kestovan::posix
