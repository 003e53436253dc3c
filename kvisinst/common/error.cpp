#include "kvisinst/common/error.h"

HRESULT HResultFromStatus(LONG status) {
    // Facility bits mean the status is already an HRESULT.
    if (static_cast<DWORD>(status) & 0x1FFF0000) return status;
    return static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(status) & 0xFFFF));
}

void RaiseWin32Error(LONG status) { throw CWin32Error(HResultFromStatus(status)); }

void CheckStatus(LONG status) {
    if (static_cast<DWORD>(status) & 0x1FFF0000) {
        if (status < 0) throw CWin32Error(status);
        return;
    }
    if (status != 0) RaiseWin32Error(status);
}

void RaiseLastError() {
    const DWORD error = GetLastError();
    if (error == 0) throw CWin32Error(E_FAIL);
    RaiseWin32Error(static_cast<LONG>(error));
}
