// The functions KVISINST.DLL exports, as a setup program sees them. kvisinst.def (32-bit) and
// kvisinst-x64.def (the 64-bit test build) map each exported name, plain or decorated, to these.
#pragma once

#include "kvisinst/common/win32.h"

// ---- Installation from the INF and the registry install queue (kvisinst/install/) ----

// Installs (install nonzero) or removes the product as the INF `inf` in `sourceDir` (null: the running
// program's folder) describes it: prepares the machine, installs `preSection`, `section` (null:
// "DefaultInstall") and, after the system's runonce, `postSection`, each in its platform form, then the
// services and shortcuts. 0; 1 when a file operation waits for the next restart; E_INVALIDARG when the
// INF cannot be opened (or its path does not fit in MAX_PATH); E_OUTOFMEMORY without SetupAPI's default
// queue callback; E_UNEXPECTED when runonce cannot be started or the post-section fails. The process's
// current directory is the source directory while it runs, and is restored. See install/infinstall.h.
KVISINST_EXPORT LONG InstallFromINF(char* inf, int install, char* sourceDir, char* section, char* preSection,
                                    char* postSection);

// Runs and deletes every request queued under HKEY_LOCAL_MACHINE "Software\Korvane\Install\Add"
// (add nonzero) or "...\Remove", recording the failed ones under its "Failed" subkey. With nothing
// queued for installation it is a pure uninstall: the product's logon integration goes first and its
// whole "Software\Korvane" tree last. After an Add drain without failures the devices are
// re-enumerated and the installed product's remote test is run. The last failure's HRESULT, else 1
// when a restart is needed, else 0. See install/queue.h.
KVISINST_EXPORT LONG InstallFromRegistry(int add);

// Drains the Remove queue, then the Add queue: E_UNEXPECTED when either failed, else 1 when either
// needs a restart, else 0.
KVISINST_EXPORT LONG InstallUninstall();

// The same two drains as a rundll32 entry point: the arguments are not used, nothing is returned.
KVISINST_EXPORT void WINAPI VoidInstallUninstall(HWND window, HINSTANCE instance, unsigned short* commandLine,
                                                 int show);

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

// ---- Start-menu shortcuts from the INF (kvisinst/shortcuts/shortcuts.h) ----

// Creates (install nonzero) or removes the Start-menu folders listed in the folder-list section, each
// with its shortcuts, through AddRemoveShortcut. The list is `section` when given; otherwise
// "AddShortcuts" to create, and to remove "RemoveShortcuts" when the INF has it in some form, else
// "AddShortcuts"; its platform form is used. Always 0.
KVISINST_EXPORT LONG InstallShortcuts(void* inf, int install, const char* section);

// Creates or removes one folder and the shortcuts its INF section lists. The folder is the template
// with each "<name>" replaced by that "Shell Folders" value ("Common ..." names from
// HKEY_LOCAL_MACHINE, others from HKEY_CURRENT_USER); a null or empty template means
// "<Common Programs>\<folder section>". Adding returns the HRESULT of the last line's last link step
// (the COM initialisation's result for a section without lines); removing returns the COM
// initialisation's result. A template that cannot be expanded - a '<' without its '>', a value that
// cannot be read, a path over 259 characters - or a null or empty folder section leaves the folder
// and its shortcuts alone: adding reports why, removing returns 0.
KVISINST_EXPORT LONG AddRemoveShortcut(void* inf, const char* folderSection, const char* folderTemplate, int install);

// ---- The reader's devices (kvisinst/devices/devices.h) ----

// Removes every device node whose first hardware ID belongs to the reader, present or not, and on
// Windows 95 the reader's leftovers under "Enum\USB" and their driver keys; nothing on NT 4. Always 1.
extern "C" KVISINST_EXPORT int RemoveDevices();

// On Windows 95/98 has the product's support library rebuild its driver database; then, on every
// version that has cfgmgr32.dll, re-enumerates the device tree from its root and waits for the end.
extern "C" KVISINST_EXPORT void ReEnumerateDevices();

// ---- Removal of earlier editions (kvisinst/cleanup/cleanup.h) ----

// Takes off what earlier editions left before `edition` ("QUILLEXPRO103", "ORVELINTEGRATOR203",
// "ORVELSDK203"; another or null runs only the steps common to all) is installed: unregisters their COM
// servers, schedules their files for deletion at the next restart, removes their registry trees and
// uninstall entries. Always 1. Exported under this plain name and as the decorated
// `int __stdcall CleanUp(char *)`, which behave the same.
extern "C" KVISINST_EXPORT int WINAPI CleanUp(char* edition);

// ---- The host process and the private-space companion (kvisinst/cleanup/hoststop.h) ----
// Ends the product's host process (the first whose executable name contains "kvhost"): posts WM_QUIT
// to each of its threads, waits up to 60 s, then terminates it. Nonzero when no host runs or it has
// ended; 0 when the toolhelp functions are missing (Windows NT 4), the host cannot be opened, or it
// cannot be terminated. The argument is not used. Exported under this plain name and as the
// decorated `int __cdecl StopHost(char const *)`.
extern "C" KVISINST_EXPORT int StopHost(const char* unused);
// Unregisters the private-space companion's three program files in `directory` and schedules them
// for deletion at the next restart. Always 1. Plain and decorated `int __stdcall CleanUpPS(char *)`.
extern "C" KVISINST_EXPORT int WINAPI CleanUpPS(char* directory);
// Schedules "kvauthsv.dll" of the private-space companion's folder (found through its uninstall
// entry) for deletion at the next restart.
extern "C" KVISINST_EXPORT void ClearPrivateSpace();

// ---- Logon hooks of earlier editions (kvisinst/logon/logon.h) ----
// Removes the earlier editions' logon hooks: on the NT family a "GinaDll" naming KVGINA.DLL, after
// warning the user (who may cancel) when another logon library is configured; on Windows 95/98 the
// network and password providers. 1 when the user cancelled, else 0.
extern "C" KVISINST_EXPORT int UnregSystemStuff();

// ---- Questions about the machine (kvisinst/sysinfo/domain.h, version.h) ----
// 1 when the machine is a primary or backup domain controller (its local server information record,
// level 102, 101 or 1, has SV_TYPE_DOMAIN_CTRL or SV_TYPE_DOMAIN_BAKCTRL), else 0. 0 at once off the
// NT family, loading nothing; 0 when no record can be read or released.
extern "C" KVISINST_EXPORT int IsDomainController();
// The installed service pack's number, from the CSD version's "Service Pack n"; 0 when there is none.
extern "C" KVISINST_EXPORT int GetServicePackNumber();
// 1 when "KVGina.dll" or "KVNP.dll" (found as the system finds libraries) has the product version
// "RC 1.0.33, February 3rd, 2000", byte for byte, else 0. Traces "IT IS!" or "IT IS NOT!".
extern "C" KVISINST_EXPORT int IsVer100();
