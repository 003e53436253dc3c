// Which Windows family the library runs on, and which platform form of an INF section it uses.
#pragma once

#include "kvisinst/common/win32.h"

enum OsClass {
    OS_UNKNOWN = 0,  // version query failed, NT older than 4, any other platform
    OS_WIN95 = 1,    // platform 1, version 4.0 or below
    OS_WIN98 = 2,    // platform 1, above 4.0 (98, ME)
    OS_NT4 = 3,      // platform 2, major version 4
    OS_WIN2000 = 4,  // platform 2, major version above 4
};

// Asks the system on every call; nothing is cached.
int GetOsClass();

// Section names, with or without their platform suffix, fit in this many characters with the NUL.
constexpr int kSectionNameSize = 260;

// Writes to `out` (kSectionNameSize characters; may be the same buffer as `base`) the name of the
// section to use: `base` with the suffix of the running system (".win95", ".win98", ".ntx86",
// ".nt5x86") when the INF has a section of that name, even an empty one; otherwise `base` itself.
// There is no other fallback: Windows 2000 never uses ".ntx86".
void GetPlatformSection(HINF inf, LPCSTR base, LPSTR out);
