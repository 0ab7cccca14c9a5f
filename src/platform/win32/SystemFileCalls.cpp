#include "platform/win32/SystemFileCalls.h"

#include "platform/win32/Win32Api.h"

#include <shlobj.h>

#include <memory>
#include <type_traits>

namespace kestovan::win32 {

static_assert(win32value::FileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(win32value::FileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(win32value::CsidlPrograms == CSIDL_PROGRAMS);
static_assert(win32value::CsidlCommonPrograms == CSIDL_COMMON_PROGRAMS);

namespace {

struct FileHandleCloser {
    void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FileHandleCloser>;

using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

// GetFinalPathNameByHandleA, looked up when needed: Windows has it from
// Vista on, and the program still starts on a system without it.
FinalPathCall FinalPathFunction() {
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return nullptr;
    const FARPROC found = ::GetProcAddress(kernel, "GetFinalPathNameByHandleA");
    return reinterpret_cast<FinalPathCall>(reinterpret_cast<void (*)()>(found));
}

// The final path of an open handle ("\\?\C:\windows"); nullopt when it
// cannot be read.
std::optional<std::string> FinalPath(FinalPathCall call, HANDLE handle) {
    // The length returned for a buffer too small includes the closing NUL.
    std::string final(MAX_PATH + 1, '\0');
    DWORD length = call(handle, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    if (length >= final.size()) {
        final.assign(length + 1, '\0');
        length = call(handle, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= final.size())
        return std::nullopt;
    final.resize(length);
    return final;
}

// The full path of the name itself, no link followed: all a system without
// the final-path call can tell.
std::optional<std::string> FullPath(const std::string& path) {
    std::string full(MAX_PATH + 1, '\0');
    DWORD length =
        ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.assign(length + 1, '\0');
        length =
            ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size())
        return std::nullopt;
    full.resize(length);
    return full;
}

} // namespace

std::optional<std::uint32_t> SystemFileCalls::FileAttributes(const std::string& path) const {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return attributes;
}

std::optional<OpenedPath> SystemFileCalls::Open(const std::string& path) const {
    // Reading the attributes is all the handle needs; a directory the user
    // may not list still opens, and nobody else is kept from anything.
    HANDLE raw = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const FileHandle handle(raw);

    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle.get(), &information))
        return std::nullopt;

    const FinalPathCall finalPathCall = FinalPathFunction();
    const std::optional<std::string> final =
        finalPathCall != nullptr ? FinalPath(finalPathCall, handle.get()) : FullPath(path);
    if (!final)
        return std::nullopt;
    return OpenedPath{*final, information.dwFileAttributes};
}

std::optional<std::string> SystemFileCalls::SpecialFolder(int csidl) const {
    char buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE))
        return std::nullopt;
    return std::string(buffer);
}

} // namespace kestovan::win32
