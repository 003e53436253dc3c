// The version of the running system.
#pragma once

#include "kvisinst/common/win32.h"

// GetVersionExA's basic record (not the extended form). Returned whatever the query's outcome: a
// failed query leaves platform 0, which every caller treats as not the NT family.
OSVERSIONINFOA GetOsVersionInfo();
