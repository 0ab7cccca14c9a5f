#include "platform/win32/Win32Errors.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Win32Api.h"

namespace kestovan::win32 {

int RuntimeErrorNumber(std::uint32_t win32Error, int fallback) {
    switch (win32Error) {
    case ERROR_FILE_NOT_FOUND: return err::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DIRECTORY: return err::PathNotFound;
    case ERROR_TOO_MANY_OPEN_FILES: return 67; // Too many files
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_DIR_NOT_EMPTY: return err::PathFileAccessError;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return err::BadFileNameOrNumber;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return 7;      // Out of memory
    case ERROR_INVALID_DRIVE: return 68;   // Device unavailable
    case ERROR_NOT_SAME_DEVICE: return 74; // Can't rename with different drive
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return err::PermissionDenied;
    case ERROR_NOT_READY: return err::DiskNotReady;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return err::DiskFull;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return 58; // File already exists
    case ERROR_INVALID_PARAMETER: return err::InvalidProcedureCall;
    default: return fallback;
    }
}

void RaiseLastError(int fallback) {
    throw RuntimeError(RuntimeErrorNumber(::GetLastError(), fallback));
}

} // namespace kestovan::win32
