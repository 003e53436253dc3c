// The machine's device tree: the device nodes that SetupAPI's device information sets list, their
// class installer's DIF_REMOVE, and the configuration manager (a simulated cfgmgr32.dll, loaded by
// name) that locates the root node and re-enumerates the tree.
//
// On Windows 95/98 the tree also lives in the registry, as it does there: a device node's hardware
// key under HKEY_LOCAL_MACHINE "Enum\<enumerator>\<device>\<instance>" and its driver key under
// "System\CurrentControlSet\Services\Class\<class>\<nnnn>". The NT family keeps its device registry
// out of reach of programs, and the simulation does not write it.
#pragma once

#include <winsim/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

struct DeviceNode {
    // "<enumerator>\<device>\<instance>", e.g. "USB\VID_2C8F&PID_0001\5&1A2B3C&0&1".
    std::string instanceId;
    // Most specific first. SetupAPI reports them as one REG_MULTI_SZ.
    std::vector<std::string> hardwareIds;
    std::string className = "USB";  // setup class name ("USB", "HIDClass", "Image", "System", ...)
    std::string description;
    // Attached now. A node that is not present is one Windows remembers from an earlier attachment.
    bool present = true;
    // Its class installer refuses DIF_REMOVE (ERROR_ACCESS_DENIED), as for a device in use.
    bool removalFails = false;
};

class DeviceTree {
public:
    explicit DeviceTree(Machine& machine);
    ~DeviceTree();
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;

    // Adds a node (replacing one with the same instance ID). On 95/98 its registry keys are written
    // too, into this tree's machine, current or not.
    void Add(const DeviceNode& node);
    // Writes only the Windows 95/98 registry keys of a device, without a node: what an earlier
    // installation leaves behind when the device installer no longer lists the device.
    void AddRegistryRecord(const DeviceNode& node);
    // A device attached to the machine that Windows finds at the next re-enumeration of the root.
    void PlugIn(const DeviceNode& node);

    const std::vector<DeviceNode>& Nodes() const { return nodes_; }
    const DeviceNode* Find(std::string_view instanceId) const;
    // Instance IDs removed through DIF_REMOVE, in order.
    const std::vector<std::string>& Removed() const { return removed_; }
    // The flags of each CM_Reenumerate_DevNode call that re-enumerated the tree, in order.
    const std::vector<ULONG>& Reenumerations() const { return reenumerations_; }

    // cfgmgr32.dll: present on 98, 2000 and XP; Windows 95 and NT 4 have no Plug and Play
    // configuration manager library. Tests may add or take it away.
    bool ConfigManagerInstalled() const { return configManager_ != nullptr; }
    void SetConfigManagerInstalled(bool installed);
    // Makes CM_Locate_DevNodeA fail for the root node (CR_FAILURE).
    void SetRootLocateFails(bool fails) { rootLocateFails_ = fails; }

    // The tree as text, for a machine folder; LoadText replaces the nodes with what it reads.
    // Lines: "[instance ID]" then "HardwareIDs=a,b", "Class=", "Description=", "Present=0|1",
    // "RemovalFails=0|1", "PluggedIn=0|1". False and an error naming the line for bad text.
    std::string SaveText() const;
    bool LoadText(std::string_view text, std::string* error);

    // Used by the simulated SetupAPI and cfgmgr32 calls.
    static constexpr DWORD kRootDevInst = 1;
    DWORD DevInstOf(std::string_view instanceId) const;
    const DeviceNode* FindByDevInst(DWORD devInst) const;
    DWORD RemoveNode(std::string_view instanceId);  // Win32 error, 0 on success
    void Reenumerate(ULONG flags);
    bool RootLocateFails() const { return rootLocateFails_; }

private:
    void WriteRegistryRecord(const DeviceNode& node);
    void DeleteRegistryRecord(const DeviceNode& node);

    Machine& machine_;
    std::vector<DeviceNode> nodes_;
    std::vector<DWORD> devInsts_;  // parallel to nodes_
    std::vector<DeviceNode> pluggedIn_;
    std::vector<std::string> removed_;
    std::vector<ULONG> reenumerations_;
    DWORD nextDevInst_ = kRootDevInst + 1;
    HMODULE configManager_ = nullptr;
    bool rootLocateFails_ = false;
};

// The same as machine.Devices(), for code written before the machine owned its tree.
DeviceTree& DevicesOf(Machine& machine);

// Device information sets created and not yet destroyed, in the whole process.
size_t OpenDeviceInfoSets();

}  // namespace winsim
