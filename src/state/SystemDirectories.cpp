#include "state/SystemDirectories.h"

#include "state/Text.h"

#include <algorithm>

namespace kestovan {

SystemDirectories::SystemDirectories(PlatformServices& platform, const std::string& windowsDir,
                                     const std::string& systemDir)
    : platform_(platform) {
    for (const std::string& dir : {windowsDir, systemDir}) {
        if (dir.empty())
            continue;
        // The text itself counts too: a directory that cannot be resolved
        // is still recognised by its name.
        resolved_.push_back(UCase(WithTrailingBackslash(dir)));
        const std::string real = Resolve(dir);
        if (!real.empty())
            resolved_.push_back(UCase(real));
    }
}

std::string SystemDirectories::Resolve(const std::string& dir) const {
    return platform_.ResolveDirectory(WithTrailingBackslash(dir));
}

bool SystemDirectories::IsSystemDirectory(const std::string& dir) const {
    const std::string real = UCase(Resolve(dir));
    return !real.empty() && std::find(resolved_.begin(), resolved_.end(), real) != resolved_.end();
}

bool SystemDirectories::HoldsSystemFiles(const std::string& dir) const {
    const std::string real = UCase(Resolve(dir));
    if (real.empty())
        return false;
    // "C:\" or "\\server\share\": nothing above it on its drive.
    const bool driveRoot =
        (real.size() == 3 && real[1] == ':') ||
        (real.starts_with("\\\\") && std::count(real.begin() + 2, real.end(), '\\') <= 2);
    if (driveRoot)
        return true;
    return std::any_of(resolved_.begin(), resolved_.end(),
                       [&](const std::string& system) { return system.starts_with(real); });
}

} // namespace kestovan
