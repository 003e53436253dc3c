// The device tree, SetupAPI's device information sets over it, and the simulated cfgmgr32.dll.
//
// Deliberately less than Windows: nodes have no parent/child relations (re-enumerating any node other
// than the root finds nothing new); DIF_REMOVE is the only class-installer function carried out;
// device interfaces and hardware profiles are not simulated.
#include <winsim/devices.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include "machine_observers.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace winsim {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The setup classes the simulation knows by GUID; other class names report GUID_NULL.
struct ClassRow {
    const char* name;
    GUID guid;
};
const ClassRow kClasses[] = {
    {"USB", {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}}},
    {"HIDClass", {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}}},
    {"Image", {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}}},
    {"System", {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
    {"Mouse", {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
    {"Keyboard", {0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
};

GUID ClassGuidOf(const std::string& className) {
    for (const auto& row : kClasses)
        if (EqualsNoCase(row.name, className)) return row.guid;
    return GUID{};
}

const char kClassTree[] = "System\\CurrentControlSet\\Services\\Class";

std::string Join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

void SetString(HKEY key, const char* name, const std::string& value) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

// cfgmgr32.dll's exports.
CONFIGRET WINAPI LocateDevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags) {
    if (!devInst) return CR_INVALID_POINTER;
    *devInst = 0;
    if (flags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) return CR_INVALID_FLAG;
    DeviceTree& tree = Devices();
    // No ID (or an empty one) names the root of the tree.
    if (!deviceId || !*deviceId || EqualsNoCase(deviceId, "HTREE\\ROOT\\0")) {
        if (tree.RootLocateFails()) return CR_FAILURE;
        *devInst = DeviceTree::kRootDevInst;
        return CR_SUCCESS;
    }
    const DeviceNode* node = tree.Find(deviceId);
    // A node that is not present is found only when the caller asks for phantoms too.
    if (!node || (!node->present && !(flags & CM_LOCATE_DEVNODE_PHANTOM))) return CR_NO_SUCH_DEVNODE;
    *devInst = tree.DevInstOf(deviceId);
    return CR_SUCCESS;
}

CONFIGRET WINAPI ReenumerateDevNode(DEVINST devInst, ULONG flags) {
    if (flags & ~static_cast<ULONG>(CM_REENUMERATE_BITS)) return CR_INVALID_FLAG;
    DeviceTree& tree = Devices();
    if (devInst != DeviceTree::kRootDevInst) {
        const DeviceNode* node = tree.FindByDevInst(devInst);
        return node && node->present ? CR_SUCCESS : CR_INVALID_DEVNODE;
    }
    // Synchronous or not, the simulated enumeration is finished when the call returns.
    tree.Reenumerate(flags);
    return CR_SUCCESS;
}

const ExportEntry kConfigManagerExports[] = {
    {"CM_Locate_DevNodeA", reinterpret_cast<void (*)()>(&LocateDevNodeA)},
    {"CM_Reenumerate_DevNode", reinterpret_cast<void (*)()>(&ReenumerateDevNode)},
    {nullptr, nullptr},
};

}  // namespace

DeviceTree::DeviceTree(Machine& machine) : machine_(machine) {
    const OsVersion v = machine.Version();
    // Windows 95/98 keep their hardware tree and the class tree of driver keys in the registry.
    if (!IsNtFamily(v)) {
        std::string error;
        machine.Reg().LoadRegText("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum]\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class]\r\n\r\n",
                                  &error);
    }
    SetConfigManagerInstalled(v == OsVersion::Win98 || v == OsVersion::Win2000 || v == OsVersion::WinXP);
}

DeviceTree::~DeviceTree() { SetConfigManagerInstalled(false); }

void DeviceTree::SetConfigManagerInstalled(bool installed) {
    if (installed == ConfigManagerInstalled()) return;
    if (!installed) {
        UnregisterModule(configManager_);
        configManager_ = nullptr;
        return;
    }
    ModuleImage image;
    image.fileName = machine_.SystemDirectory() + "\\cfgmgr32.dll";
    image.exports = kConfigManagerExports;
    configManager_ = RegisterModule(image);
    // A system DLL on disk that nobody has loaded yet.
    FreeLibrary(configManager_);
}

void DeviceTree::Add(const DeviceNode& node) {
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (EqualsNoCase(nodes_[i].instanceId, node.instanceId)) {
            nodes_[i] = node;
            WriteRegistryRecord(node);
            return;
        }
    }
    nodes_.push_back(node);
    devInsts_.push_back(nextDevInst_++);
    WriteRegistryRecord(node);
}

void DeviceTree::AddRegistryRecord(const DeviceNode& node) { WriteRegistryRecord(node); }

void DeviceTree::PlugIn(const DeviceNode& node) { pluggedIn_.push_back(node); }

const DeviceNode* DeviceTree::Find(std::string_view instanceId) const {
    for (const auto& node : nodes_)
        if (EqualsNoCase(node.instanceId, instanceId)) return &node;
    return nullptr;
}

DWORD DeviceTree::DevInstOf(std::string_view instanceId) const {
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (EqualsNoCase(nodes_[i].instanceId, instanceId)) return devInsts_[i];
    return 0;
}

const DeviceNode* DeviceTree::FindByDevInst(DWORD devInst) const {
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (devInsts_[i] == devInst) return &nodes_[i];
    return nullptr;
}

DWORD DeviceTree::RemoveNode(std::string_view instanceId) {
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (!EqualsNoCase(nodes_[i].instanceId, instanceId)) continue;
        if (nodes_[i].removalFails) return ERROR_ACCESS_DENIED;
        const DeviceNode node = nodes_[i];
        nodes_.erase(nodes_.begin() + static_cast<std::ptrdiff_t>(i));
        devInsts_.erase(devInsts_.begin() + static_cast<std::ptrdiff_t>(i));
        removed_.push_back(node.instanceId);
        DeleteRegistryRecord(node);
        return ERROR_SUCCESS;
    }
    return ERROR_NO_SUCH_DEVINST;
}

void DeviceTree::Reenumerate(ULONG flags) {
    reenumerations_.push_back(flags);
    std::vector<DeviceNode> found;
    found.swap(pluggedIn_);
    for (auto& node : found) {
        node.present = true;
        Add(node);
    }
}

void DeviceTree::WriteRegistryRecord(const DeviceNode& node) {
    if (IsNtFamily(machine_.Version()) || node.instanceId.empty()) return;
    HKEY hardware = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Enum\\" + node.instanceId).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &hardware, nullptr) != ERROR_SUCCESS)
        return;
    // The driver key: the class's first free four-digit number, unless the device has one already.
    char driver[MAX_PATH] = "";
    DWORD size = sizeof driver;
    DWORD type = 0;
    if (RegQueryValueExA(hardware, "Driver", nullptr, &type, reinterpret_cast<BYTE*>(driver), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        driver[0] = '\0';
        HKEY classKey = nullptr;
        const std::string classPath = std::string(kClassTree) + "\\" + node.className;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, classPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classKey,
                            nullptr) == ERROR_SUCCESS) {
            for (unsigned index = 0; index < 10000; ++index) {
                char number[8];
                std::snprintf(number, sizeof number, "%04u", index);
                HKEY probe = nullptr;
                if (RegOpenKeyExA(classKey, number, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
                    RegCloseKey(probe);
                    continue;
                }
                HKEY driverKey = nullptr;
                if (RegCreateKeyExA(classKey, number, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &driverKey, nullptr) ==
                    ERROR_SUCCESS) {
                    SetString(driverKey, "DriverDesc", node.description);
                    RegCloseKey(driverKey);
                    std::snprintf(driver, sizeof driver, "%s\\%s", node.className.c_str(), number);
                }
                break;
            }
            RegCloseKey(classKey);
        }
    }
    // Windows 95/98 keep the hardware IDs as one comma-separated string.
    SetString(hardware, "HardwareID", Join(node.hardwareIds, ','));
    SetString(hardware, "Class", node.className);
    SetString(hardware, "DeviceDesc", node.description);
    if (driver[0]) SetString(hardware, "Driver", driver);
    RegCloseKey(hardware);
}

void DeviceTree::DeleteRegistryRecord(const DeviceNode& node) {
    if (IsNtFamily(machine_.Version()) || node.instanceId.empty()) return;
    const std::string hardwarePath = "Enum\\" + node.instanceId;
    HKEY hardware = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, hardwarePath.c_str(), 0, KEY_ALL_ACCESS, &hardware) != ERROR_SUCCESS) return;
    char driver[MAX_PATH] = "";
    DWORD size = sizeof driver - 1;
    DWORD type = 0;
    const bool hasDriver = RegQueryValueExA(hardware, "Driver", nullptr, &type, reinterpret_cast<BYTE*>(driver),
                                            &size) == ERROR_SUCCESS &&
                           type == REG_SZ && driver[0];
    RegCloseKey(hardware);
    if (hasDriver) {
        HKEY classTree = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassTree, 0, KEY_ALL_ACCESS, &classTree) == ERROR_SUCCESS) {
            RegDeleteKeyA(classTree, driver);
            RegCloseKey(classTree);
        }
    }
    // The instance key goes; the device's key above it stays, as removal leaves it.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, hardwarePath.c_str());
}

