// The functions KVISINST.DLL exports, as a setup program sees them. kvisinst.def (32-bit) and
// kvisinst-x64.def (the 64-bit test build) map each exported name, plain or decorated, to these.
#pragma once

#include "kvisinst/common/win32.h"

// 1 once a queued installation has asked for a restart in this process, else 0.
KVISINST_EXPORT int NeedReboot();
