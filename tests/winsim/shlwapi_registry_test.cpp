#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

namespace {
using DeleteKey = DWORD (*)(HKEY, LPCSTR);
}  // namespace

TEST(ShlwApi, TheLibraryComesWithInternetExplorer) {
    using V = winsim::OsVersion;
    const std::pair<V, bool> rows[] = {{V::Win95, false}, {V::Win98, true}, {V::NT4, false}, {V::Win2000, true}, {V::WinXP, true}};
    for (const auto& [version, shipped] : rows) {
        winsim::ScopedMachine machine(version);
        EXPECT_EQ(shipped, LoadLibraryA("SHLWAPI.DLL") != nullptr) << winsim::OsVersionName(version);
        machine->SetInternetExplorerInstalled(true);
        EXPECT_NE(nullptr, GetProcAddress(LoadLibraryA("SHLWAPI.DLL"), "SHDeleteKeyA"));
    }
}

TEST(ShlwApi, DeleteKeyRemovesTheWholeTree) {
    for (auto version : {winsim::OsVersion::Win98, winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        machine->SetInternetExplorerInstalled(true);
        for (const char* path : {"Software\\Korvane\\A\\B", "Software\\Korvane\\C", "Software\\Keep"}) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
        auto deleteKey = winsim::ProcAs<DeleteKey>(GetProcAddress(LoadLibraryA("SHLWAPI.DLL"), "SHDeleteKeyA"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), deleteKey(HKEY_LOCAL_MACHINE, "Software\\Korvane"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), deleteKey(HKEY_LOCAL_MACHINE, "Software\\Korvane"));
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Keep", 0, KEY_READ, &key));
        RegCloseKey(key);
    }
}
