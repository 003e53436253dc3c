// cfgmgr32: the simulated configuration manager library, which code loads by name and calls through
// GetProcAddress: locating the root device node and re-enumerating the current machine's device
// tree. Whether a machine has the library is the device tree's to say (SetConfigManagerInstalled).
#include "devices_internal.h"

#include <winsim/machine.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

namespace winsim {

namespace {

CONFIGRET WINAPI LocateDevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags) {
    if (!devInst) return CR_INVALID_POINTER;
    *devInst = 0;
    if (flags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) return CR_INVALID_FLAG;
    DeviceTree& tree = Current().Devices();
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
    DeviceTree& tree = Current().Devices();
    if (devInst != DeviceTree::kRootDevInst) {
        const DeviceNode* node = tree.FindByDevInst(devInst);
        return node && node->present ? CR_SUCCESS : CR_INVALID_DEVNODE;
    }
    // Synchronous or not, the simulated enumeration is finished when the call returns.
    tree.Reenumerate(flags);
    return CR_SUCCESS;
}

}  // namespace

const ExportEntry kConfigManagerExports[] = {
    {"CM_Locate_DevNodeA", AsExport(&LocateDevNodeA)},
    {"CM_Reenumerate_DevNode", AsExport(&ReenumerateDevNode)},
    {nullptr, nullptr},
};

}  // namespace winsim
