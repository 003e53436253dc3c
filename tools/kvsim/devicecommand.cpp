// kvsim device: puts a device node on a machine, as attaching the device (or having attached it once)
// would. The machine folder's devices.txt can also be edited by hand.
#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/devices.h>

#include <cstdio>

namespace kvsim {

int RunDevice(const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() > 5) {
        std::fprintf(stderr,
                     "kvsim device: give a machine folder, an instance ID, its hardware IDs separated by commas,\n"
                     "  then optionally present (default), absent or plugged, and a setup class (default USB)\n");
        return kExitUsage;
    }
    winsim::DeviceNode node;
    node.instanceId = args[1];
    for (size_t start = 0; start <= args[2].size();) {
        const size_t comma = args[2].find(',', start);
        const std::string id = args[2].substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!id.empty()) node.hardwareIds.push_back(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    const std::string state = args.size() > 3 ? args[3] : "present";
    if (state != "present" && state != "absent" && state != "plugged") {
        std::fprintf(stderr, "kvsim device: '%s' is not present, absent or plugged\n", state.c_str());
        return kExitUsage;
    }
    if (node.instanceId.find('\\') == std::string::npos) {
        std::fprintf(stderr, "kvsim device: an instance ID reads ENUMERATOR\\DEVICE\\INSTANCE\n");
        return kExitUsage;
    }
    if (args.size() > 4) node.className = args[4];
    node.present = state != "absent";
    node.description = node.instanceId;

    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim device: %s\n", error.c_str());
        return kExitBadInput;
    }
    winsim::DeviceTree& tree = machine.Machine().Devices();
    // A plugged-in device is found by the next re-enumeration; the others Windows knows already (on
    // Windows 95/98 with their registry keys).
    if (state == "plugged") {
        tree.PlugIn(node);
    } else {
        tree.Add(node);
    }
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim device: %s\n", error.c_str());
        return kExitBadInput;
    }
    std::printf("%s %s.\n", state == "plugged" ? "Plugged in" : state == "absent" ? "Remembered" : "Added",
                node.instanceId.c_str());
    return kExitOk;
}

}  // namespace kvsim
