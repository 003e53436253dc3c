// kernel32: toolhelp snapshots of the machine's processes and threads (api/kernel32_toolhelp.h).
#include <winsim/win32api.h>

// Not yet simulated: every call fails as on a version without toolhelp.
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD, DWORD) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return INVALID_HANDLE_VALUE;
}
BOOL WINAPI Process32First(HANDLE, LPPROCESSENTRY32) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
BOOL WINAPI Process32Next(HANDLE, LPPROCESSENTRY32) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
BOOL WINAPI Thread32First(HANDLE, LPTHREADENTRY32) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
BOOL WINAPI Thread32Next(HANDLE, LPTHREADENTRY32) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
