// The Win32 API as the simulated machine provides it: the SDK's names, types and constants, so that
// library code compiles unchanged against <windows.h> on Windows and against this header on Linux.
// Each header under api/ declares one system DLL's share of the calls.
#pragma once

#include <winsim/types.h>
#include <winsim/api/kernel32.h>
#include <winsim/api/kernel32_io.h>
#include <winsim/api/kernel32_sync.h>
#include <winsim/api/directories.h>
#include <winsim/api/advapi32.h>
#include <winsim/api/advapi32_svc.h>
#include <winsim/api/user32.h>
#include <winsim/api/user32_ui.h>
#include <winsim/api/setupapi.h>
#include <winsim/api/setupapi_devices.h>
#include <winsim/api/ole32.h>
#include <winsim/api/shell32.h>
#include <winsim/api/cfgmgr32.h>
