// kvtestfault: a COM library whose self-unregistration writes through a null pointer, as a broken
// library of another vendor would: an access violation inside a foreign module.
#include <windows.h>

// Volatile, so that the compiler cannot see the null and put a trap instruction in the store's place.
int* volatile g_nowhere = nullptr;

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    *g_nowhere = 1;
    return S_OK;
}
