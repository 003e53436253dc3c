// Removal of the earlier editions' logon, network-provider and password-provider hooks.
#include "kvisinst/logon/logon.h"

#include "kvisinst/cleanup/dlllist.h"
#include "kvisinst/cleanup/editions.h"
#include "kvisinst/cleanup/productfiles.h"
#include "kvisinst/common/error.h"
#include "kvisinst/common/osversion.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"
#include "kvisinst/logon/warning.h"
#include "kvisinst/trace/trace.h"

#include <cstring>

namespace {

constexpr char kGinaValue[] = "GinaDll";
constexpr char kProviderServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\KVNP32";
constexpr char kOldPrimaryValue[] = "OldPrimaryProvider";
constexpr char kPasswordProviderKey[] = "System\\CurrentControlSet\\Control\\PwdProvider\\KVPP32";
constexpr char kPrimaryValue[] = "PrimaryProvider";

void OpenOrCreate(CRegKey& key, const char* path) {
    if (key.Open(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        key.Create(HKEY_LOCAL_MACHINE, path, nullptr, 0, KEY_ALL_ACCESS, nullptr);
}

// Deletes `path` below HKEY_LOCAL_MACHINE with everything beneath it; raises on failure.
void DeleteMachineTree(const char* path) {
    CRegKey local;
    CheckStatus(local.Open(HKEY_LOCAL_MACHINE, nullptr, MAXIMUM_ALLOWED));
    CheckStatus(local.RecurseDeleteKey(path));
}

// The NT family's "GinaDll" step, on the open Winlogon key. False when the user cancelled.
bool RemoveGinaHook(HKEY winlogon, bool warn) {
    char value[MAX_PATH];
    if (!ReadRegText(winlogon, kGinaValue, value, sizeof value)) return true;
    char upper[MAX_PATH];
    const size_t length = std::strlen(value);
    std::memcpy(upper, value, length + 1);
    CharUpperBuffA(upper, static_cast<DWORD>(length));
    if (std::strstr(upper, kGinaLibraryName)) {
        RegDeleteValueA(winlogon, kGinaValue);
        return true;
    }
    if (!warn || IsQuillexProInstalled()) return true;
    return ShowGinaWarning(value) == IDOK;
}

// Sets "PrimaryProvider" to `oldProvider` while it still names the removed provider.
void RestorePrimaryProvider(const char* oldProvider) {
    CRegKey logon;
    if (logon.Open(HKEY_LOCAL_MACHINE, kLogonKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    char current[MAX_PATH];
    if (!ReadRegText(logon, kPrimaryValue, current, sizeof current) || !EqualsNoCase(current, kProviderName)) return;
    RegSetValueExA(logon, kPrimaryValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(oldProvider),
                   static_cast<DWORD>(std::strlen(oldProvider) + 1));
}

int RemoveLogonHooks(bool warn) {
    try {
        if (GetOsVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT) {
            CRegKey winlogon;
            if (winlogon.Open(HKEY_LOCAL_MACHINE, kWinlogonKey, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
                !RemoveGinaHook(winlogon, warn))
                return 1;
            CDllList list(kLogonListNt, nullptr);
            list.ProcessSystemDLLs();
        } else {
            CRegNPKey networkProvider;
            char oldProvider[MAX_PATH] = {};
            networkProvider.DeletePackage(oldProvider, sizeof oldProvider);
            RestorePrimaryProvider(oldProvider);
            CRegPPKey passwordProvider;
            passwordProvider.DeletePackage();
            CDllList list(kLogonList9x, nullptr);
            list.ProcessSystemDLLs();
        }
    } catch (...) {
        // Only the trace raises (out of memory while loading its settings); nothing to report.
    }
    return 0;
}

}  // namespace

bool ReadRegText(HKEY key, const char* name, char* buffer, DWORD size) {
    DWORD length = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length) != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return false;
    }
    buffer[length < size ? length : size - 1] = '\0';
    return true;
}

CRegNPKey::CRegNPKey() {
    TraceScope scope("CRegNPKey::CRegNPKey");
    OpenOrCreate(order_, kOrderKey);
    OpenOrCreate(provider_, kProviderKey);
}

CRegNPKey::~CRegNPKey() {
    try {
        TraceScope scope("CRegNPKey::~CRegNPKey");
        order_.Close();
        provider_.Close();
    } catch (...) {
        order_.Close();
        provider_.Close();
    }
}

HRESULT CRegNPKey::DeletePackage(char* buffer, DWORD size) {
    TraceScope scope("CRegNPKey::DeletePackage");
    ReadRegText(provider_, kOldPrimaryValue, buffer, size);
    const HRESULT hr = HResultBoundary([this] {
        DeleteMachineTree(kProviderServiceKey);
        CheckStatus(RegDeleteValueA(order_, kProviderName));
        return S_OK;
    });
    TraceError(scope, "", hr, nullptr);
    return hr;
}

CRegPPKey::CRegPPKey() {
    TraceScope scope("CRegPPKey::CRegPPKey");
    OpenOrCreate(key_, kPasswordProviderKey);
}

HRESULT CRegPPKey::DeletePackage() {
    TraceScope scope("CRegPPKey::DeletePackage");
    const HRESULT hr = HResultBoundary([] {
        DeleteMachineTree(kPasswordProviderKey);
        return S_OK;
    });
    TraceError(scope, "", hr, nullptr);
    return hr;
}

int UnregSystemStuff() { return RemoveLogonHooks(true); }

int UnregSystemStuffQuiet() { return RemoveLogonHooks(false); }
