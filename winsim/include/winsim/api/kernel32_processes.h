// kernel32: processes - CreateProcessA of the programs the machine has (processes.h), their exit codes.
// A process handle is waitable (WaitForSingleObject), and waiting on it advances the machine's clock;
// so is the thread handle, whose one thread ends with its process.
#pragma once

#include <winsim/types.h>
#include <winsim/api/advapi32_registry.h>

#define STILL_ACTIVE 259
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_POSSIBLE_DEADLOCK 1131L
#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NO_WINDOW 0x08000000
#define NORMAL_PRIORITY_CLASS 0x00000020
#define STARTF_USESHOWWINDOW 0x00000001
#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_ALL_ACCESS 0x001F0FFF

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// The program is applicationName (a full or relative path, taken as given: no extension is added, no
// folder searched), or else the first word of commandLine (quoted, or the shortest run up to a blank
// that names a file; ".exe" added when it has no extension; a bare name looked for in the setup
// program's folder, the current, system and Windows directory). The program sees commandLine exactly
// as given (applicationName when there is none). A missing file: ERROR_FILE_NOT_FOUND; a file the
// machine does not describe as a program: ERROR_BAD_EXE_FORMAT. Flags, environment, current directory
// and start-up information are accepted and not simulated; a null startupInfo or processInformation
// (where Windows would fault) gives ERROR_INVALID_PARAMETER.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE while the process runs.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// FALSE with ERROR_ACCESS_DENIED once the process has ended.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// A handle to a running process of the machine, for WaitForSingleObject, GetExitCodeProcess,
// TerminateProcess and CloseHandle. ERROR_INVALID_PARAMETER for an id that is no running simulated
// process; the calling program's own id (GetCurrentProcessId) is none, so it fails too. On the NT
// family the caller's account (Machine::CallerAccount) is checked against the account that runs the
// process: the same account or LocalSystem may have anything; an ordinary user has only
// PROCESS_QUERY_INFORMATION and SYNCHRONIZE of a process of an administrator or of LocalSystem; an
// administrator has no PROCESS_TERMINATE or PROCESS_VM_* (so no PROCESS_ALL_ACCESS) of a LocalSystem
// process, as without the debug privilege, which is not simulated. Otherwise ERROR_ACCESS_DENIED. The
// handle then allows only what it was opened for (a wait needs SYNCHRONIZE, GetExitCodeProcess
// PROCESS_QUERY_INFORMATION, TerminateProcess PROCESS_TERMINATE). Windows 95/98 check nothing.
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
