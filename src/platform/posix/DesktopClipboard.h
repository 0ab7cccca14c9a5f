#pragma once

#include <filesystem>
#include <string>

namespace kestovan::posix {

// Where a text put on the clipboard went on the desktop.
struct ClipboardDelivery {
    bool onDesktop = false;     // a clipboard tool took it
    std::string tool;           // "wl-copy" or "xclip" when onDesktop
    std::filesystem::path file; // else the file it was written to (empty: none)
    std::string problem;        // why no file could be written either
    // One sentence for the person at the console.
    std::string Notice() const;
};

// Puts text on the desktop's clipboard when one is reachable: wl-copy when
// WAYLAND_DISPLAY is set, xclip when DISPLAY is set, each found on PATH.
// Otherwise the text is written to a new file kestovan-report.txt (then
// kestovan-report-2.txt, ...) in fileDirectory, never over an existing one.
// Line ends become the desktop's (LF).
ClipboardDelivery DeliverToDesktop(const std::string& text,
                                   const std::filesystem::path& fileDirectory);

// The directory a report file goes to: $HOME, else the temporary directory.
std::filesystem::path ReportDirectory();

} // namespace kestovan::posix
