#include "kvisinst/common/handle.h"

#include <winsim/machine.h>
#include <winsim/registry.h>

#include "shared/registry_testing.h"

#include <gtest/gtest.h>

#include <string>

using winsim::OsVersion;

namespace {

const OsVersion kAllVersions[] = {OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000};

void CreateKey(const std::string& path) { winsim::Current().Reg().CreateKey("HKEY_LOCAL_MACHINE\\" + path); }

}  // namespace

TEST(RegKey, RecurseDeleteKeyRemovesAThreeLevelTreeOnEveryVersionAndOnlyOnce) {
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        for (const char* path : {"Software\\Korvane\\QuillexPro\\Modules\\Sensor", "Software\\Korvane\\QuillexPro\\Modules\\Match",
                                 "Software\\Korvane\\QuillexPro\\Options", "Software\\Korvane\\Install\\Add"})
            CreateKey(path);
        machine->Reg().SetStringValue("HKEY_LOCAL_MACHINE\\Software\\Korvane\\QuillexPro\\Options", "Value", "x");

        CRegKey korvane;
        ASSERT_EQ(ERROR_SUCCESS, korvane.Open(HKEY_LOCAL_MACHINE, "Software\\Korvane", KEY_ALL_ACCESS));
        EXPECT_EQ(ERROR_SUCCESS, korvane.RecurseDeleteKey("QuillexPro")) << winsim::OsVersionName(version);
        EXPECT_FALSE(HklmKeyExists("Software\\Korvane\\QuillexPro"));
        EXPECT_TRUE(HklmKeyExists("Software\\Korvane\\Install\\Add")) << "a sibling tree must stay";
        // A name that is not there (any more) is reported and changes nothing.
        const std::string before = machine->Reg().SaveRegText();
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, korvane.RecurseDeleteKey("QuillexPro"));
        EXPECT_EQ(before, machine->Reg().SaveRegText());
    }
}

TEST(RegKey, OpenAndCreateKeepTheHeldKeyOnFailure) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    CreateKey("Software\\Korvane");
    CRegKey key;
    EXPECT_EQ(ERROR_SUCCESS, key.Close()) << "closing an empty holder is a no-op";
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, "Software\\Korvane"));
    HKEY held = key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_LOCAL_MACHINE, "Software\\Missing"));
    EXPECT_EQ(held, key.Handle());

    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_LOCAL_MACHINE, "Software\\Korvane\\New", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_NE(held, key.Handle());
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_LOCAL_MACHINE, "Software\\Korvane\\New", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);

    // The previous handle was really closed when it was replaced.
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(held));
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_EQ(nullptr, key.Handle());
}

TEST(Handles, AMoveHandsTheHandleOverAndAFailedCloseKeepsTheLastError) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    CRegKey first;
    ASSERT_EQ(ERROR_SUCCESS, first.Open(HKEY_LOCAL_MACHINE, "Software"));
    const HKEY held = first;
    CRegKey second = std::move(first);
    EXPECT_EQ(nullptr, first.Handle());
    EXPECT_EQ(held, second.Handle());
    second = CRegKey();
    EXPECT_EQ(0u, machine->Reg().OpenHandleCount());

    CKernelHandle stale(CreateMutexA(nullptr, FALSE, nullptr));
    ASSERT_TRUE(CloseHandle(stale.Get()));  // closed behind the holder's back: its own close fails
    SetLastError(ERROR_ACCESS_DENIED);
    stale.Reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}
