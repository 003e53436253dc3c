// Runs a scenario on the machine the program runs on, through the Win32 API alone: on a real Windows
// (kvscenario.exe, the real KVISINST.DLL beside it) or on the current simulated machine (kvsim
// scenario, the host-built library mapped as KVISINST.DLL). The dump it writes is the same text on
// both for the same outcome.
#pragma once

#include "kvisinst/common/win32.h"
#include "tools/scenario/scenario.h"

#include <string>

namespace scenario {

// Sets the starting state up, makes the calls with the library loaded once (LoadLibraryA
// "KVISINST.DLL", each export by its name), and writes what the capture lines ask for into `dump`.
// False with "line N: reason" when a state line cannot be carried out or the library cannot be
// loaded; a call that fails is part of the dump, not an error.
bool RunScenario(const Scenario& scenario, std::string* dump, std::string* error);

// The machine's folders for the path tokens (GetWindowsDirectoryA, GetSystemDirectoryA, the
// registry's ProgramFilesDir and "Common Programs" shell folder).
PathTokens MachineTokens();

// 0x%08lX.
std::string Hex32(unsigned long value);

// Text in double quotes: quotes, control characters and bytes above 0x7E as \xHH.
std::string Quoted(const std::string& text);

// Deletes a registry key and everything below it; a missing key is no fault.
LONG DeleteTree(HKEY parent, const std::string& sub);

// Writes a file whole (its folders made first); DeleteFolderTree removes a folder and all below it.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool DeleteFolderTree(const std::string& path);

// FNV-1a, 32 bits: the short hash the dump gives a file's contents.
unsigned Fnv1a(const std::string& bytes);

// A registry value's data as the dump writes it: text quoted (a NUL ending it dropped, control
// characters and quotes as \xHH), a DWORD as 0x%08X, multi-strings as quoted items joined by ", ",
// anything else as hex bytes (more than 32 cut, with the size and hash).
std::string ValueText(unsigned long type, const std::string& bytes, const PathTokens& tokens);

}  // namespace scenario
