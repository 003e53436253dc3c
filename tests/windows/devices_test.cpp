// The device exports on a real Windows (Wine), called by their plain names: the device tree has no
// reader, so nothing is removed, and the re-enumeration through cfgmgr32.dll returns and frees it.
#include "windows/win_testing.h"

namespace {

TEST(Devices, RemoveDevicesAndReEnumerateDevices) {
    CKvisinst library;
    const auto removeDevices = library.Export<int (*)()>("RemoveDevices");
    const auto reEnumerate = library.Export<void (*)()>("ReEnumerateDevices");
    ASSERT_TRUE(removeDevices && reEnumerate);
    EXPECT_EQ(removeDevices(), 1);
    reEnumerate();
    EXPECT_EQ(GetModuleHandleA("cfgmgr32.dll"), nullptr);
}

}  // namespace
