// The library loaded and unloaded as a setup program does it (LoadLibraryA/FreeLibrary). On Linux the
// load maps the built shared object, so process attach really runs at each load.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "shared/proc.h"

#include <gtest/gtest.h>

namespace {

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override { winsim::MapLibrary("KVISINST.DLL", KVISINST_SO); }
    winsim::ScopedMachine machine_{winsim::OsVersion::Win2000};
};

}  // namespace

TEST_F(Lifecycle, LoadRecordsTheModuleAndTheRebootFlagStartsAtZero) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(nullptr, module);
    auto needReboot = ProcAs<int (*)()>(GetProcAddress(module, "?NeedReboot@@YAHXZ"));
    ASSERT_NE(nullptr, needReboot);
    EXPECT_EQ(0, needReboot());

    char path[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_STREQ("C:\\WINNT\\System32\\KVISINST.DLL", path);
    // The string table travels with the module.
    char caption[32];
    EXPECT_EQ(8, LoadStringA(module, 1, caption, sizeof caption));
    EXPECT_STREQ("Warning:", caption);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(Lifecycle, ExportsAreFoundOnlyByTheirExportedNames) {
    HMODULE module = LoadLibraryA("C:\\Setup\\kvisinst.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NeedReboot"));
    EXPECT_EQ(nullptr, GetProcAddress(module, "_Z10NeedRebootv"));
    char path[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_STREQ("C:\\Setup\\kvisinst.dll", path);
    FreeLibrary(module);
}

TEST_F(Lifecycle, UnloadForgetsTheModuleAndReloadAttachesAgain) {
    HMODULE first = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(nullptr, first);
    HMODULE again = LoadLibraryA("kvisinst");
    EXPECT_EQ(first, again);  // a second load only counts
    FreeLibrary(again);
    EXPECT_NE(nullptr, GetModuleHandleA("KVISINST.DLL"));
    FreeLibrary(first);
    EXPECT_EQ(nullptr, GetModuleHandleA("KVISINST.DLL"));

    HMODULE reloaded = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(nullptr, reloaded);
    auto needReboot = ProcAs<int (*)()>(GetProcAddress(reloaded, "?NeedReboot@@YAHXZ"));
    EXPECT_EQ(0, needReboot());
    FreeLibrary(reloaded);
}
