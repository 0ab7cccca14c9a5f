#include "platform/win32/DllSearch.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <initializer_list>

namespace kestovan::win32 {

void RestrictDllSearch() noexcept {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    if (const HMODULE kernel = ::GetModuleHandleA("kernel32.dll"); kernel != nullptr) {
        const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault != nullptr)
            setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Takes the working directory out of the search also where
    // SetDefaultDllDirectories is missing.
    ::SetDllDirectoryA("");
}

void* SystemFunction(const char* dll, const char* function) noexcept {
    const HMODULE module = ::LoadLibraryExA(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(module, function));
}

void PreloadWindowingLibraries() noexcept {
    for (const char* name : {"ole32.dll", "msimg32.dll"})
        ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace kestovan::win32
