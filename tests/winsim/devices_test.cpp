// winsim's device tree: SetupAPI's device information sets, DIF_REMOVE, the simulated cfgmgr32.dll,
// the Windows 95/98 registry records of devices, and the machine folder's text form.
#include <winsim/devices.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::DeviceNode;
using winsim::OsVersion;

namespace {

DeviceNode Node(const char* id, std::vector<std::string> hardwareIds, bool present = true, const char* cls = "USB") {
    DeviceNode node;
    node.instanceId = id;
    node.hardwareIds = std::move(hardwareIds);
    node.present = present;
    node.className = cls;
    node.description = std::string("Device ") + id;
    return node;
}

void AddSampleTree(winsim::DeviceTree& tree) {
    tree.Add(Node("USB\\VID_2C8F&PID_0001\\5&1", {"USB\\VID_2C8F&PID_0001&REV_0100", "USB\\VID_2C8F&PID_0001"}));
    tree.Add(Node("USB\\VID_2C8F&PID_0001\\5&2", {"USB\\VID_2C8F&PID_0001&REV_0100"}, false));
    tree.Add(Node("HID\\VID_046D&PID_C016\\7&1", {"HID\\VID_046D&PID_C016"}, true, "HIDClass"));
    tree.Add(Node("ROOT\\LEGACY\\0000", {}, true, "System"));
}

TEST(DeviceInfoSets, HardwareIdsAreOneMultiStringAndRemovalKeepsTheSetsOrder) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    auto& tree = machine->Devices();
    AddSampleTree(tree);
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;

    const char expected[] = "USB\\VID_2C8F&PID_0001&REV_0100\0USB\\VID_2C8F&PID_0001\0";  // + final NUL
    BYTE buffer[260];
    DWORD type = 0, required = 0;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer, 10, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(sizeof expected, required);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer, sizeof buffer, &required));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(std::string(expected, sizeof expected), std::string(reinterpret_cast<char*>(buffer), required));
    // A node without hardware IDs has no such property.
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 3, &data));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());

    // Removal leaves the set's elements where they were.
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &data));
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &data));
    EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &data));
    SetupDiDestroyDeviceInfoList(set);
    const std::vector<std::string> removed = {"USB\\VID_2C8F&PID_0001\\5&1", "USB\\VID_2C8F&PID_0001\\5&2"};
    EXPECT_EQ(removed, tree.Removed());
}

TEST(DeviceRegistry, Windows9xKeepsHardwareAndDriverKeysInItsOwnMachinesRegistry) {
    winsim::ScopedMachine machine(OsVersion::Win95);
    // Made afterwards, the NT machine is the current one: the 95 machine's devices must still be
    // recorded in the 95 machine's registry, not in whichever one the Reg* calls would reach.
    winsim::ScopedMachine nt(OsVersion::Win2000);
    auto& reg = machine->Reg();
    machine->Devices().Add(Node("USB\\VID_2C8F&PID_0001\\5&1", {"USB\\VID_2C8F&PID_0001&REV_0100", "USB\\VID_2C8F&PID_0001"}));
    machine->Devices().Add(Node("USB\\VID_2C8F&PID_0001\\5&2", {"USB\\VID_2C8F&PID_0001&REV_0100"}));
    const char* const first = "HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_2C8F&PID_0001\\5&1";
    EXPECT_EQ("USB\\VID_2C8F&PID_0001&REV_0100,USB\\VID_2C8F&PID_0001", reg.StringValue(first, "HardwareID").value_or(""));
    EXPECT_EQ("USB\\0000", reg.StringValue(first, "Driver").value_or(""));
    EXPECT_TRUE(reg.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\USB\\0000"));

    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), machine->Devices().RemoveNode("usb\\vid_2c8f&pid_0001\\5&1"));
    EXPECT_FALSE(reg.KeyExists(first));
    EXPECT_FALSE(reg.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\USB\\0000"));
    EXPECT_TRUE(reg.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\USB\\0001"));
    EXPECT_TRUE(reg.KeyExists("HKLM\\Enum\\USB\\VID_2C8F&PID_0001")) << "the device's own key stays";
    nt->Devices().Add(Node("USB\\VID_2C8F&PID_0001\\5&1", {"USB\\VID_2C8F&PID_0001"}));
    EXPECT_FALSE(nt->Reg().KeyExists("HKLM\\Enum\\USB")) << "the NT family keeps its device registry to itself";
}

TEST(DeviceTreeText, SavedTreeLoadsBackAndBadTextNamesItsLine) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    AddSampleTree(machine->Devices());
    machine->Devices().PlugIn(Node("USB\\VID_2C8F&PID_0001\\5&3", {"USB\\VID_2C8F&PID_0001"}));
    const std::string text = machine->Devices().SaveText();

    winsim::ScopedMachine other(OsVersion::Win2000);
    std::string error;
    ASSERT_TRUE(other->Devices().LoadText(text, &error)) << error;
    EXPECT_EQ(text, other->Devices().SaveText());
    ASSERT_EQ(4u, other->Devices().Nodes().size());
    EXPECT_FALSE(other->Devices().Nodes()[1].present);

    EXPECT_FALSE(other->Devices().LoadText("[USB\\X\\1]\r\nColour=blue\r\n", &error));
    EXPECT_NE(std::string::npos, error.find("line 2")) << error;
    EXPECT_EQ(4u, other->Devices().Nodes().size()) << "bad text changes nothing";
}

}  // namespace
