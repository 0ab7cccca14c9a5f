#include "platform/ThirtyTwoBitView.h"

#include "platform/PlatformServices.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

namespace kestovan {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// "C:\a\b" -> drive 'c' and {"a", "b"}; false for anything not of that form.
bool SplitFullPath(std::string_view path, char& drive, std::vector<std::string>& components) {
    if (path.size() < 3 || path[1] != ':' || !IsSeparator(path[2]))
        return false;
    const char letter = Lower(path[0]);
    if (letter < 'a' || letter > 'z')
        return false;
    drive = letter;
    components.clear();
    std::size_t start = 3;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (end > start)
            components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool StartsWith(std::span<const std::string> components, std::span<const std::string> prefix) {
    return components.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), components.begin(),
                      [](const std::string& a, const std::string& b) { return SameName(a, b); });
}

// The sub-directories of the system directory that both views share.
bool IsSharedSubdirectory(std::span<const std::string> rest) {
    if (rest.empty())
        return false;
    constexpr std::array<std::string_view, 5> Shared = {"catroot", "catroot2", "driverstore",
                                                        "logfiles", "spool"};
    if (std::any_of(Shared.begin(), Shared.end(),
                    [&](std::string_view name) { return SameName(rest[0], name); }))
        return true;
    return rest.size() >= 2 && SameName(rest[0], "drivers") && SameName(rest[1], "etc");
}

void Replace(std::vector<std::string>& components, std::size_t count,
             const std::vector<std::string>& by) {
    components.erase(components.begin(), components.begin() + static_cast<std::ptrdiff_t>(count));
    components.insert(components.begin(), by.begin(), by.end());
}

std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The class keys that hold COM registrations, kept apart per view.
bool IsComRegistration(std::string_view name) {
    constexpr std::array<std::string_view, 5> Separate = {"CLSID", "DirectShow", "Interface",
                                                          "Media Type", "MediaFoundation"};
    return std::any_of(Separate.begin(), Separate.end(),
                       [&](std::string_view separate) { return SameName(name, separate); });
}

} // namespace

SystemDirectoryView::SystemDirectoryView(std::string_view systemDir, std::string_view wow64Dir) {
    char systemDrive = 0;
    char wow64Drive = 0;
    std::vector<std::string> system;
    std::vector<std::string> wow64;
    if (!SplitFullPath(systemDir, systemDrive, system) ||
        !SplitFullPath(wow64Dir, wow64Drive, wow64) || system.empty() || wow64.empty() ||
        systemDrive != wow64Drive || StartsWith(system, wow64) || StartsWith(wow64, system))
        return;
    drive_ = systemDrive;
    system_ = std::move(system);
    wow64_ = std::move(wow64);
    native_ = system_;
    native_.back() = "sysnative";
}

bool SystemDirectoryView::Apply(char drive, std::vector<std::string>& components) const {
    if (!Redirects() || Lower(drive) != drive_)
        return false;
    if (StartsWith(components, native_)) {
        Replace(components, native_.size(), system_);
        return true;
    }
    if (!StartsWith(components, system_) ||
        IsSharedSubdirectory(std::span(components).subspan(system_.size())))
        return false;
    Replace(components, system_.size(), wow64_);
    return true;
}

std::string SystemDirectoryView::Apply(const std::string& fullPath) const {
    char drive = 0;
    std::vector<std::string> components;
    if (!Redirects() || !SplitFullPath(fullPath, drive, components) || !Apply(drive, components))
        return fullPath;
    std::string result = fullPath.substr(0, 2) + '\\';
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i != 0)
            result += '\\';
        result += components[i];
    }
    if (IsSeparator(fullPath.back()) && !components.empty())
        result += '\\';
    return result;
}

bool RedirectedForThirtyTwoBitPrograms(std::uint32_t root, std::string_view subKey) {
    const std::vector<std::string_view> parts = Components(subKey);
    const auto underClasses = [&](std::size_t at) {
        return parts.size() > at && IsComRegistration(parts[at]);
    };
    const bool software = !parts.empty() && SameName(parts[0], "Software");
    const bool softwareClasses = software && parts.size() > 1 && SameName(parts[1], "Classes");
    switch (root) {
    case hkey::ClassesRoot: return underClasses(0);
    case hkey::CurrentUser: return softwareClasses && underClasses(2);
    case hkey::LocalMachine: return software && (!softwareClasses || underClasses(2));
    default: return false;
    }
}

} // namespace kestovan
