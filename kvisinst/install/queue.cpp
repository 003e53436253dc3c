// Draining the registry install queue: the requests run through InstallFromINF, the failure records,
// the reboot flag, and what a pure uninstall or a successful installation does around the queue.
#include "kvisinst/install/queue.h"

#include "kvisinst/common/format.h"
#include "kvisinst/common/guarded.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/module.h"
#include "kvisinst/common/product.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"
#include "kvisinst/install/logonintegration.h"
#include "kvisinst/install/queueentry.h"
#include "kvisinst/logon/logon.h"
#include "kvisinst/security/protect.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

typedef void(WINAPI* RemoteTestProc)();

bool InstallQueueHasRequests() {
    CRegKey queue;
    if (queue.Open(HKEY_LOCAL_MACHINE, kInstallQueueKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
    DWORD values = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyA(queue, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return values > 0 && longestName > 0;
}

// Enumerates the values of `key` one by one and deletes each after take(name, text) has seen it (text
// null unless `withData`): always the first value not yet taken, stepping over the ones that could not
// be deleted. S_OK, or E_OUTOFMEMORY when the buffers cannot be had.
template <typename Take>
HRESULT TakeEachValue(HKEY key, bool withData, Take&& take) {
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return S_OK;
    if (!withData) longestData = 0;
    if (longestName >= 0x7FFFFFFF || longestData >= 0x7FFFFFFF) return E_OUTOFMEMORY;
    const std::unique_ptr<char[]> name(new (std::nothrow) char[longestName + 1]);
    const std::unique_ptr<char[]> text(new (std::nothrow) char[longestData + 1]);
    if (!name || !text) return E_OUTOFMEMORY;

    for (DWORD index = 0;;) {
        DWORD nameSize = longestName + 1;
        DWORD dataSize = longestData;
        BYTE* const data = withData ? reinterpret_cast<BYTE*>(text.get()) : nullptr;
        if (RegEnumValueA(key, index, name.get(), &nameSize, nullptr, nullptr, data, withData ? &dataSize : nullptr) !=
            ERROR_SUCCESS)
            return S_OK;
        text[withData ? dataSize : 0] = '\0';
        take(static_cast<const char*>(name.get()), text.get());
        if (RegDeleteValueA(key, name.get()) != ERROR_SUCCESS) ++index;
    }
}

LONG RunRequest(char* text, int add) {
    char* fields[kQueueEntryFields];
    SplitQueueEntry(text, fields);
    if (!fields[0]) return E_INVALIDARG;
    return InstallFromINF(fields[0], add, fields[1], fields[2], fields[3], fields[4]);
}

void RecordFailure(HKEY queue, const char* name, LONG result) {
    char record[32];
    FormatText(record, sizeof record, "Error: %08X", static_cast<unsigned>(result));
    CRegKey failed;
    if (failed.Create(queue, kFailedRequestsKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return;
    RegSetValueExA(failed, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(record),
                   static_cast<DWORD>(std::strlen(record) + 1));
}

void RunRemoteTest() {
    char productPath[MAX_PATH];
    const char* folder = kDefaultProductPath;
    CRegKey product;
    if (product.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ) == ERROR_SUCCESS &&
        ReadRegText(product, kProductPathValue, productPath, sizeof productPath))
        folder = productPath;
    product.Close();
    CFixedText<MAX_PATH + sizeof kRemoteTestLibraryName> path;
    path.Append(folder);
    if (!path.size() || path.c_str()[path.size() - 1] != '\\') path.Append("\\");
    path.Append(kRemoteTestLibraryName);

    const CLibrary library(LoadLibraryA(path.c_str()));
    if (!library) return;
    const RemoteTestProc test = GetProcAddressAs<RemoteTestProc>(library, kRemoteTestExportName);
    if (test) CallGuarded([test] { test(); });
}

}  // namespace

LONG InstallFromRegistry(int add) {
    const bool pureUninstall = !InstallQueueHasRequests();
    if (pureUninstall) RemoveLogonIntegration();

    bool failed = false;
    LONG failure = S_OK;
    CRegKey queue;
    if (queue.Open(HKEY_LOCAL_MACHINE, add ? kInstallQueueKey : kRemoveQueueKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        CRegKey records;
        if (records.Open(queue, kFailedRequestsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            TakeEachValue(records, false, [](const char*, char*) {});
        records.Close();
        const HRESULT taken = TakeEachValue(queue, true, [&](const char* name, char* text) {
            const LONG result = RunRequest(text, add);
            if (result < 0) {
                RecordFailure(queue, name, result);
                failed = true;
                failure = result;
            }
            if (result == 1) SetRebootNeeded();
        });
        if (taken < 0) {
            failed = true;
            failure = taken;
        }
        queue.Close();
    }

    if (pureUninstall) DeleteProductRegistryTree();
    if (add && !failed) {
        ReEnumerateDevices();
        RunRemoteTest();
    }
    return failed ? failure : NeedReboot();
}

LONG InstallUninstall() {
    const LONG removed = InstallFromRegistry(0);
    const LONG added = InstallFromRegistry(1);
    if (removed < 0 || added < 0) return E_UNEXPECTED;
    return removed == 1 || added == 1 ? 1 : 0;
}

void WINAPI VoidInstallUninstall(HWND, HINSTANCE, unsigned short*, int) {
    InstallFromRegistry(0);
    InstallFromRegistry(1);
}
