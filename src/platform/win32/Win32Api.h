#pragma once

// <windows.h> and the small owning wrappers that the Win32 realisation uses.
// Included only by the win32/ sources.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace kestovan::win32 {

// A search handle of FindFirstFileA, closed with FindClose.
class FindHandle {
public:
    FindHandle(const std::string& pattern, WIN32_FIND_DATAA& data)
        : handle_(::FindFirstFileA(pattern.c_str(), &data)) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& data) { return ::FindNextFileA(handle_, &data) != FALSE; }

private:
    HANDLE handle_;
};

// An open registry key, closed with RegCloseKey.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr)
            ::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The registry handles cross the platform interface as 32-bit values, as in
// the 32-bit program; on 64-bit Windows handles are sign-extended 32-bit
// values (the predefined roots such as 0x80000000 included).
inline HKEY ToHkey(std::uint32_t key) {
    return reinterpret_cast<HKEY>(static_cast<INT_PTR>(static_cast<std::int32_t>(key)));
}
inline std::uint32_t FromHkey(HKEY key) {
    return static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(key));
}

} // namespace kestovan::win32
