// The functions KVISINST.DLL exports, as a setup program sees them. kvisinst.def (32-bit) and
// kvisinst-x64.def (the 64-bit test build) map each exported name, plain or decorated, to these.
#pragma once

#include "kvisinst/common/win32.h"

// 1 once a queued installation has asked for a restart in this process, else 0.
KVISINST_EXPORT int NeedReboot();

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
// cannot be read, a path over 259 characters - leaves the folder and its shortcuts alone: adding
// reports why, removing returns 0.
KVISINST_EXPORT LONG AddRemoveShortcut(void* inf, const char* folderSection, const char* folderTemplate, int install);

// ---- The reader's devices (kvisinst/devices/devices.h) ----

// Removes every device node whose first hardware ID belongs to the reader, present or not, and on
// Windows 95 the reader's leftovers under "Enum\USB" and their driver keys; nothing on NT 4. Always 1.
extern "C" KVISINST_EXPORT int RemoveDevices();

// On Windows 95/98 has the product's support library rebuild its driver database; then, on every
// version that has cfgmgr32.dll, re-enumerates the device tree from its root and waits for the end.
extern "C" KVISINST_EXPORT void ReEnumerateDevices();
