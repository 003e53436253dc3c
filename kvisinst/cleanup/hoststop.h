// StopHost: ends the product's host process - the first process in a toolhelp snapshot whose
// executable name, lower-cased, contains "kvhost" - so that its files can be replaced or removed.
// The exports (plain and decorated, declared in kvisinst/exports.h and cleanup_decorated.cpp) both run
// RunStopHost.
//
// Steps:
//   1. "kernel32.dll" is loaded with LoadLibraryA and CreateToolhelp32Snapshot, Process32First,
//      Process32Next, Thread32First and Thread32Next looked up by name (NT 4 has none of them: 0);
//   2. the processes of a TH32CS_SNAPALL snapshot are walked to the first host (FindHostProcess);
//      none: TRUE;
//   3. the host is opened with PROCESS_ALL_ACCESS and the threads of a TH32CS_SNAPTHREAD snapshot are
//      walked: WM_QUIT is posted to each of the host's threads, up to 10 attempts with 100 ms after
//      each failed one (a thread without a message queue, or one that has gone, is left alone);
//   4. the host is waited for 60000 ms; when the wait ends any other way than with its end it is
//      terminated (exit code 0) and the result is TerminateProcess's, otherwise TRUE.
// The whole operation runs under the fault guard (CallGuarded) and catches raised errors: a host that
// cannot be opened or a thread snapshot that cannot be taken (raised as the last error), any other
// exception and any processor fault give 0. Every handle and the library are released on every path
// by holders that live outside the guarded part. Nothing is traced.
//
// The search for the host (LoadProcessWalk, FindHostProcess) is shared with the installation's wait for
// the host's end (WaitForHostExit, kvisinst/install/infinstall.h).
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/common/win32.h"

int RunStopHost();

// The toolhelp process walk, looked up by name in kernel32.dll.
typedef HANDLE(WINAPI* CreateSnapshotProc)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkProc)(HANDLE, PROCESSENTRY32*);
struct CProcessWalk {
    CreateSnapshotProc createSnapshot;
    ProcessWalkProc first;
    ProcessWalkProc next;
};

// Loads "kernel32.dll" into `kernel` and looks up CreateToolhelp32Snapshot, Process32First and
// Process32Next. False when the library or one of them is missing (Windows NT 4).
bool LoadProcessWalk(CLibrary& kernel, CProcessWalk* walk);

// Takes a snapshot of every kind (TH32CS_SNAPALL) into `snapshot`, replacing what it held, and walks
// its processes to the first host. True with the host's id in *hostId; false when none is listed or
// the snapshot cannot be taken. The snapshot stays held for the caller to discard.
bool FindHostProcess(const CProcessWalk& walk, CFileHandle& snapshot, DWORD* hostId);
