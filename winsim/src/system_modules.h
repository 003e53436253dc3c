// The system DLLs a machine offers for lookup by name (LoadLibraryA + GetProcAddress).
#pragma once

#include <winsim/machine.h>

namespace winsim {

// Registers the simulated KERNEL32.DLL with the exports that version of Windows has.
HMODULE RegisterSystemModule(OsVersion version);
// Forgets it again, unless a test has already taken it away.
void UnregisterSystemModule(HMODULE module);

}  // namespace winsim
