// Removal of the earlier editions' logon hooks before a new edition is installed: on the NT family the
// Winlogon "GinaDll" value naming their logon dialog library (KVGINA.DLL), on Windows 95/98 their
// network provider "KVNP32" and password provider "KVPP32"; on both, their logon libraries are
// unregistered (CDllList, left in place). The platform is the NT family when GetOsVersionInfo reports
// platform id 2.
//
// UnregSystemStuff (exported, declared in kvisinst/exports.h), NT family:
//   1. open HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon" (KEY_ALL_ACCESS)
//      and read "GinaDll" into a 260-byte buffer; a missing key or value, or one over 260 bytes, goes
//      to step 4. A value of exactly 260 bytes without a terminator is cut to its first 259;
//   2. a copy upper-cased with CharUpperBuffA (multibyte-aware) that contains "KVGINA.DLL": the value
//      is deleted;
//   3. any other value, unless Quillex Pro is installed: the warning (warning.h) with the value as
//      read; any answer but OK returns 1 at once, with nothing removed;
//   4. "-KVPwdFlt.dll -KVMsg.dll" is unregistered in the system directory; returns 0.
// Windows 95/98:
//   1. CRegNPKey (its keys opened, or created when missing), DeletePackage with 260 bytes;
//   2. when HKEY_LOCAL_MACHINE "Network\Logon" "PrimaryProvider" still names "KVNP32" (compared
//      without regard to case), it is set to the "OldPrimaryProvider" that DeletePackage read (empty
//      when there was none): the logon is never left pointing at the provider just removed, and a
//      primary provider that the user or another product set since is left alone;
//   3. CRegPPKey, DeletePackage;
//   4. "-KVMsg.dll" is unregistered in the system directory; returns 0.
// Failures are passed over (the DeletePackage results go to the trace only); an exception (the trace
// running out of memory) ends the removal with 0.
//
// UnregSystemStuffQuiet is the same without the warning: on the NT family a value without
// "KVGINA.DLL" is left alone. It returns 0 on every path.
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/common/win32.h"

// Where the earlier editions hooked the logon, under HKEY_LOCAL_MACHINE (shared with the uninstall's
// RemoveLogonIntegration, kvisinst/install/logonintegration.h).
constexpr char kWinlogonKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr char kProviderName[] = "KVNP32";
constexpr char kProviderKey[] = "SYSTEM\\CurrentControlSet\\Services\\KVNP32\\NetworkProvider";
constexpr char kOrderKey[] = "SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order";
constexpr char kLogonKey[] = "Network\\Logon";

int UnregSystemStuffQuiet();

// The network-provider registration under HKEY_LOCAL_MACHINE: the order key
// "SYSTEM\CurrentControlSet\Control\NetworkProvider\Order" and the provider key
// "SYSTEM\CurrentControlSet\Services\KVNP32\NetworkProvider", each opened with KEY_ALL_ACCESS or,
// failing that, created. Traced.
class CRegNPKey {
public:
    CRegNPKey();
    // Closes the order key, then the provider key.
    ~CRegNPKey();
    CRegNPKey(const CRegNPKey&) = delete;
    CRegNPKey& operator=(const CRegNPKey&) = delete;

    // Reads "OldPrimaryProvider" of the provider key into `buffer` (`size` bytes, at least 1; always
    // terminated, empty when the value cannot be read), then deletes
    // "SYSTEM\CurrentControlSet\Services\KVNP32" with everything below it and the value "KVNP32" of
    // the order key. Returns S_OK or the HRESULT of the first failing step (a failed key deletion
    // skips the value's); traced.
    HRESULT DeletePackage(char* buffer, DWORD size);

private:
    CRegKey order_;
    CRegKey provider_;
};

// The password-provider registration "System\CurrentControlSet\Control\PwdProvider\KVPP32" under
// HKEY_LOCAL_MACHINE, opened or created as above. Traced.
class CRegPPKey {
public:
    CRegPPKey();
    CRegPPKey(const CRegPPKey&) = delete;
    CRegPPKey& operator=(const CRegPPKey&) = delete;

    // Deletes the password provider's key with everything below it (through HKEY_LOCAL_MACHINE, not
    // the held key); S_OK or the failure's HRESULT; traced.
    HRESULT DeletePackage();

private:
    CRegKey key_;
};

// Reads the string value `name` of `key` into `buffer` of `size` bytes (at least 1) and terminates
// it within the buffer (a value that fills it exactly loses its last byte). False, with the buffer
// empty, when it cannot be read.
bool ReadRegText(HKEY key, const char* name, char* buffer, DWORD size);
