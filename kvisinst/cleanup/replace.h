// Replace-on-reboot: a file's deletion or renaming scheduled for the next restart.
#pragma once

#include "kvisinst/common/win32.h"

// Schedules `existing` to be deleted (newName null) or moved to newName at the next restart, after
// clearing its read-only attribute. Traced under its own name.
//
// First through MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT), which the NT family has; where that fails
// (always on Windows 95/98, where it is a stub) through WinInit.Ini in the Windows directory: the line
// "<newName or NUL>=<short form of existing>\r\n" (newName as given, not shortened) is added to its
// "[rename]" section, edited in place through one file mapping of the old size + the line + 12 bytes
// (AddWinInitRenameLine, wininit.h) and cut to its exact new size. A missing WinInit.Ini is created.
//
// FALSE, with the file left as it was, when: the file cannot be opened exclusively (then no trace
// message either); the line would exceed its bounded buffer; the file is 4 GiB or more, or its size
// with the line and the spare bytes would overflow 32 bits; the mapping or its view cannot be made.
BOOL ReplaceFileOnReboot(LPCSTR existing, LPCSTR newName);
