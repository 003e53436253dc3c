#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

namespace {

void Export() {}
const winsim::ExportEntry kExports[] = {{"KVQuillexRemoteTest", &Export}, {nullptr, nullptr}};

// Registers a module and unloads it again: present on disk, loaded by nobody.
HMODULE OnDisk(const char* fileName) {
    winsim::ModuleImage image;
    image.fileName = fileName;
    image.exports = kExports;
    HMODULE module = winsim::RegisterModule(image);
    FreeLibrary(module);
    return module;
}

}  // namespace

// Calling an export and GetModuleFileNameA of a loaded module are proven with the library itself
// (tests/lifecycle, tests/devices).
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
    EXPECT_NE(nullptr, GetProcAddress(module, "KVQuillexRemoteTest"));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "kvquillexremotetest"));  // export names are case-sensitive
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    FreeLibrary(module);
    winsim::UnregisterModule(registered);

    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("kvtest.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FreeLibrary(registered));
}

// Modules registered but not loaded stand for DLLs on disk: a load by path must name their file, and
// a load by bare name finds them only in the folders of the search order.
TEST(LoaderOnDisk, PathsMustNameTheFileAndBareNamesFollowTheSearchOrder) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    HMODULE product = OnDisk("C:\\Program Files\\Korvane\\kvthk32.dll");
    const std::pair<const char*, bool> rows[] = {
        {"c:\\PROGRAM FILES\\korvane\\KVTHK32", true},
        {"C:\\Program Files\\kvthk32.dll", false},
        {"kvthk32.dll", false},  // not in the current, system or Windows directory
    };
    for (const auto& [name, found] : rows) {
        HMODULE module = LoadLibraryA(name);
        EXPECT_EQ(found ? product : nullptr, module) << name;
        if (module) FreeLibrary(module);
    }

    winsim::UnregisterModule(product);

    HMODULE system = OnDisk("C:\\WINDOWS\\SYSTEM\\kvthk32.dll");
    HMODULE loaded = LoadLibraryA("kvthk32.dll");
    EXPECT_EQ(system, loaded);
    // While it is loaded, any load of that name finds it, as Windows does.
    HMODULE again = LoadLibraryA("C:\\Elsewhere\\kvthk32.dll");
    EXPECT_EQ(system, again);
    FreeLibrary(again);
    FreeLibrary(loaded);
    winsim::UnregisterModule(system);
}
