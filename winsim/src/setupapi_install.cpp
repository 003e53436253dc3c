// setupapi: installing INF sections and the default file-queue callback.
#include <winsim/win32api.h>

BOOL SetupInstallFromInfSectionA(HWND, HINF, PCSTR, UINT, HKEY, PCSTR, UINT, PSP_FILE_CALLBACK_A, PVOID, HDEVINFO,
                                 PSP_DEVINFO_DATA) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

PVOID SetupInitDefaultQueueCallback(HWND owner) { return SetupInitDefaultQueueCallbackEx(owner, nullptr, 0, 0, nullptr); }

PVOID SetupInitDefaultQueueCallbackEx(HWND, HWND, UINT, DWORD, PVOID) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}

UINT SetupDefaultQueueCallbackA(PVOID, UINT, UINT_PTR, UINT_PTR) { return FILEOP_ABORT; }

void SetupTermDefaultQueueCallback(PVOID) {}
