#pragma once

// Where the Windows program takes its DLLs from: the system directory only.
//
// The program runs elevated and is started from wherever it was unpacked
// (often a Downloads folder, where anyone can drop a file), so no DLL may be
// loaded from the program's folder or the working directory:
//
// - the import table names KERNEL32 and the C run-time (msvcrt) only, DLLs
//   that Windows maps from the system directory whatever the search (its
//   KnownDLLs) and that are loaded before any code of the program runs;
// - every other DLL whose functions it calls (USER32, GDI32, SHELL32,
//   ADVAPI32) is delay-loaded: loaded at the first call of one of its functions
//   (cmake/DelayImports.cmake), after the entry point has called
//   RestrictDllSearch, in the 32-bit program as in the 64-bit one;
// - COMCTL32 is loaded by the program (SystemFunction) and comes, by name,
//   through the process's activation context: version 6, as the manifest
//   asks;
// - what those DLLs load themselves is searched the same way.

namespace kestovan::win32 {

// Takes the program's folder and the working directory out of the DLL search
// of this process: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) and
// SetDllDirectoryA("").  SetDefaultDllDirectories is looked up, not imported:
// Windows 7 has it only with update KB2533623, and the program still starts
// without it (the DLLs it delay-loads are KnownDLLs or, COMCTL32, redirected
// by the activation context, so they never come from the program's folder).
// Calls nothing but KERNEL32, so it runs before the C run-time is set up.
void RestrictDllSearch() noexcept;

// Loads, from the system directory, the DLLs that the system's own windowing
// DLLs load later for the program's windows (OLE32 with COMBASE, MSIMG32), so
// that those later loads find them loaded.  Wine resolves its built-in DLLs'
// delayed imports with its default search, which begins with the program's
// folder, whatever SetDefaultDllDirectories said.  They stay loaded for the
// life of the process.
void PreloadWindowingLibraries() noexcept;

// A function of a DLL of the system directory (LoadLibraryExA with
// LOAD_LIBRARY_SEARCH_SYSTEM32; a DLL that the activation context redirects,
// COMCTL32 version 6, comes from there).  The DLL stays loaded for the life
// of the process.  nullptr when the DLL or the function is missing.
void* SystemFunction(const char* dll, const char* function) noexcept;

} // namespace kestovan::win32
