// The decorated export `int __stdcall CleanUp(char *)`: a C++ function of the same name as the plain
// export, which is why it lives in a unit that does not see the plain one's C declaration.
#include "kvisinst/cleanup/cleanup.h"
#include "kvisinst/common/win32.h"

KVISINST_EXPORT int WINAPI CleanUp(char* edition);

int WINAPI CleanUp(char* edition) { return RunCleanUp(edition); }
