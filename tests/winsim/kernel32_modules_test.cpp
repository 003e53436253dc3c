#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "shared/proc.h"

#include <gtest/gtest.h>

namespace {

int g_calls = 0;
void RemoteTest() { ++g_calls; }

const winsim::ExportEntry kExports[] = {{"KVQuillexRemoteTest", reinterpret_cast<void (*)()>(&RemoteTest)},
                                        {nullptr, nullptr}};

}  // namespace

TEST(Loader, SimulatedModulesLoadByNameAndExportFunctions) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    winsim::ModuleImage image;
    image.fileName = "C:\\Program Files\\Korvane\\QuillexPro\\kvtest.dll";
    image.exports = kExports;
    HMODULE registered = winsim::RegisterModule(image);

    // The loader compares base names without regard to case and supplies ".DLL".
    for (const char* name : {"kvtest.dll", "KVTEST", "C:\\elsewhere\\KvTest.Dll"}) {
        HMODULE module = LoadLibraryA(name);
        EXPECT_EQ(registered, module) << name;
        EXPECT_TRUE(FreeLibrary(module));
    }
    HMODULE module = LoadLibraryA("kvtest.dll");
    auto call = ProcAs<void (*)()>(GetProcAddress(module, "KVQuillexRemoteTest"));
    ASSERT_NE(nullptr, call);
    call();
    EXPECT_EQ(1, g_calls);
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "kvquillexremotetest"));  // export names are case-sensitive
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

    char path[MAX_PATH];
    EXPECT_EQ(image.fileName.size(), GetModuleFileNameA(module, path, MAX_PATH));
    EXPECT_EQ(image.fileName, path);
    char cut[8];
    EXPECT_EQ(8u, GetModuleFileNameA(module, cut, sizeof cut));
    EXPECT_STREQ("C:\\Prog", cut);
    FreeLibrary(module);
    winsim::UnregisterModule(registered);

    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("kvtest.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FreeLibrary(registered));
}
