#pragma once

#include <filesystem>
#include <string>

namespace kestovan::app {

// Checks of the files and directories named on the command line, made before
// the program changes anything, so that a run that could not keep its log or
// read its answers is refused at once instead of failing half way.  Each
// raises UsageError with a message that names the option, the path and the
// reason.

// A file the program will write (--log, --transcript): an existing file
// that can be opened for writing (it is not changed here), or a new file in
// an existing directory where one can be created (it is created and removed
// again).
void CheckWritableFile(const std::string& option, const std::filesystem::path& file);

// A file the program will read (--answers); "-" is standard input.
void CheckReadableFile(const std::string& option, const std::filesystem::path& file);

// A machine directory (--machine, or the default named by `source`, such as
// "$WINEPREFIX"): it exists, is a directory, and holds a drive C:.
void CheckMachineDirectory(const std::string& source, const std::filesystem::path& dir);

} // namespace kestovan::app
