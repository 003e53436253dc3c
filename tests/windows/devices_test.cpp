// The device exports on a real Windows (Wine): the device tree has no reader, so nothing is removed,
// and the re-enumeration through cfgmgr32.dll returns.
#include "kvisinst/devices/devices.h"
#include "kvisinst/exports.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "shared/proc.h"

namespace {

TEST(Devices, RemoveDevicesReturnsOneAndFindsNoReader) {
    EXPECT_EQ(RemoveReaderDevices(), 0);
    EXPECT_EQ(RemoveDevices(), 1);
}

TEST(Devices, ReEnumerateDevicesReturnsAndReleasesTheConfigurationManager) {
    ReEnumerateDevices();
    // cfgmgr32.dll was loaded by name for the call and freed afterwards.
    EXPECT_EQ(GetModuleHandleA("cfgmgr32.dll"), nullptr);
}

TEST(Devices, ExportedUnderTheirPlainNames) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto removeDevices = ProcAs<int (*)()>(GetProcAddress(module, "RemoveDevices"));
    auto reEnumerate = ProcAs<void (*)()>(GetProcAddress(module, "ReEnumerateDevices"));
    ASSERT_NE(removeDevices, nullptr);
    ASSERT_NE(reEnumerate, nullptr);
    EXPECT_EQ(removeDevices(), 1);
    reEnumerate();
    FreeLibrary(module);
}

}  // namespace
