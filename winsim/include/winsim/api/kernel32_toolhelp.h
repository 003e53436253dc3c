// kernel32: the toolhelp snapshot of processes and threads. Windows 95, 98, 2000 and XP export these
// from KERNEL32.DLL; NT 4 does not, so a program that wants them looks them up by name
// (GetProcAddress) and lives without them there. The simulated KERNEL32.DLL offers them exactly on
// the versions that have them; the functions below are what its export table points at.
//
// A snapshot lists the calling program's own process (first, as the system's processes come first
// on Windows) and then every process of the machine still running when it is taken, in the order
// started; later changes do not show in it. szExeFile is the full path on 95/98 and the file name
// alone on the NT family; cntThreads counts the process's threads; th32ParentProcessID is the calling
// program's id for the processes of the machine (which the calling program, or one before it,
// started) and 0 for its own. A thread snapshot lists every thread of every listed process, main
// thread first, whatever process id is asked for, as Windows does. Heaps and modules are not
// simulated: TH32CS_SNAPHEAPLIST and TH32CS_SNAPMODULE add nothing.
#pragma once

#include <winsim/types.h>

#define TH32CS_SNAPHEAPLIST 0x00000001
#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPTHREAD 0x00000004
#define TH32CS_SNAPMODULE 0x00000008
#define TH32CS_SNAPALL (TH32CS_SNAPHEAPLIST | TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD | TH32CS_SNAPMODULE)
#define ERROR_NO_MORE_FILES 18L
#define ERROR_BAD_LENGTH 24L

struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    CHAR szExeFile[260];
};
typedef PROCESSENTRY32* LPPROCESSENTRY32;

struct THREADENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ThreadID;
    DWORD th32OwnerProcessID;
    LONG tpBasePri;
    LONG tpDeltaPri;
    DWORD dwFlags;
};
typedef THREADENTRY32* LPTHREADENTRY32;

// INVALID_HANDLE_VALUE on failure. The handle is closed with CloseHandle.
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// FALSE with ERROR_BAD_LENGTH when dwSize is smaller than the record, ERROR_NO_MORE_FILES at the end,
// ERROR_INVALID_HANDLE for a handle that is no snapshot.
BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL WINAPI Thread32First(HANDLE snapshot, LPTHREADENTRY32 entry);
BOOL WINAPI Thread32Next(HANDLE snapshot, LPTHREADENTRY32 entry);
