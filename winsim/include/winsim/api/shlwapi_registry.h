// shlwapi: the registry helpers of the shell's lightweight utility library. Not declared here: the
// library loads SHLWAPI.DLL by name, since only machines with Internet Explorer 4 or later have it
// (Machine::SetInternetExplorerInstalled), and looks SHDeleteKeyA up with GetProcAddress (the
// simulated module is src/shlwapi_registry.cpp). Nothing is declared; this says what the call is.
#pragma once

#include <winsim/types.h>

// SHDeleteKeyA(HKEY key, LPCSTR subKey) returns a DWORD: ERROR_SUCCESS, or the registry's status
// (ERROR_FILE_NOT_FOUND when the key does not exist, ERROR_ACCESS_DENIED where the key's rules forbid).
