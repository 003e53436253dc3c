// kernel32: file mappings (CreateFileMappingA on a file handle, and views of them).
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>

#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
#define ERROR_FILE_INVALID 1006L
#define ERROR_MAPPED_ALIGNMENT 1132L
#define ERROR_USER_MAPPED_FILE 1224L

#define ERROR_INVALID_ADDRESS 487L

// A mapping of a file opened with CreateFileA. PAGE_READONLY needs a handle that reads, PAGE_READWRITE
// one that reads and writes (ERROR_ACCESS_DENIED). A size of 0 is the file's size, and an empty file
// cannot be mapped so (ERROR_FILE_INVALID). A size larger than the file grows the file to it (the new
// bytes are zero) for PAGE_READWRITE, and is ERROR_NOT_ENOUGH_MEMORY for PAGE_READONLY. The mapping
// keeps the file open: closing the file handle leaves it usable. Not simulated: mappings backed by the
// paging file (INVALID_HANDLE_VALUE fails with ERROR_CALL_NOT_IMPLEMENTED) and names (ignored).
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name);
// A view of `bytes` (0: up to the mapping's end) from `offset`, a multiple of 64 KiB
// (ERROR_MAPPED_ALIGNMENT), within the mapping (ERROR_ACCESS_DENIED). FILE_MAP_WRITE needs a
// PAGE_READWRITE mapping; writes reach the file. FILE_MAP_COPY gives a private copy. A view stays
// valid after the mapping's handle is closed, until UnmapViewOfFile.
LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
// Any address inside a view unmaps the whole view; another address is ERROR_INVALID_ADDRESS.
BOOL UnmapViewOfFile(LPCVOID address);
