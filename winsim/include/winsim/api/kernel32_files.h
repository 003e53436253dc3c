// kernel32: files (CreateFileA and the calls on a file handle).
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>


#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_NO_BUFFERING 0x20000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DISK_FULL 112L

struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

// Share modes are enforced between the handles of one process; handles that other host processes
// hold on the same machine folder are not seen. Overlapped (asynchronous) I/O is not simulated: a
// non-null OVERLAPPED is refused with ERROR_INVALID_PARAMETER. Attributes given at creation other
// than read-only are not kept.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL FlushFileBuffers(HANDLE file);

// Deletes or renames a file now or, with MOVEFILE_DELAY_UNTIL_REBOOT, at the next restart. The NT
// family records a delayed operation in "PendingFileRenameOperations" (REG_MULTI_SZ) under
// HKEY_LOCAL_MACHINE "SYSTEM\CurrentControlSet\Control\Session Manager" as pairs of "\??\"-prefixed
// paths, an empty target for a deletion and a '!' before the target when an existing file may be
// replaced; the restart (restart.h) carries them out. Windows 95 and 98 do not have the call: it
// fails with ERROR_CALL_NOT_IMPLEMENTED there.
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
// The 8.3 form of an existing path, each long component replaced by the short name the machine keeps
// for that file ("PROGRA~1").
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
// Cuts or extends the file at the handle's position.
BOOL SetEndOfFile(HANDLE file);
