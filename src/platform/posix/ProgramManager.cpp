#include "platform/posix/ProgramManager.h"

#include "platform/DdeCommandReader.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace kestovan::posix {
namespace fs = std::filesystem;

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool SameName(std::string_view a, std::string_view b) {
    return Lower(a) == Lower(b);
}

[[noreturn]] void Refuse() {
    throw RuntimeError(err::DdeMethodRefused);
}

// The program groups: the sub-folders of the Programs folder, as host paths.
std::vector<fs::path> Groups(const fs::path& folder) {
    std::vector<fs::path> groups;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        Refuse();
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        // is_directory follows a link, so a link to a folder is a group.
        if (it->is_directory(typeError))
            groups.push_back(it->path());
    }
    if (ec)
        Refuse();
    return groups;
}

// The group folder of that name: the exact name first, else the first in byte
// order of those that differ only in letter case.
std::optional<fs::path> FindGroup(const fs::path& folder, const std::string& name) {
    std::optional<fs::path> match;
    for (const fs::path& group : Groups(folder)) {
        std::string groupName = group.filename().string();
        if (groupName == name)
            return group;
        if (SameName(groupName, name) && (!match || groupName < match->filename().string()))
            match = group;
    }
    return match;
}

void DeleteGroup(const fs::path& folder, const std::string& name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos ||
        name.find("..") != std::string::npos)
        Refuse();
    std::optional<fs::path> group = FindGroup(folder, name);
    if (!group)
        Refuse();
    std::error_code ec;
    // remove_all removes a link itself and never descends through one, so
    // nothing outside the group's own folder is touched.
    fs::remove_all(*group, ec);
    if (ec)
        Refuse();
}

} // namespace

ProgramManager::ProgramManager(fs::path programsFolder)
    : programsFolder_(std::move(programsFolder)) {}

void ProgramManager::Initiate(const std::string& topic) const {
    std::error_code ec;
    if (Lower(topic) != "progman|progman" || !fs::is_directory(programsFolder_, ec))
        throw RuntimeError(err::DdeNoForeignApplication);
}

std::string ProgramManager::Request(const std::string& topic, const std::string& item) const {
    Initiate(topic);
    if (Lower(item) != "progman")
        Refuse();
    std::vector<std::string> names;
    for (const fs::path& group : Groups(programsFolder_)) {
        std::string name = group.filename().string();
        // A host name with a line break in it cannot be a group name: it
        // would read as two groups.
        if (name.find_first_of("\r\n") == std::string::npos)
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    std::string reply;
    for (const std::string& name : names)
        reply.append(name).append("\r\n");
    return reply;
}

void ProgramManager::Execute(const std::string& topic, const std::string& command) {
    Initiate(topic);
    DdeCommandReader reader(command);
    if (reader.AtEnd())
        Refuse();
    while (!reader.AtEnd()) {
        DdeCommand next = reader.Next();
        if (Lower(next.name) == "deletegroup" && next.arguments.size() == 1)
            DeleteGroup(programsFolder_, next.arguments.front());
        else
            Refuse();
    }
}

} // namespace kestovan::posix
