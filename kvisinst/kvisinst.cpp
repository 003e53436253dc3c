// Process attach and detach: the only state the library keeps between calls is set up here.
#include "kvisinst/common/module.h"
#include "kvisinst/exports.h"
#include "kvisinst/sysinfo/domain.h"
#include "kvisinst/trace/settings.h"

namespace {

// Set by a queue drain whose installation asked for a restart; only a new load clears it.
int g_rebootNeeded = 0;
HMODULE g_module = nullptr;

}  // namespace

HMODULE LibraryModule() { return g_module; }

void SetRebootNeeded() { g_rebootNeeded = 1; }

int NeedReboot() { return g_rebootNeeded; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        g_rebootNeeded = 0;
        ForgetNetworkLibraries();
        // The trace's name sets and mutex; its settings are read at the first traced call.
        TraceProcessAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        TraceProcessDetach();
    }
    return TRUE;
}
