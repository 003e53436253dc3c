// The Win32 API as the simulated machine provides it: the SDK's names, types and constants, so that
// library code compiles unchanged against <windows.h> on Windows and against this header on Linux.
//
// How winsim's files are named (every file follows it; a new area finds its home by it):
//
//   API areas. The calls of one area of one system DLL are declared in
//   include/winsim/api/<dll>_<area>.h, implemented in src/<dll>_<area>.cpp and tested in
//   tests/winsim/<dll>_<area>_test.cpp: kernel32_files, advapi32_registry, advapi32_svc,
//   setupapi_devices, user32_ui, ... A simulated module that code loads by name and calls through
//   GetProcAddress (cfgmgr32) is an area like any other; its exports are its calls.
//
//   Machine state. What an area keeps for a machine lives in a class of its own, owned by the Machine
//   and reached from it (machine.Reg(), machine.Services(), machine.Devices(), machine.Dialogs(), ...).
//   The class is declared in include/winsim/<state>.h under a plain name (registry.h, services.h,
//   devices.h), implemented in src/<state>.cpp, and its machine-folder text form, when it has one, in
//   src/<state>_text.cpp; tests of the class itself are tests/winsim/<state>_test.cpp. The registry
//   is the model: registry.cpp (the key tree), advapi32_registry.cpp (the Reg*A calls),
//   registry_text.cpp (.reg text). winsim's own parts change state through these classes, never
//   through the simulated calls, which act on whichever machine is current.
//
//   Other parts of winsim (the machine, the handle table, drives, path checks, the INF reader, the
//   link file format, the system modules, the machine-folder text reader in text.h) keep a plain name
//   too: include/winsim/<part>.h when tests or tools use them, else src/<part>.h; src/<part>.cpp
//   implements them and tests/winsim/<part>_test.cpp tests them. The one exception is the module
//   table (loader.h), kept by kernel32_modules.cpp, whose calls are nothing but lookups in it. A
//   private header shared by the files of one area or part is src/<name>_internal.h.
#pragma once

#include <winsim/types.h>
#include <winsim/api/kernel32_system.h>
#include <winsim/api/kernel32_directories.h>
#include <winsim/api/kernel32_find.h>
#include <winsim/api/kernel32_files.h>
#include <winsim/api/kernel32_mappings.h>
#include <winsim/api/kernel32_processes.h>
#include <winsim/api/kernel32_format.h>
#include <winsim/api/kernel32_modules.h>
#include <winsim/api/kernel32_resources.h>
#include <winsim/api/kernel32_sync.h>
#include <winsim/api/kernel32_toolhelp.h>
#include <winsim/api/advapi32_registry.h>
#include <winsim/api/advapi32_svc.h>
#include <winsim/api/advapi32_security.h>
#include <winsim/api/user32_resources.h>
#include <winsim/api/user32_strings.h>
#include <winsim/api/user32_ui.h>
#include <winsim/api/user32_windows.h>
#include <winsim/api/setupapi_inf.h>
#include <winsim/api/setupapi_devices.h>
#include <winsim/api/setupapi_install.h>
#include <winsim/api/ole32_com.h>
#include <winsim/api/shell32_links.h>
#include <winsim/api/shell32_fileop.h>
#include <winsim/api/cfgmgr32_devices.h>
#include <winsim/api/crtdll_stdio.h>
#include <winsim/api/netapi32_server.h>
#include <winsim/api/shlwapi_registry.h>
#include <winsim/api/version_info.h>
