// RemoveLogonIntegration: takes the product out of the system's logon chain and closes its agent, in
// a pure uninstall (nothing queued for installation) before the queue is drained. Internal; no
// arguments, nothing reported: every step's failure is passed over and the next step still runs.
//
//   1. the version is asked for (GetOsVersionInfo);
//   2. NT family: the value "GinaDLL" of HKEY_LOCAL_MACHINE
//      "Software\Microsoft\Windows NT\CurrentVersion\Winlogon" is deleted, whatever it names;
//   3. Windows 95/98: "OldPrimaryProvider" of
//      "SYSTEM\CurrentControlSet\Services\KVNP32\NetworkProvider" is read (260 bytes, terminated
//      within them; empty when missing); "KVNP32" goes from "SYSTEM\CurrentControlSet\Services" with
//      everything below it and from the values of
//      "SYSTEM\CurrentControlSet\Control\NetworkProvider\Order"; "Network\Logon" "PrimaryProvider"
//      (REG_SZ) is set to what was read, empty or not, whatever it held;
//   4. every platform: while a top-level window of class "Quillex Pro Agent" exists, WM_CLOSE is
//      posted to it and the caller sleeps 1000 ms - at most 30 attempts (30 s), after which it gives
//      up and leaves the agent running. No agent window: no sleep at all.
#pragma once

void RemoveLogonIntegration();
