#include "app/NamedFiles.h"

#include "app/CommandLine.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace kestovan::app {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Refuse(const std::string& option, const fs::path& path, const std::string& why) {
    throw UsageError(option + " " + path.string() + ": " + why);
}

// The reason the last failed open gives, as the system words it.
std::string SystemReason(int error) {
    return error != 0 ? std::string(std::strerror(error)) : std::string("not possible");
}

} // namespace

void CheckWritableFile(const std::string& option, const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (fs::is_directory(status))
        Refuse(option, file, "is a directory, not a file");
    if (fs::exists(status)) {
        errno = 0;
        std::ofstream probe(file, std::ios::binary | std::ios::app);
        if (!probe)
            Refuse(option, file, "cannot be written (" + SystemReason(errno) + ")");
        return;
    }
    const fs::path parent = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const fs::file_status parentStatus = fs::status(parent, ec);
    if (!fs::exists(parentStatus))
        Refuse(option, file, "no such directory: " + parent.string());
    if (!fs::is_directory(parentStatus))
        Refuse(option, file, parent.string() + " is not a directory");
    errno = 0;
    {
        std::ofstream probe(file, std::ios::binary | std::ios::out);
        if (!probe)
            Refuse(option, file,
                   "cannot be created in " + parent.string() + " (" + SystemReason(errno) + ")");
    }
    fs::remove(file, ec);
}

void CheckReadableFile(const std::string& option, const fs::path& file) {
    if (file == "-")
        return;
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status))
        Refuse(option, file, "no such file");
    if (fs::is_directory(status))
        Refuse(option, file, "is a directory, not a file");
    errno = 0;
    std::ifstream probe(file, std::ios::binary);
    if (!probe)
        Refuse(option, file, "cannot be read (" + SystemReason(errno) + ")");
}

void CheckMachineDirectory(const std::string& source, const fs::path& dir) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (!fs::exists(status))
        Refuse(source, dir, "no such directory");
    if (!fs::is_directory(status))
        Refuse(source, dir, "is a file, not a machine directory");
    if (!fs::is_directory(dir / "drive_c", ec) && !fs::exists(dir / "dosdevices" / "c:", ec))
        Refuse(source, dir,
               "not a machine directory: it holds neither drive_c nor dosdevices/c: "
               "(give a Wine prefix)");
}

} // namespace kestovan::app
