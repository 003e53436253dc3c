// The library loaded and unloaded as a setup program does it (LoadLibraryA/FreeLibrary). On Linux the
// load maps the built shared object, so process attach and detach really run.
#include <winsim/handles.h>
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

bool TraceMutexExists() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

TEST_F(Lifecycle, LoadRecordsTheModuleAndTheRebootFlagStartsAtZero) {
    HMODULE module = LoadLibraryA("C:\\Setup\\kvisinst.dll");
    ASSERT_NE(nullptr, module);
    auto needReboot = ProcAs<int (*)()>(GetProcAddress(module, "?NeedReboot@@YAHXZ"));
    ASSERT_NE(nullptr, needReboot);
    EXPECT_EQ(0, needReboot());
    // Only the decorated name is exported, not the plain one nor the compiler's own symbol.
    EXPECT_EQ(nullptr, GetProcAddress(module, "NeedReboot"));
    EXPECT_EQ(nullptr, GetProcAddress(module, "_Z10NeedRebootv"));

    char path[MAX_PATH];
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_STREQ("C:\\Setup\\kvisinst.dll", path);
    // The string table travels with the module.
    char caption[32];
    EXPECT_EQ(8, LoadStringA(module, 1, caption, sizeof caption));
    EXPECT_STREQ("Warning:", caption);
    EXPECT_TRUE(FreeLibrary(module));
}

// The named trace mutex exists from process attach to process detach, and is the only handle the
// load leaves open.
TEST_F(Lifecycle, TheTraceMutexLivesFromLoadToUnload) {
    const size_t handles = winsim::OpenHandleCount();
    EXPECT_FALSE(TraceMutexExists());
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(nullptr, module);
    EXPECT_TRUE(TraceMutexExists());
    EXPECT_EQ(handles + 1, winsim::OpenHandleCount());
    FreeLibrary(module);
    EXPECT_FALSE(TraceMutexExists());
    EXPECT_EQ(handles, winsim::OpenHandleCount());
}

}  // namespace
