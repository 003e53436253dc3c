// kernel32: mutexes and waits, thread and process ids, local time, debugger presence.
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define ERROR_NOT_OWNER 288L

#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | MUTEX_MODIFY_STATE)

// Named mutexes are shared by every host process that runs on the same machine folder; a thread that
// ends, or a process that dies, while owning one leaves it abandoned, and the next wait that gets it
// (one already waiting, or the first to come) returns WAIT_ABANDONED and owns it, as on Windows. The
// host's kernel notices the owner's end, a SIGKILL included (each named mutex is a robust,
// process-shared mutex in a file of the machine folder), so the dying process need not do anything.
// Names are case-sensitive, as on Windows; the "Global\" and "Local\" namespaces are not told apart
// from other names. A machine folder holds at most 128 named objects at once.
// A process that dies without closing its handles lets them go, as Windows closes a dead process's
// handles, but only when some process next creates or opens a named object (and, past 16 processes
// holding one name, not at all). Handles that a process inherits by fork (not a Windows operation)
// are not counted: the parent must keep its own open while a forked child uses the mutex.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
// A wait with a finite time-out on an object that a real thread holds passes real time (only another
// thread or process can release it), and then the same time on the machine's clock.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// The pseudo-handles (HANDLE)-2 and (HANDLE)-1 that stand for the calling thread and process.
HANDLE GetCurrentThread();
HANDLE GetCurrentProcess();

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;
typedef SYSTEMTIME* PSYSTEMTIME;

// Both read the machine's clock: the machine starts at midnight on 17 February 2000 and runs by its
// virtual clock. Local time is Coordinated Universal Time (no time zones are simulated).
void GetLocalTime(LPSYSTEMTIME time);
void GetSystemTime(LPSYSTEMTIME time);

// Exported by the simulated KERNEL32.DLL from Windows 98 and NT 4 on; a library finds it with
// GetProcAddress, as it must on Windows 95.
BOOL IsDebuggerPresent();
