// The decorated exports `int __stdcall CleanUp(char *)`, `int __cdecl StopHost(char const *)` and
// `int __stdcall CleanUpPS(char *)`: C++ functions of the same names as the plain exports, which is
// why they live in a unit that does not see the plain ones' C declarations.
#include "kvisinst/cleanup/cleanup.h"
#include "kvisinst/cleanup/hoststop.h"
#include "kvisinst/cleanup/privatespace.h"
#include "kvisinst/common/win32.h"

KVISINST_EXPORT int WINAPI CleanUp(char* edition);
KVISINST_EXPORT int StopHost(const char* unused);
KVISINST_EXPORT int WINAPI CleanUpPS(char* directory);

int WINAPI CleanUp(char* edition) { return RunCleanUp(edition); }

int StopHost(const char*) { return RunStopHost(); }

int WINAPI CleanUpPS(char* directory) { return RunCleanUpPS(directory); }
