// The device exports on a real Windows (Wine), called by their plain names: the device tree has no
// reader, so nothing is removed, and the re-enumeration through cfgmgr32.dll returns and frees it.
#include <windows.h>

#include <gtest/gtest.h>

#include "shared/proc.h"

namespace {

TEST(Devices, RemoveDevicesAndReEnumerateDevices) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto removeDevices = ProcAs<int (*)()>(GetProcAddress(module, "RemoveDevices"));
    auto reEnumerate = ProcAs<void (*)()>(GetProcAddress(module, "ReEnumerateDevices"));
    ASSERT_NE(removeDevices, nullptr);
    ASSERT_NE(reEnumerate, nullptr);
    EXPECT_EQ(removeDevices(), 1);
    reEnumerate();
    EXPECT_EQ(GetModuleHandleA("cfgmgr32.dll"), nullptr);
    FreeLibrary(module);
}

}  // namespace
