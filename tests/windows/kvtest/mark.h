// The trail that the installation tests read back: each step of an installation under test (an INF
// section's AddReg line, the runonce stand-in, the remote-test library) appends one string to the
// multi-string value HKCU "Software\KvInstallTest" "sequence", so that the test sees what ran and in
// which order. Win32 only: the stand-ins use it without the C++ library.
//
// The list ends at its first empty string, which is where SetupAPI's AddReg appends too (Wine's may
// leave a stray character after it).
#pragma once

#include <windows.h>

inline bool AppendMark(const char* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KvInstallTest", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    static char data[4096];
    DWORD size = sizeof(data) - 2, type = 0;
    if (RegQueryValueExA(key, "sequence", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        size = 0;
    data[size] = data[size + 1] = '\0';
    DWORD end = 0;
    while (data[end] != '\0') end += lstrlenA(data + end) + 1;
    const DWORD length = lstrlenA(text) + 1;
    bool written = false;
    if (end + length + 1 <= sizeof(data)) {
        lstrcpyA(data + end, text);
        data[end + length] = '\0';
        written = RegSetValueExA(key, "sequence", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data),
                                 end + length + 1) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return written;
}
