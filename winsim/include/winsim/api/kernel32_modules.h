// kernel32: loading modules by name and finding their exports and file names.
#pragma once

#include <winsim/types.h>

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// A loaded module is found by its base name; a DLL on disk by its path, or, for a bare name, in the
// program's folder, the current, system and Windows directory, in that order (".DLL" supplied when the
// name has no extension; PATH is not searched).
HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
