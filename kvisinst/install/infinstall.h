// InstallFromINF (exported, declared in kvisinst/exports.h): installs or removes the product as its INF
// describes it, end to end. Also the worker behind every request of the registry queue (queue.h).
//
// Steps, in this order:
//   1. the source directory: `sourceDir` with '\' appended unless it is empty or ends with one; null:
//      the folder of the running program (GetModuleFileNameA of the process image, cut after its last
//      '\'). The INF's path is the source directory followed by `inf`. When that path does not fit in
//      MAX_PATH characters with its NUL, or `inf` is null, the result is E_INVALIDARG at once, with
//      nothing changed;
//   2. the current directory is remembered (MAX_PATH characters) and the source directory made
//      current; from here every way out makes the remembered directory current again. A current
//      directory that cannot be remembered is left as it is: then it is neither changed nor restored;
//   3. the INF is opened (SetupOpenInfFileA, no class, INF_STYLE_WIN4); failing that: E_INVALIDARG;
//   4. installing: StopServices(inf, 1, null) stops the INF's services, WaitForHostExit(20000) waits
//      for the host, UnregSystemStuffQuiet removes the earlier editions' logon hooks without asking
//      and, as it returns 0, CleanUp("QUILLEXPRO103") takes off the earlier editions; then
//      RemoveDevices. Removing: InstallDrivers(inf, 0, null) stops and deletes the INF's services;
//   5. the default queue callback's context is made (SetupInitDefaultQueueCallbackEx, no windows,
//      message 0); failing that: E_OUTOFMEMORY;
//   6. `preSection` when given, then `section` ("DefaultInstall" when null), each in its platform form
//      (GetPlatformSection) and installed as below; their failures are passed over;
//   7. the system's "runonce" is started (no application name, NORMAL_PRIORITY_CLASS, the source
//      directory inherited as current) and waited for at most 180000 ms; one that cannot be started
//      leaves the error code 2;
//   8. `postSection` when given, in its platform form; when it fails, the thread's last error replaces
//      the code of step 7 (ERROR_INVALID_FUNCTION when it left none: a failed post-section always fails
//      the call);
//   9. installing: InstallDrivers(inf, 1, null) creates and starts the services;
//  10. InstallShortcuts(inf, install, null) creates or removes the Start-menu shortcuts;
//  11. the callback's context is released, the INF closed and the remembered directory made current.
// Result: E_UNEXPECTED when a nonzero error code was left by step 7 or 8; else 1 when any
// section's file operation was delayed until the next restart; else 0. Failing services, shortcuts,
// devices and a host that does not end are not reported. Anything raised inside ends the call with its
// HRESULT (E_UNEXPECTED for anything else thrown), the directory restored. The process-wide reboot
// flag is not touched here: only the queue's drain sets it.
//
// Each section is installed by SetupInstallFromInfSectionA with no owner window, the parts 0x1F (log
// configuration, INI files, registry, INI to registry, files), no relative key root, the source
// directory as source root, the copy style 0x2504 (SP_COPY_NEWER | SP_COPY_IN_USE_NEEDS_REBOOT |
// SP_COPY_NOSKIP | SP_COPY_FORCE_NEWER) and QueueCallback with the one context all three share.
// Nothing is traced.
#pragma once

#include "kvisinst/common/win32.h"

// What QueueCallback is given: SetupAPI's default callback context, and whether a file operation was
// delayed until the next restart (0 until one is).
struct QueueCallbackContext {
    PVOID defaultContext;
    DWORD delayed;
};

// The file-queue callback of the sections installed: notes SPFILENOTIFY_FILEOPDELAYED in the context,
// and hands every notification on to SetupDefaultQueueCallbackA with the default context, whose
// answer it returns.
UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

// Waits for the product's host process (the first whose executable name, lower-cased, contains
// "kvhost"; kvisinst/cleanup/hoststop.h) to end, on Windows 2000 and later NT only: elsewhere, or
// without the toolhelp functions of kernel32.dll, 0 at once. The host found is opened for SYNCHRONIZE |
// PROCESS_QUERY_INFORMATION and waited for at most `timeoutMs`; then, up to 20 times, while a new
// snapshot still lists a host, the caller sleeps 1000 ms; at the end it sleeps 1000 ms more. Returns
// the wait's outcome (WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_FAILED also when the host cannot be opened),
// 0 when no host was found. The host is never ended here: the longest wait is timeoutMs + 21 s.
DWORD WaitForHostExit(DWORD timeoutMs);
