// kvtestregtlib: stands in for the system's regtlib.exe (a test copies it into the system directory
// under that name). It records each command line it is started with as one more line of the value
// HKCU\Software\KvTest "regtlib", so that a test sees every call in order.
#include <windows.h>

int main() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KvTest", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 1;
    static char lines[8192];
    DWORD size = sizeof(lines) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, "regtlib", nullptr, &type, reinterpret_cast<BYTE*>(lines), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        lines[0] = '\0';
    const char* commandLine = GetCommandLineA();
    if (lstrlenA(lines) + lstrlenA(commandLine) + 2 < static_cast<int>(sizeof(lines))) {
        lstrcatA(lines, commandLine);
        lstrcatA(lines, "\n");
    }
    const LONG status =
        RegSetValueExA(key, "regtlib", 0, REG_SZ, reinterpret_cast<const BYTE*>(lines), lstrlenA(lines) + 1);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}
