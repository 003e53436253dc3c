// The library's one window on the operating system. Library code calls Win32 by its ANSI names and
// includes nothing else platform-specific: on Windows this is the SDK, on Linux the simulated
// machine (winsim), which declares the same names with the same types.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <setupapi.h>
// Types only: the toolhelp functions are looked up by name, since Windows NT 4 lacks them.
#include <tlhelp32.h>
// Types and constants only: cfgmgr32.dll is loaded by name, never imported.
#include <cfgmgr32.h>
// Types and constants only: netapi32.dll is loaded by name, never imported.
#include <lmcons.h>
#include <lmerr.h>
#include <lmserver.h>
#define KVISINST_EXPORT
#else
#include <winsim/win32api.h>
// Windows exports by the .def list; the host shared object by symbol visibility.
#define KVISINST_EXPORT __attribute__((visibility("default")))
#endif
