// Process-wide state of the loaded library.
#pragma once

#include "kvisinst/common/win32.h"

// The library's own module handle, recorded at process attach: its string resources and its file
// name come from here.
HMODULE LibraryModule();

// Records that a queued installation needs a restart; NeedReboot answers 1 from then on.
void SetRebootNeeded();
