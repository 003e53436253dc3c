// Linked into every host build of a DLL: plays the Windows loader's part at load and unload, so that
// the library's own DllMain runs on Linux exactly as it does on Windows - once with
// DLL_PROCESS_ATTACH when the shared object is loaded, once with DLL_PROCESS_DETACH when it goes.
#include <winsim/loader.h>
#include <winsim/win32api.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
extern const unsigned char kvisinst_resources[];
extern const size_t kvisinst_resources_size;
extern const winsim::ExportEntry kvisinst_exports[];

namespace {

HMODULE g_self = nullptr;

__attribute__((constructor)) void AttachToProcess() {
    winsim::ModuleImage image;
    image.fileName = winsim::PendingLibraryName();
    if (image.fileName.empty()) image.fileName = "KVISINST.DLL";
    image.exports = kvisinst_exports;
    image.resources = kvisinst_resources;
    image.resourcesSize = kvisinst_resources_size;
    g_self = winsim::RegisterModule(image);
    DllMain(reinterpret_cast<HINSTANCE>(g_self), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void DetachFromProcess() {
    DllMain(reinterpret_cast<HINSTANCE>(g_self), DLL_PROCESS_DETACH, nullptr);
    winsim::UnregisterModule(g_self);
    g_self = nullptr;
}

}  // namespace