std::string DeviceTree::SaveText() const {
    std::string out = "; device tree\r\n";
    auto write = [&out](const DeviceNode& node, bool pluggedIn) {
        out += "[" + node.instanceId + "]\r\n";
        out += "HardwareIDs=" + Join(node.hardwareIds, ',') + "\r\n";
        out += "Class=" + node.className + "\r\n";
        out += "Description=" + node.description + "\r\n";
        out += std::string("Present=") + (node.present ? "1" : "0") + "\r\n";
        if (node.removalFails) out += "RemovalFails=1\r\n";
        if (pluggedIn) out += "PluggedIn=1\r\n";
    };
    for (const auto& node : nodes_) write(node, false);
    for (const auto& node : pluggedIn_) write(node, true);
    return out;
}

bool DeviceTree::LoadText(std::string_view text, std::string* error) {
    std::vector<std::pair<DeviceNode, bool>> read;
    int lineNumber = 0;
    for (std::string line : Split(text, '\n')) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        auto fail = [&](const char* what) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + what;
            return false;
        };
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) return fail("a device line is \"[instance ID]\"");
            DeviceNode node;
            node.instanceId = line.substr(1, line.size() - 2);
            read.push_back({node, false});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) return fail("expected name=value");
        if (read.empty()) return fail("a value before the first \"[instance ID]\" line");
        const std::string name = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        DeviceNode& node = read.back().first;
        if (EqualsNoCase(name, "HardwareIDs")) {
            node.hardwareIds = Split(value, ',');
        } else if (EqualsNoCase(name, "Class")) {
            node.className = value;
        } else if (EqualsNoCase(name, "Description")) {
            node.description = value;
        } else if (EqualsNoCase(name, "Present")) {
            node.present = value == "1";
        } else if (EqualsNoCase(name, "RemovalFails")) {
            node.removalFails = value == "1";
        } else if (EqualsNoCase(name, "PluggedIn")) {
            read.back().second = value == "1";
        } else {
            return fail("unknown name (HardwareIDs, Class, Description, Present, RemovalFails, PluggedIn)");
        }
    }
    nodes_.clear();
    devInsts_.clear();
    pluggedIn_.clear();
    // The registry already holds what a saved machine's devices wrote there.
    for (auto& [node, pluggedIn] : read) {
        if (pluggedIn) {
            pluggedIn_.push_back(node);
        } else {
            nodes_.push_back(node);
            devInsts_.push_back(nextDevInst_++);
        }
    }
    return true;
}

namespace {

// Each machine has its device tree from its making to its end.
std::map<const Machine*, std::unique_ptr<DeviceTree>>& Trees() {
    static std::map<const Machine*, std::unique_ptr<DeviceTree>> trees;
    return trees;
}

void MakeTree(Machine& machine) { Trees()[&machine] = std::make_unique<DeviceTree>(machine); }
void EndTree(Machine& machine) { Trees().erase(&machine); }

[[maybe_unused]] const bool g_observing = (AddMachineObserver(&MakeTree, &EndTree), true);

}  // namespace

DeviceTree& DevicesOf(Machine& machine) { return *Trees().at(&machine); }

DeviceTree& Devices() { return DevicesOf(Current()); }

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
    const winsim::DeviceTree& tree = winsim::Devices();
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
    const winsim::DeviceNode* node = winsim::Devices().Find(set->instanceIds[index]);
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
    if (const DWORD error = winsim::Devices().RemoveNode(set->instanceIds[index])) {
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
