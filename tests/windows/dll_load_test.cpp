// KVISINST.DLL as a setup program uses it: loaded by name from the program's folder, its exports
// looked up by their decorated names and called.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Folder part of a module's file name, with the trailing backslash.
std::string ModuleFolder(HMODULE module) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

TEST(DllLoad, LoadsFromTheProgramFolderAndNeedRebootStartsAtZero) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "LoadLibraryA(KVISINST.DLL) failed, error " << GetLastError();
    // The copy under test, not some other KVISINST.DLL on the search path.
    EXPECT_EQ(ModuleFolder(module), ModuleFolder(nullptr));

    using NeedRebootFunction = int (*)();
    auto needReboot = reinterpret_cast<NeedRebootFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "?NeedReboot@@YAHXZ")));
    ASSERT_NE(needReboot, nullptr) << "GetProcAddress failed, error " << GetLastError();
    EXPECT_EQ(needReboot(), 0);

    // Only the Microsoft-decorated name is exported, not the compiler's own symbol.
    EXPECT_EQ(GetProcAddress(module, "_Z10NeedRebootv"), nullptr);

    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
