// The trace facility's part of loading and unloading the library: the named trace mutex exists from
// process attach to process detach, and a trace file held open is closed at unload.
#include <winsim/handles.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

namespace {

bool TraceMutexExists() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

TEST(TraceLifecycle, TheTraceMutexLivesFromLoadToUnload) {
    winsim::MapLibrary("KVISINST.DLL", KVISINST_SO);
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
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
