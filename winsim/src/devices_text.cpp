// The device tree as text, the devices.txt of a machine folder, read by the machine folder's section
// reader (text.h): one "[instance ID]" section per device node.
#include "devices_internal.h"

#include <winsim/text.h>

namespace winsim {

std::string DeviceTree::SaveText() const {
    std::string out = "; device tree\r\n";
    auto write = [&out](const DeviceNode& node, bool pluggedIn) {
        out += "[" + node.instanceId + "]\r\n";
        out += "HardwareIDs=" + JoinList(node.hardwareIds, ',') + "\r\n";
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
    const auto sections = ReadSectionText(text, error);
    if (!sections) return false;
    std::vector<std::pair<DeviceNode, bool>> read;
    for (const auto& section : *sections) {
        DeviceNode node;
        node.instanceId = section.name;
        bool pluggedIn = false;
        for (const auto& entry : section.entries) {
            const std::string& name = entry.key;
            const std::string& value = entry.value;
            const int line = entry.line;
            // Flags are "0" or "1"; anything else is a mistake worth naming, not a silent "no".
            auto flag = [&](bool* out) {
                if (value != "0" && value != "1") {
                    if (error) *error = TextError(line, name + " is 0 or 1");
                    return false;
                }
                *out = value == "1";
                return true;
            };
            if (EqualsNoCase(name, "HardwareIDs")) {
                // The reader trims the value as a whole; each ID is trimmed as well, and empty ones
                // dropped, so that the list reads the same after it has been written back.
                node.hardwareIds.clear();
                for (std::string id : SplitList(value, ',')) {
                    id.erase(0, id.find_first_not_of(" \t\r\n\f\v"));
                    id.erase(id.find_last_not_of(" \t\r\n\f\v") + 1);
                    if (!id.empty()) node.hardwareIds.push_back(id);
                }
            } else if (EqualsNoCase(name, "Class")) {
                node.className = value;
            } else if (EqualsNoCase(name, "Description")) {
                node.description = value;
            } else if (EqualsNoCase(name, "Present")) {
                if (!flag(&node.present)) return false;
            } else if (EqualsNoCase(name, "RemovalFails")) {
                if (!flag(&node.removalFails)) return false;
            } else if (EqualsNoCase(name, "PluggedIn")) {
                if (!flag(&pluggedIn)) return false;
            } else {
                if (error)
                    *error = TextError(line, "unknown name '" + name + "' (HardwareIDs, Class, Description, " +
                                                 "Present, RemovalFails, PluggedIn)");
                return false;
            }
        }
        read.push_back({node, pluggedIn});
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

}  // namespace winsim
