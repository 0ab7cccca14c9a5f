#include "platform/win32/Win32ProfileFile.h"

#include "platform/ProfileText.h"
#include "platform/win32/Win32Api.h"

#include <algorithm>

namespace kestovan::win32 {

namespace {

// A file handle of CreateFileA, closed when it leaves scope.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE)
            return true;
        const bool closed = ::CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// The whole file; nullopt when it cannot be read.
std::optional<std::string> ReadAll(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return std::nullopt;
    std::string text;
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr))
            return std::nullopt;
        if (read == 0)
            break;
        text.append(chunk, read);
    }
    return text;
}

// Writes the text to a new file at path and flushes it to the disk.
bool WriteFlushed(const std::string& path, const std::string& text) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        if (!::WriteFile(file.Get(), text.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return ::FlushFileBuffers(file.Get()) != FALSE && file.Close();
}

// The path of the existing file with its last component spelled as the file
// system spells it (a caller may write "TAVORI.INI" for tavori.ini): the new
// file takes that name.
std::string AsSpelledOnDisk(const std::string& path) {
    WIN32_FIND_DATAA data{};
    FindHandle found(path, data);
    if (!found.Valid())
        return path;
    const std::size_t slash = path.find_last_of("\\/:");
    return path.substr(0, slash + 1) + data.cFileName;
}

bool StartsWithUtf16Mark(const std::string& text) {
    return text.size() >= 2 &&
           ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'));
}

} // namespace

std::optional<long> WriteProfileStringReplacingFile(const std::string& section,
                                                    const std::string& key,
                                                    const std::string& value,
                                                    const std::string& fileName) {
    if (fileName.find_first_of("\\/:") == std::string::npos)
        return std::nullopt;

    if (fileName.find_first_of("*?") != std::string::npos)
        return 0;
    const std::string target = AsSpelledOnDisk(fileName);
    const DWORD attributes = ::GetFileAttributesA(target.c_str());
    std::optional<std::string> oldText;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A missing file is made; a missing directory is not.
        if (::GetLastError() != ERROR_FILE_NOT_FOUND)
            return 0;
    } else {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return 0;
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        oldText = ReadAll(target);
        if (!oldText)
            return 0;
        if (StartsWithUtf16Mark(*oldText))
            return std::nullopt;
    }

    const std::string newText = ProfileSetString(oldText, section, key, value);
    if (oldText && newText == *oldText)
        return 1;

    const std::string temporary = target + ".kestovan-tmp";
    if (!WriteFlushed(temporary, newText)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        ::SetLastError(error);
        return 0;
    }

    bool replaced = false;
    if (oldText) {
        // The attributes the file had (hidden, system, archive); ReplaceFileA
        // keeps them on Windows, and they are set beforehand for file systems
        // and fallbacks that would not.
        constexpr DWORD Kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD kept = attributes & Kept;
        ::SetFileAttributesA(temporary.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
        replaced = ::ReplaceFileA(target.c_str(), temporary.c_str(), nullptr,
                                  REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != FALSE;
    }
    if (!replaced)
        replaced = ::MoveFileExA(temporary.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!replaced) {
        const DWORD error = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        ::SetLastError(error);
        return 0;
    }
    return 1;
}

} // namespace kestovan::win32
