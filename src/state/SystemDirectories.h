#pragma once

#include "platform/PlatformServices.h"

#include <string>
#include <vector>

namespace kestovan {

// The Windows and system directories as they really are, links and
// junctions followed, for the checks that keep the removal away from them.
// A directory is judged by where it resolves to, never by its text alone: a
// link C:\Tavori that leads to C:\windows is the Windows directory.
class SystemDirectories {
public:
    // windowsDir and systemDir as GetWindowsDir and GetSystemDir give them
    // (systemDir may be empty).
    SystemDirectories(PlatformServices& platform, const std::string& windowsDir,
                      const std::string& systemDir);

    // Where dir really is, with a trailing backslash; "" when that cannot be
    // told (dir missing, or leading where no drive is).
    std::string Resolve(const std::string& dir) const;

    // True when dir resolves to the Windows or the system directory.
    bool IsSystemDirectory(const std::string& dir) const;

    // True when dir resolves to the Windows or the system directory, to a
    // drive's root, or to a directory that holds one of them: removing the
    // application's files from there could hit the system's own.
    bool HoldsSystemFiles(const std::string& dir) const;

private:
    PlatformServices& platform_;
    std::vector<std::string> resolved_; // upper-cased, with trailing backslash
};

} // namespace kestovan
