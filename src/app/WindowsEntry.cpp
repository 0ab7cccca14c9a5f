// The entry point of KESTOVAN.EXE (linked with --entry): before the C
// run-time starts, before any static constructor and main(), the DLL search
// of the process is restricted to the system directory.  Only the DLLs of the
// import table, KERNEL32 and msvcrt, are loaded by then (platform/win32/
// DllSearch.h says why and how the others are loaded).

#include "platform/win32/DllSearch.h"

extern "C" int WinMainCRTStartup();

extern "C" int KestovanEntry() {
    kestovan::win32::RestrictDllSearch();
    return WinMainCRTStartup();
}
