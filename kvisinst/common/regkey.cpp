#include "kvisinst/common/handle.h"

LONG CRegKey::Open(HKEY parent, LPCSTR name, REGSAM access) {
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(parent, name, 0, access, &opened);
    if (status != ERROR_SUCCESS) return status;
    return Replace(opened);
}

LONG CRegKey::Create(HKEY parent, LPCSTR name, LPSTR className, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, LPDWORD disposition) {
    HKEY created = nullptr;
    DWORD what = 0;
    const LONG status = RegCreateKeyExA(parent, name, 0, className, options, access, security, &created, &what);
    if (status != ERROR_SUCCESS) return status;
    if (disposition) *disposition = what;
    return Replace(created);
}

LONG CRegKey::RecurseDeleteKey(LPCSTR name) {
    CRegKey key;
    LONG status = key.Open(Handle(), name, KEY_READ | KEY_WRITE);
    if (status != ERROR_SUCCESS) return status;

    // Always enumerate index 0: each child is gone before the next enumeration.
    constexpr DWORD kNameSize = 256;
    char child[kNameSize];
    DWORD size = kNameSize;
    while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        status = key.RecurseDeleteKey(child);
        if (status != ERROR_SUCCESS) return status;
        size = kNameSize;
    }
    key.Close();
    return RegDeleteKeyA(Handle(), name);
}
