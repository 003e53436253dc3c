// setupapi: device information sets over the current machine's device tree, the device registry
// properties, and the class installer's DIF_REMOVE.
//
// Deliberately less than Windows: DIF_REMOVE is the only class-installer function carried out;
// device interfaces and hardware profiles are not simulated.
#include "devices_internal.h"

#include <winsim/machine.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace winsim {

// SetupAPI's device information sets: a snapshot of the tree's instance IDs when the set was made.
namespace {

struct DeviceInfoSet {
    std::vector<std::string> instanceIds;
    std::vector<DWORD> devInsts;
    std::vector<GUID> classGuids;
};

std::mutex g_setsLock;
std::map<HDEVINFO, std::unique_ptr<DeviceInfoSet>> g_sets;

DeviceInfoSet* SetFromHandle(HDEVINFO handle) {
    std::lock_guard<std::mutex> lock(g_setsLock);
    auto it = g_sets.find(handle);
    return it == g_sets.end() ? nullptr : it->second.get();
}

// The set and element a SP_DEVINFO_DATA names, or the error to report.
DWORD Element(HDEVINFO handle, const SP_DEVINFO_DATA* data, DeviceInfoSet*& set, size_t& index) {
    set = SetFromHandle(handle);
    if (!set) return ERROR_INVALID_HANDLE;
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) return ERROR_INVALID_USER_BUFFER;
    if (data->Reserved == 0 || data->Reserved > set->instanceIds.size()) return ERROR_INVALID_PARAMETER;
    index = data->Reserved - 1;
    return ERROR_SUCCESS;
}

}  // namespace

size_t OpenDeviceInfoSets() {
    std::lock_guard<std::mutex> lock(g_setsLock);
    return g_sets.size();
}

}  // namespace winsim

using winsim::DeviceInfoSet;

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    // Device interfaces are not simulated; without DIGCF_ALLCLASSES a class must be named.
    if ((flags & DIGCF_DEVICEINTERFACE) || (!(flags & DIGCF_ALLCLASSES) && !classGuid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_unique<DeviceInfoSet>();
    const winsim::DeviceTree& tree = winsim::Current().Devices();
    for (const auto& node : tree.Nodes()) {
        if ((flags & DIGCF_PRESENT) && !node.present) continue;
        const GUID guid = winsim::ClassGuidOf(node.className);
        if (!(flags & DIGCF_ALLCLASSES) && !IsEqualGUID(guid, *classGuid)) continue;
        if (enumerator) {
            const std::string id = node.instanceId;
            const std::string first = id.substr(0, id.find('\\'));
            if (!winsim::EqualsNoCase(first, enumerator)) continue;
        }
        set->instanceIds.push_back(node.instanceId);
        set->devInsts.push_back(tree.DevInstOf(node.instanceId));
        set->classGuids.push_back(guid);
    }
    HDEVINFO handle = set.get();
    std::lock_guard<std::mutex> lock(winsim::g_setsLock);
    winsim::g_sets[handle] = std::move(set);
    return handle;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
    DeviceInfoSet* set = winsim::SetFromHandle(handle);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= set->instanceIds.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = set->classGuids[index];
    data->DevInst = set->devInsts[index];
    data->Reserved = index + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                                       PBYTE buffer, DWORD size, PDWORD requiredSize) {
    DeviceInfoSet* set = nullptr;
    size_t index = 0;
    if (const DWORD error = winsim::Element(handle, data, set, index)) {
        SetLastError(error);
        return FALSE;
    }
    const winsim::DeviceNode* node = winsim::Current().Devices().Find(set->instanceIds[index]);
    if (!node) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    std::string value;  // with its terminating NULs
    DWORD valueType = REG_SZ;
    switch (property) {
        case SPDRP_HARDWAREID:
            if (node->hardwareIds.empty()) {
                SetLastError(ERROR_INVALID_DATA);
                return FALSE;
            }
            for (const auto& id : node->hardwareIds) value += id + '\0';
            value += '\0';
            valueType = REG_MULTI_SZ;
            break;
        case SPDRP_DEVICEDESC:
        case SPDRP_CLASS: {
            const std::string& text = property == SPDRP_CLASS ? node->className : node->description;
            if (text.empty()) {
                SetLastError(ERROR_INVALID_DATA);
                return FALSE;
            }
            value = text + '\0';
            break;
        }
        case SPDRP_COMPATIBLEIDS:
        case SPDRP_CLASSGUID:
        case SPDRP_DRIVER:
            // Properties the simulated nodes never have.
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        default:
            SetLastError(ERROR_INVALID_REG_PROPERTY);
            return FALSE;
    }
    if (type) *type = valueType;
    if (requiredSize) *requiredSize = static_cast<DWORD>(value.size());
    if (!buffer || size < value.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value.data(), value.size());
    return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO handle, PSP_DEVINFO_DATA data) {
    if (function != DIF_REMOVE) {
        if (!winsim::SetFromHandle(handle)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    DeviceInfoSet* set = nullptr;
    size_t index = 0;
    if (const DWORD error = winsim::Element(handle, data, set, index)) {
        SetLastError(error);
        return FALSE;
    }
    // The element stays in the set (the enumeration indices do not move); only the node goes.
    if (const DWORD error = winsim::Current().Devices().RemoveNode(set->instanceIds[index])) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    std::unique_ptr<DeviceInfoSet> released;
    std::lock_guard<std::mutex> lock(winsim::g_setsLock);
    auto it = winsim::g_sets.find(handle);
    if (it == winsim::g_sets.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    released = std::move(it->second);
    winsim::g_sets.erase(it);
    return TRUE;
}
