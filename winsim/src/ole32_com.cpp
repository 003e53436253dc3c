// ole32: COM apartments of each thread, and CoCreateInstance over the classes the simulated machine
// serves in-process.
//
// Deliberately less than Windows: classes are not looked up under HKEY_CLASSES_ROOT\CLSID; the
// shell's link object is built in, as it is on every Windows version the library meets. There are
// no proxies: an object made on a multithreaded apartment is used directly.
#include "ole32_com_internal.h"

#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <atomic>
#include <cstdlib>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// The apartment of the calling thread: how many initialisations are outstanding and of which kind.
struct Apartment {
    int count = 0;
    bool multithreaded = false;
};
thread_local Apartment t_apartment;

std::atomic<size_t> g_liveObjects{0};

}  // namespace

namespace winsim {

void ComObjectCreated() { ++g_liveObjects; }
void ComObjectDestroyed() { --g_liveObjects; }
size_t LiveComObjects() { return g_liveObjects; }
int ComInitializations() { return t_apartment.count; }

}  // namespace winsim

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (reserved) return E_INVALIDARG;
    const bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
    // A thread keeps the concurrency model of its first initialisation until the last uninitialise;
    // asking for the other one is refused and does not count.
    if (t_apartment.count > 0) {
        if (t_apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
        ++t_apartment.count;
        return S_FALSE;
    }
    t_apartment.count = 1;
    t_apartment.multithreaded = multithreaded;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
    // An unbalanced call does nothing, as on Windows.
    if (t_apartment.count > 0) --t_apartment.count;
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (t_apartment.count == 0) return CO_E_NOTINITIALIZED;
    if (IsEqualGUID(classId, CLSID_ShellLink)) {
        // The link object is an in-process server and cannot be aggregated.
        if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* link = winsim::CreateShellLinkObject();
        const HRESULT hr = link->QueryInterface(riid, object);
        link->Release();
        return hr;
    }
    return REGDB_E_CLASSNOTREG;
}

LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(LPVOID block) { std::free(block); }
