// File mappings. Not yet simulated: declared so that code using them builds.
#include <winsim/win32api.h>

HANDLE CreateFileMappingA(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}
BOOL UnmapViewOfFile(LPCVOID) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
