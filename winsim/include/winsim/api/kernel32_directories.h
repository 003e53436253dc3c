// kernel32: the current, Windows and system directories, file attributes, creating and removing
// directories, deleting files.
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>

#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_CURRENT_DIRECTORY 16L

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetFileAttributesA(LPCSTR path);
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define FILE_ATTRIBUTE_SYSTEM 0x4
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
// Keeps FILE_ATTRIBUTE_READONLY of a file (as the host file's owner-write permission, which
// GetFileAttributesA reads); any set without it, FILE_ATTRIBUTE_NORMAL among them, clears it. Other
// attributes, and read-only on a folder, are accepted and not kept. A missing entry gives
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when its folder is missing too.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
