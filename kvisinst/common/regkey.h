// CRegKey: owns one open registry key. All results are Win32 status codes (ERROR_SUCCESS = 0).
#pragma once

#include "kvisinst/common/win32.h"

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    HKEY Handle() const { return key_; }
    operator HKEY() const { return key_; }

    // Closes the held key, if any, and returns that close's status; 0 and no call when empty.
    LONG Close();

    // RegOpenKeyExA(parent, name, 0, access). On success the previously held key is closed (the
    // result is that close's status) and the new key held; on failure the held key stays.
    LONG Open(HKEY parent, LPCSTR name, REGSAM access = KEY_READ | KEY_WRITE);

    // RegCreateKeyExA with reserved 0; the disposition goes through `disposition` when given. Held
    // key replaced as by Open, and kept on failure.
    LONG Create(HKEY parent, LPCSTR name, LPSTR className = nullptr, DWORD options = REG_OPTION_NON_VOLATILE,
                REGSAM access = KEY_READ | KEY_WRITE, LPSECURITY_ATTRIBUTES security = nullptr,
                LPDWORD disposition = nullptr);

    // Deletes the named subkey of the held key and everything below it, children before parents.
    // Stops at the first failure and returns it; what was deleted so far stays deleted.
    LONG RecurseDeleteKey(LPCSTR name);

private:
    HKEY key_ = nullptr;
};
