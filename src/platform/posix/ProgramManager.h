#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kestovan::posix {

// The Program Manager of a machine directory, answering the DDE conversation
// "progman|progman": its program groups are the sub-folders of the Programs
// folder (a symbolic link to a folder counts as a group too).  Every
// operation raises RuntimeError 282 when there is no Program Manager (the
// Programs folder does not exist) or the topic names another service.
class ProgramManager {
public:
    // A host path; the folder may not exist.
    explicit ProgramManager(std::filesystem::path programsFolder);

    // Opens a conversation.  Raises 282 when no Program Manager answers the
    // topic ("service|topic", compared without regard to letter case).
    void Initiate(const std::string& topic) const;

    // Item "PROGMAN" (letter case ignored): the group names, each followed by
    // CR LF, sorted without regard to letter case.  Any other item raises 285,
    // as does a Programs folder that cannot be listed.
    std::string Request(const std::string& topic, const std::string& item) const;

    // Carries out a command string of one or more bracketed commands, in
    // order: "[DeleteGroup(name)]" or "[DeleteGroup("name")]" (inside quotes
    // "" stands for one quote; an unquoted argument ends at the first ',' or
    // ')', so ")][" in it starts a new command).  Command names ignore letter
    // case; blanks are allowed around names, arguments and brackets.
    // DeleteGroup deletes the group's folder with everything in it, never
    // following a symbolic link (a link is removed, not its target).
    // Raises 285 for an unknown command, malformed command text, a group that
    // does not exist, an empty name or one holding '\', '/', ':' or "..", or
    // a deletion that fails.  The commands before the failing one stay done;
    // the ones after it are not looked at.
    void Execute(const std::string& topic, const std::string& command);

private:
    std::filesystem::path programsFolder_;
};


} // namespace kestovan::posix
