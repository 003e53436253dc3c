// winsim's device tree: the Windows 95/98 registry records of devices. Device information sets,
// DIF_REMOVE and the hardware ID property are proven through the library (tests/devices), the
// machine folder's devices.txt through kvsim (tests/tools).
#include <winsim/devices.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::DeviceNode;
using winsim::OsVersion;

namespace {

DeviceNode Node(const char* id, std::vector<std::string> hardwareIds) {
    DeviceNode node;
    node.instanceId = id;
    node.hardwareIds = std::move(hardwareIds);
    return node;
}

// The library reads the property into a buffer of its own size; what a too-small one gets is here.
TEST(DeviceInfoSets, HardwareIdsAreOneMultiStringAndATooSmallBufferGetsTheSizeNeeded) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    machine->Devices().Add(Node("USB\\VID_2C8F&PID_0001\\5&1", {"USB\\VID_2C8F&PID_0001&REV_0100", "USB\\VID_2C8F&PID_0001"}));
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
    SetupDiDestroyDeviceInfoList(set);
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

}  // namespace
