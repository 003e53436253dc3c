// The device tree of one machine, and its Windows 95/98 registry records.
//
// Deliberately less than Windows: nodes have no parent/child relations (re-enumerating any node other
// than the root finds nothing new).
#include "devices_internal.h"

#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <cstdio>

namespace winsim {

namespace {

const char kEnumTree[] = "HKEY_LOCAL_MACHINE\\Enum";
const char kClassTree[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class";

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

}  // namespace

GUID ClassGuidOf(const std::string& className) {
    for (const auto& row : kClasses)
        if (EqualsNoCase(row.name, className)) return row.guid;
    return GUID{};
}

std::string JoinList(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
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

DeviceTree::DeviceTree(Machine& machine) : machine_(machine) {
    const OsVersion v = machine.Version();
    // Windows 95/98 keep their hardware tree and the class tree of driver keys in the registry.
    if (!IsNtFamily(v)) {
        machine.Reg().CreateKey(kEnumTree);
        machine.Reg().CreateKey(kClassTree);
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
    Registry& reg = machine_.Reg();
    const std::string hardware = std::string(kEnumTree) + "\\" + node.instanceId;
    if (!reg.CreateKey(hardware)) return;
    // The driver key: the class's first free four-digit number, unless the device has one already.
    std::string driver = reg.StringValue(hardware, "Driver").value_or("");
    if (driver.empty()) {
        const std::string classPath = std::string(kClassTree) + "\\" + node.className;
        for (unsigned index = 0; index < 10000 && reg.CreateKey(classPath); ++index) {
            char number[8];
            std::snprintf(number, sizeof number, "%04u", index);
            const std::string driverKey = classPath + "\\" + number;
            if (reg.KeyExists(driverKey)) continue;
            if (reg.CreateKey(driverKey)) {
                reg.SetStringValue(driverKey, "DriverDesc", node.description);
                driver = node.className + "\\" + number;
            }
            break;
        }
    }
    // Windows 95/98 keep the hardware IDs as one comma-separated string.
    reg.SetStringValue(hardware, "HardwareID", JoinList(node.hardwareIds, ','));
    reg.SetStringValue(hardware, "Class", node.className);
    reg.SetStringValue(hardware, "DeviceDesc", node.description);
    if (!driver.empty()) reg.SetStringValue(hardware, "Driver", driver);
}

void DeviceTree::DeleteRegistryRecord(const DeviceNode& node) {
    if (IsNtFamily(machine_.Version()) || node.instanceId.empty()) return;
    Registry& reg = machine_.Reg();
    const std::string hardware = std::string(kEnumTree) + "\\" + node.instanceId;
    if (!reg.KeyExists(hardware)) return;
    const std::string driver = reg.StringValue(hardware, "Driver").value_or("");
    if (!driver.empty()) reg.DeleteKey(std::string(kClassTree) + "\\" + driver);
    // The instance key goes; the device's key above it stays, as removal leaves it.
    reg.DeleteKey(hardware);
}

DeviceTree& DevicesOf(Machine& machine) { return machine.Devices(); }

}  // namespace winsim
