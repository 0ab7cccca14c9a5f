#pragma once

// What a 32-bit program sees of the system directory and the registry on
// 64-bit Windows.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan {

// The system directory.  The application's setup was a 32-bit program: on a 64-bit system it put
// its system files where the system's redirection took it, the 32-bit
// system directory (SysWOW64), while it named them, as every 32-bit program
// does, by the system directory's own name (System32).  This program looks
// for them and deletes them where they are, and keeps the names.
//
// The rule is the system's: a path in the system directory leads to the
// same path in the 32-bit system directory, except in the sub-directories
// the system shares between both (catroot, catroot2, driverstore,
// drivers\etc, logfiles, spool); the alias "sysnative" beside the system
// directory leads to the system directory itself.  Names are compared
// without regard to letter case.
class SystemDirectoryView {
public:
    // No redirection: a 32-bit system, or a 32-bit program the system
    // redirects itself.
    SystemDirectoryView() = default;
    // systemDir and wow64Dir as full paths ("C:\windows\system32",
    // "C:\windows\syswow64").  An empty or malformed wow64Dir means no
    // redirection.
    SystemDirectoryView(std::string_view systemDir, std::string_view wow64Dir);

    bool Redirects() const { return !wow64_.empty(); }

    // Applies the redirection to a full path given as its drive letter and
    // its components ("." and ".." already applied).  Returns true when the
    // components changed.
    bool Apply(char drive, std::vector<std::string>& components) const;

    // The same for a full path as text ("C:\windows\system32\x.scr"); any
    // other text (relative, UNC) is returned as it is.  A trailing separator
    // is kept.
    std::string Apply(const std::string& fullPath) const;

private:
    char drive_ = 0; // lower case
    std::vector<std::string> system_;
    std::vector<std::string> wow64_;
    std::vector<std::string> native_; // the "sysnative" alias
};

// Whether 64-bit Windows (7 and later) keeps the key root\subKey apart for
// 32-bit programs: HKEY_LOCAL_MACHINE\Software outside its Classes, and the
// COM registrations of the classes (CLSID, DirectShow, Interface, Media Type,
// MediaFoundation) under HKEY_CLASSES_ROOT and either Software\Classes.  The
// file associations and the settings store are shared by both kinds of
// program.  The application's setup was a 32-bit program, so such a key is
// opened in the 32-bit view (KEY_WOW64_32KEY).  root is one of the hkey
// roots; any other key (an opened handle) gives false.  Names are compared
// without regard to letter case.
bool RedirectedForThirtyTwoBitPrograms(std::uint32_t root, std::string_view subKey);

} // namespace kestovan
