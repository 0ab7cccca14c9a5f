#pragma once

#include <cstdint>

namespace kestovan::win32 {

// The classic run-time error number for a Win32 error code of a file
// operation; `fallback` for the codes the run-time has no own number for.
int RuntimeErrorNumber(std::uint32_t win32Error, int fallback);

// Raises RuntimeError for GetLastError(), mapped as above.
[[noreturn]] void RaiseLastError(int fallback);

} // namespace kestovan::win32
