// kernel32: the current, Windows and system directories, file attributes, creating and removing
// directories, deleting files.
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>

#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_CURRENT_DIRECTORY 16L

// The file calls refuse a file's name written with a separator at its end ("C:\a.txt\") with
// ERROR_INVALID_NAME (a folder may be named so); a missing entry is ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND when what should hold it is missing or is no folder.
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
// A file held open by a handle that does not share deleting is a sharing violation; a read-only file
// or a folder is ERROR_ACCESS_DENIED. Deliberately less: a file deleted while a handle that allows it
// is open goes at once, where Windows keeps its name (refusing to open it) until the last handle closes.
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
