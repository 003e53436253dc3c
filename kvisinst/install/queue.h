// The registry install queue and the exports that drain it (InstallFromRegistry, InstallUninstall,
// VoidInstallUninstall; declared in kvisinst/exports.h). NeedReboot and the reboot flag live with the
// library's process attach (kvisinst.cpp, common/module.h).
//
// A setup program queues requests as values under HKEY_LOCAL_MACHINE "Software\Korvane\Install\Add"
// (installations) or "...\Install\Remove" (removals): any value name, and as data a text of up to five
// fields (queueentry.h) - INF name, source directory, section, pre-section, post-section - each
// request one InstallFromINF call, its direction the queue's. The stored type is not looked at.
//
// InstallFromRegistry(add), add nonzero draining the Add queue, zero the Remove queue:
//   1. the install queue counts as empty unless its key opens (KEY_ALL_ACCESS) with at least one value
//      and a longest value name of at least one character - whichever queue is drained. Empty: this
//      is a pure uninstall, and RemoveLogonIntegration (logonintegration.h) runs first;
//   2. the queue's key is opened (KEY_ALL_ACCESS); a queue that does not open runs nothing and goes on
//      at step 5;
//   3. the records of the queue's last drain, the values of its "Failed" subkey, are deleted;
//   4. each value is taken in the registry's order: its fields run InstallFromINF(inf, add, ...); a
//      negative result is written under "Failed" as a REG_SZ value of the request's name holding
//      "Error: %08X" of it (a failure to write the record is passed over) and becomes the drain's
//      result, replacing an earlier one; a result of 1 sets the reboot flag (SetRebootNeeded); then
//      the value is deleted, whatever the result. The key is closed;
//   5. a pure uninstall then deletes the whole "Software\Korvane" tree (DeleteProductRegistryTree,
//      kvisinst/security/protect.h), the queues and the records just written with it;
//   6. draining the Add queue with no request failed: ReEnumerateDevices, then the installed product's
//      remote test - "kvtest.dll" in the "ProductPath" of HKEY_LOCAL_MACHINE
//      "SOFTWARE\Korvane\QuillexPro" (260 bytes; "C:\Program files\Korvane\QuillexPro" when it cannot
//      be read; one '\' between folder and name) is loaded and its export "KVQuillexRemoteTest" called
//      with no arguments, under the fault guard; a missing library or export is passed over.
// Result: the last failing request's HRESULT; else 1 when the reboot flag is set (by this drain or an
// earlier one in the process); else 0.
//
// How the drain treats the queue's values:
//   - a value whose text has no field at all (empty, or delimiters only) names no INF: InstallFromINF
//     is not called, and the request fails with E_INVALIDARG - recorded as "Error: 80070057", counted
//     for the result, and deleted like any other;
//   - a request never runs twice: the drain always takes the first value it has not yet taken, so a
//     value it cannot delete stays behind in the queue and the drain goes on with the next one (it
//     enumerates from the index past the values left behind). The failure records are cleared the same
//     way: one that cannot be deleted is stepped over;
//   - the text is the value's bytes and ends after its last byte when they hold no NUL (or at the
//     first NUL): data of any type and size is read into buffers one byte longer than the longest value
//     name and data that RegQueryInfoKeyA reports, and the enumeration is never given more room than
//     that. A value that no longer fits (written while the drain runs) ends the drain; buffers that
//     cannot be allocated fail it with E_OUTOFMEMORY, running no request.
//
// InstallUninstall: InstallFromRegistry(0), then InstallFromRegistry(1) whatever the first returned;
// E_UNEXPECTED when either result is negative, else 1 when either is 1, else 0.
// VoidInstallUninstall: the same two drains, for rundll32; its four arguments and both results are
// not used.
#pragma once
