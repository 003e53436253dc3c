// Removal of the product's logon integration and its agent at uninstall.
#include "kvisinst/install/logonintegration.h"

#include "kvisinst/common/handle.h"
#include "kvisinst/common/osversion.h"
#include "kvisinst/logon/logon.h"

#include <cstring>

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr char kAgentClass[] = "Quillex Pro Agent";
constexpr int kAgentCloseAttempts = 30;
constexpr DWORD kAgentCloseWaitMs = 1000;

void RemoveNetworkProvider() {
    char oldProvider[MAX_PATH] = {};
    {
        CRegKey provider;
        if (provider.Open(HKEY_LOCAL_MACHINE, kProviderKey, KEY_READ) == ERROR_SUCCESS)
            ReadRegText(provider, "OldPrimaryProvider", oldProvider, sizeof oldProvider);
    }
    {
        CRegKey services;
        if (services.Open(HKEY_LOCAL_MACHINE, kServicesKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            services.RecurseDeleteKey(kProviderName);
    }
    {
        CRegKey order;
        if (order.Open(HKEY_LOCAL_MACHINE, kOrderKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            RegDeleteValueA(order, kProviderName);
    }
    CRegKey logon;
    if (logon.Open(HKEY_LOCAL_MACHINE, kLogonKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
        RegSetValueExA(logon, "PrimaryProvider", 0, REG_SZ, reinterpret_cast<const BYTE*>(oldProvider),
                       static_cast<DWORD>(std::strlen(oldProvider) + 1));
}

}  // namespace

void RemoveLogonIntegration() {
    if (GetOsVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT) {
        CRegKey winlogon;
        if (winlogon.Open(HKEY_LOCAL_MACHINE, kWinlogonKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            RegDeleteValueA(winlogon, "GinaDLL");
    } else {
        RemoveNetworkProvider();
    }
    for (int attempt = 0; attempt < kAgentCloseAttempts; ++attempt) {
        const HWND agent = FindWindowA(kAgentClass, nullptr);
        if (!agent) return;
        PostMessageA(agent, WM_CLOSE, 0, 0);
        Sleep(kAgentCloseWaitMs);
    }
}
