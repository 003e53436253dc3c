// Processes. Not yet simulated: declared so that code using them builds.
#include <winsim/win32api.h>

BOOL CreateProcessA(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                    LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}
BOOL GetExitCodeProcess(HANDLE, LPDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
BOOL TerminateProcess(HANDLE, UINT) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
