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
#define ERROR_NOT_SAME_DEVICE 17L

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
// than read-only are not kept. Replacing or truncating a file with a view mapped fails with
// ERROR_USER_MAPPED_FILE.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL FlushFileBuffers(HANDLE file);

// Renames or moves a file or folder now or, with MOVEFILE_DELAY_UNTIL_REBOOT, deletes or renames a file
// at the next restart. Windows 95 and 98 do not have the call: it fails with
// ERROR_CALL_NOT_IMPLEMENTED there, whatever the arguments.
//
// Now: an existing target is replaced only with MOVEFILE_REPLACE_EXISTING (else ERROR_ALREADY_EXISTS),
// and never when it is a folder, read-only or held open (ERROR_ACCESS_DENIED); a folder may replace a
// file; a source held open
// without FILE_SHARE_DELETE gives ERROR_SHARING_VIOLATION; a file leaves its drive only with
// MOVEFILE_COPY_ALLOWED, a folder never (ERROR_NOT_SAME_DEVICE); a null newName is
// ERROR_INVALID_PARAMETER. The file keeps its short name when it keeps its long name.
//
// Delayed: the NT family appends the operation to "PendingFileRenameOperations" (REG_MULTI_SZ) under
// HKEY_LOCAL_MACHINE "SYSTEM\CurrentControlSet\Control\Session Manager" as a pair of paths made full
// and prefixed "\??\": the source, then the target, empty for a deletion (newName null) and with a '!'
// in front when MOVEFILE_REPLACE_EXISTING is given. Neither path is checked: Windows records a source
// that does not exist too. A caller that may not write there (Machine::Account::User) gets
// ERROR_ACCESS_DENIED; MOVEFILE_COPY_ALLOWED with it is ERROR_INVALID_PARAMETER.
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
// Copies a file's contents and attributes to newName. An existing target fails the copy with
// ERROR_FILE_EXISTS when failIfExists is set, else is replaced unless it is a folder, read-only or
// hidden (ERROR_ACCESS_DENIED); a folder as the source is ERROR_ACCESS_DENIED; the source held by a
// handle that does not share reading or that may delete it, or the target held open (or a copy onto
// the source itself), gives ERROR_SHARING_VIOLATION. Deliberately less: the copy's times are its own,
// not the source's, and a target held by a handle that shares writing still refuses the copy.
BOOL CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists);
// The 8.3 form of the full path of an existing file or folder, each long component replaced by the
// short name the machine keeps for it ("C:\PROGRA~1\KORVANE\QUILLE~1.DLL"); components that are valid
// 8.3 names keep their spelling on disk. Returns the length without the NUL; when size is too small
// the buffer is untouched and the return is the size needed, the NUL included. ERROR_FILE_NOT_FOUND
// when the last component is missing, ERROR_PATH_NOT_FOUND when a folder is. Deliberately less: a
// relative path gives the short form of its full path, where Windows keeps it relative.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
// Cuts or extends the file at the handle's position. The handle needs write access
// (ERROR_ACCESS_DENIED); cutting below the end of a mapping of the file that still has a view mapped
// fails with ERROR_USER_MAPPED_FILE, as it does on Windows (growing never does).
BOOL SetEndOfFile(HANDLE file);
