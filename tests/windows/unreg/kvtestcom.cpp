// kvtestcom: a COM library whose self-unregistration does one thing a test can see: it deletes
// HKCU\Software\KvTest\<its own file name>. One build copied under several names stands for several
// libraries.
#include <windows.h>

namespace {
HMODULE g_self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    char path[MAX_PATH] = {};
    if (!GetModuleFileNameA(g_self, path, MAX_PATH)) return E_FAIL;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    char key[MAX_PATH + 20] = "Software\\KvTest\\";
    lstrcatA(key, name);
    return RegDeleteKeyA(HKEY_CURRENT_USER, key) == ERROR_SUCCESS ? S_OK : E_FAIL;
}
