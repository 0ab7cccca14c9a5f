#include "platform/posix/DesktopClipboard.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestovan::posix {

namespace fs = std::filesystem;

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The program's path when an executable of that name is on PATH.
std::optional<fs::path> OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return std::nullopt;
    const std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        const fs::path dir = list.substr(start, end - start).empty()
                                 ? fs::path(".")
                                 : fs::path(list.substr(start, end - start));
        const fs::path candidate = dir / program;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// Runs program with args, the text on its standard input; true when it took
// the text and ended with status 0.
bool Pipe(const fs::path& program, const std::vector<std::string>& args, const std::string& text) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    // The tools keep serving the clipboard in the background: nothing of
    // theirs may hold the console's output open.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (spawned != 0) {
        ::close(fds[1]);
        return false;
    }
    // A tool that ends before it has read everything must not end this
    // program with SIGPIPE.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    bool written = true;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            written = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
    ::sigaction(SIGPIPE, &previous, nullptr);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return written && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string DesktopLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

} // namespace

std::string ClipboardDelivery::Notice() const {
    if (onDesktop)
        return "The report is on the desktop clipboard (" + tool + ").";
    if (!file.empty())
        return "No desktop clipboard could be reached (wl-copy or xclip); the report was "
               "written to " +
               file.string() + ".";
    return "No desktop clipboard could be reached (wl-copy or xclip), and the report could not "
           "be written to a file: " +
           problem + ".";
}

ClipboardDelivery DeliverToDesktop(const std::string& text, const fs::path& fileDirectory) {
    const std::string plain = DesktopLineEnds(text);
    ClipboardDelivery delivery;
    const struct {
        const char* display;
        const char* tool;
        std::vector<std::string> args;
    } tools[] = {{"WAYLAND_DISPLAY", "wl-copy", {}},
                 {"DISPLAY", "xclip", {"-selection", "clipboard"}}};
    for (const auto& tool : tools) {
        if (!IsSet(tool.display))
            continue;
        const auto program = OnPath(tool.tool);
        if (program && Pipe(*program, tool.args, plain)) {
            delivery.onDesktop = true;
            delivery.tool = tool.tool;
            return delivery;
        }
    }

    for (int n = 1; n < 1000; ++n) {
        const fs::path file =
            fileDirectory / (n == 1 ? std::string("kestovan-report.txt")
                                    : "kestovan-report-" + std::to_string(n) + ".txt");
        // Made new: an existing file of that name is never written over.
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            delivery.problem = file.string() + ": " + std::strerror(errno);
            return delivery;
        }
        bool written = true;
        for (std::size_t done = 0; done < plain.size();) {
            const ssize_t w = ::write(fd, plain.data() + done, plain.size() - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                written = false;
                break;
            }
            done += static_cast<std::size_t>(w);
        }
        const int error = errno;
        if (::close(fd) != 0)
            written = false;
        if (!written) {
            delivery.problem = file.string() + ": " + std::strerror(error);
            return delivery;
        }
        delivery.file = file;
        return delivery;
    }
    delivery.problem = "too many report files in " + fileDirectory.string();
    return delivery;
}

fs::path ReportDirectory() {
    const char* home = std::getenv("HOME");
    std::error_code ec;
    if (home != nullptr && *home != '\0' && fs::is_directory(home, ec))
        return home;
    const fs::path temporary = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : temporary;
}

} // namespace kestovan::posix
