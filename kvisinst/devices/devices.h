// The reader's device nodes and the device tree. The exports (RemoveDevices, ReEnumerateDevices) are
// declared in kvisinst/exports.h.
#pragma once

#include "kvisinst/common/win32.h"

// Removes, through the class installer's DIF_REMOVE, every device node (present or not) whose first
// hardware ID begins with one of the reader's hardware-ID patterns. Returns how many were removed.
int RemoveReaderDevices();

// Windows 95: deletes the subkeys of HKEY_LOCAL_MACHINE "Enum\USB" whose names begin with one of the
// reader's device-key patterns, and first the driver keys their instances name in the class tree.
void RemoveWin95UsbEntries();
