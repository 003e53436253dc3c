// The private-space companion product (Quillex Private Space): its program files and its
// authentication service library are taken off through replace-on-reboot. The exports CleanUpPS
// (plain and decorated) and ClearPrivateSpace are declared in kvisinst/exports.h; both CleanUpPS
// exports run RunCleanUpPS.
//
// CleanUpPS(directory), traced as "CleanUpPS": traces "Removing <first name> from <directory>", then
// walks the companion's list (productfiles.h: two executables, started with "/UnRegServer", and a
// library, whose DllUnregisterServer is called; all three scheduled for deletion at the next restart)
// over the directory with a CDllList without a window. Returns 1 whatever the walk's outcome.
//
// ClearPrivateSpace, traced under its name: opens HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Quillex Private Space" (KEY_ALL_ACCESS), reads
// "UninstallString" into 260 bytes (terminated within them), finds the first "-f"; the log-file path
// begins two characters later, a double quote there skipped. Its drive and directory (up to and
// including the last '\' or '/'; file name, extension and a closing quote dropped) + "kvauthsv.dll"
// is traced as "path:<path>" and scheduled for deletion (ReplaceFileOnReboot). The uninstall entry
// stays. Nothing is scheduled when the entry, the value or the "-f" is missing, when the path would
// not fit in MAX_PATH - 1 characters, or when the log-file path has no directory: a bare file name
// would be resolved against the setup program's current directory, which is no folder of the
// companion.
#pragma once

int RunCleanUpPS(const char* directory);
