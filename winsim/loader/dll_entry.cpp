// Linked into every host build of a DLL: plays the Windows loader's part at load and unload, so that
// the library's own DllMain runs on Linux exactly as it does on Windows - once with
// DLL_PROCESS_ATTACH when the shared object is loaded, once with DLL_PROCESS_DETACH when it goes. A
// program that links the library in rather than loading it sees it attach to each machine it makes
// current (winsim::AddLinkedLibrary).
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
extern const unsigned char kvisinst_resources[];
extern const size_t kvisinst_resources_size;
extern const winsim::ExportEntry kvisinst_exports[];

namespace {

HMODULE g_self = nullptr;
bool g_attached = false;

void Attach() {
    if (g_attached) return;
    g_attached = true;
    DllMain(reinterpret_cast<HINSTANCE>(g_self), DLL_PROCESS_ATTACH, nullptr);
}

void Detach() {
    if (!g_attached) return;
    DllMain(reinterpret_cast<HINSTANCE>(g_self), DLL_PROCESS_DETACH, nullptr);
    g_attached = false;
}

__attribute__((constructor)) void AttachToProcess() {
    winsim::ModuleImage image;
    image.fileName = winsim::PendingLibraryName();
    const bool loadedByName = !image.fileName.empty();
    if (!loadedByName) image.fileName = "KVISINST.DLL";
    image.exports = kvisinst_exports;
    image.resources = kvisinst_resources;
    image.resourcesSize = kvisinst_resources_size;
    g_self = winsim::RegisterModule(image);
    if (loadedByName) {
        Attach();
    } else {
        // Linked into the program: there is no machine yet while the program starts, so the library
        // attaches to each machine the program makes current.
        winsim::AddLinkedLibrary(&Attach, &Detach);
        if (winsim::HasCurrent()) Attach();
    }
}

__attribute__((destructor)) void DetachFromProcess() {
    Detach();
    winsim::UnregisterModule(g_self);
    g_self = nullptr;
}

}  // namespace
