// The functions KVISINST.DLL exports, as a setup program sees them. kvisinst.def (32-bit) and
// kvisinst-x64.def (the 64-bit test build) map each exported name, plain or decorated, to these.
#pragma once

#include "kvisinst/common/win32.h"

// 1 once a queued installation has asked for a restart in this process, else 0.
KVISINST_EXPORT int NeedReboot();

// ---- Services and drivers from the INF (kvisinst/inf/service.h, servicelist.h) ----

// The action, 32 bits wide as callers pass it; any other value is valid and does nothing.
enum tagSERVICE_CONTROL : int {
    SVC_START = 0,   // start the service
    SVC_STOP = 1,    // stop it, and its running dependents if they are in the way
    SVC_CREATE = 2,  // create it
    SVC_DELETE = 3,  // mark it for deletion
};

// Runs `action` on the service described by `section` of the open INF `inf`. Returns S_OK or E_FAIL
// only. Stopping or deleting a service that does not exist, stopping one that is not running and
// deleting one already marked for deletion succeed; starting one that runs fails. A stop waits up to
// 100 polls of 100 ms for the service to stop and succeeds even when it has not. An action outside
// 0..3 does nothing and succeeds.
//
// Not the system's ControlService(SC_HANDLE, DWORD, LPSERVICE_STATUS), which it calls as
// ::ControlService to send the stop request.
KVISINST_EXPORT LONG ControlService(void* inf, const char* section, tagSERVICE_CONTROL action);

// install nonzero: create then start every service of `section` (default "InstallDevices"); the
// start's result counts. install zero: stop then delete them (default "UnInstallDevices" if the INF
// has it in some form, else "InstallDevices"); the deletion's result counts.
KVISINST_EXPORT LONG InstallDrivers(void* inf, int install, const char* section);

// stop nonzero: stop every service of `section` (default as for removal above). stop zero: start
// them (default "InstallDevices").
KVISINST_EXPORT LONG StopServices(void* inf, int stop, const char* section);

// The same walks on an INF given by path (opened as SetupAPI resolves the path, INF_STYLE_WIN4) with
// the default lists: E_INVALIDARG when the INF cannot be opened.
extern "C" KVISINST_EXPORT LONG WINAPI SetupInstallDrivers(LPCSTR infPath);    // InstallDrivers(inf, 1)
extern "C" KVISINST_EXPORT LONG WINAPI SetupUnInstallDrivers(LPCSTR infPath);  // InstallDrivers(inf, 0)
extern "C" KVISINST_EXPORT LONG WINAPI SetupStopServices(LPCSTR infPath);      // StopServices(inf, 1)
