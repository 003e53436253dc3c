// kernel32: creating and removing directories, deleting files.
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32.h>

#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_CURRENT_DIRECTORY 16L

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);
