// The simulated registry through the Reg*A calls, on the versions where their behaviour differs.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include "shared/registry_testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using winsim::OsVersion;

namespace {

const OsVersion kAllVersions[] = {OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000};

const char* Name(OsVersion version) { return winsim::OsVersionName(version); }

HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD options = 0) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, path, 0, nullptr, options, access, nullptr, &key, nullptr))
        << path;
    return key;
}

void CreateClosed(HKEY parent, const char* path) { RegCloseKey(Create(parent, path)); }

LONG SetString(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1));
}

// Names of the subkeys (or values) in enumeration order.
std::vector<std::string> Enum(HKEY key, bool values = false) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0, size = sizeof name;
         (values ? RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                 : RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        names.emplace_back(name);
    return names;
}

}  // namespace

// Subkeys: NT sorts them case-insensitively, 95/98 keep creation order. Values keep the order they
// were first set in everywhere.
TEST(RegistryEnumeration, SubkeyAndValueOrderPerVersion) {
    const char* kCreated[] = {"beta", "Alpha", "_under", "gamma", "ALPHA2", "\xC9t\xE9"};
    const std::vector<std::string> kSorted = {"Alpha", "ALPHA2", "beta", "gamma", "_under", "\xC9t\xE9"};
    const std::vector<std::string> kInOrder(std::begin(kCreated), std::end(kCreated));
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
        for (const char* name : kCreated) CreateClosed(parent, name);
        EXPECT_EQ(winsim::IsNtFamily(version) ? kSorted : kInOrder, Enum(parent)) << Name(version);
        for (const char* name : {"zeta", "Alpha", "mid", ""}) SetString(parent, name, "1");
        SetString(parent, "ALPHA", "again");  // same value, other spelling
        RegDeleteValueA(parent, "mid");
        SetString(parent, "mid", "back");
        EXPECT_EQ((std::vector<std::string>{"zeta", "Alpha", "", "mid"}), Enum(parent, true)) << Name(version);
        EXPECT_EQ("again", *machine->Reg().StringValue("HKLM\\SOFTWARE\\Order", "alpha"));
        RegCloseKey(parent);
    }
}

// RegEnumKeyExA and RegEnumValueA as Microsoft documents them: a name buffer's size counts the NUL
// going in and leaves it out coming back; a name or data buffer too small is ERROR_MORE_DATA, and for
// data the size needed comes back; without a data buffer the data's size alone; an index past the
// last is ERROR_NO_MORE_ITEMS. What a too-small buffer holds afterwards is undefined, so it is not
// looked at.
TEST(RegistryEnumeration, NameAndDataBuffersFollowTheDocumentedSizeRules) {
    const struct {
        bool value;  // RegEnumValueA, else RegEnumKeyExA
        DWORD index, nameSize, dataSize;
        bool withData;
        LONG status;
        DWORD nameSizeAfter, dataSizeAfter;  // ~0u: not looked at
    } kRows[] = {
        {false, 0, 10, 0, false, ERROR_MORE_DATA, ~0u, ~0u},  // "QuillexPro" needs 11 with its NUL
        {false, 0, 11, 0, false, ERROR_SUCCESS, 10, ~0u},
        {false, 1, 11, 0, false, ERROR_NO_MORE_ITEMS, ~0u, ~0u},
        {true, 0, 11, 16, true, ERROR_MORE_DATA, ~0u, ~0u},   // "ProductPath" needs 12
        {true, 0, 12, 5, true, ERROR_MORE_DATA, ~0u, 6},      // "C:\KV" needs 6: the size comes back
        {true, 0, 12, 6, true, ERROR_SUCCESS, 11, 6},
        {true, 0, 12, 0, false, ERROR_SUCCESS, 11, 6},        // no data buffer: its size alone
        {true, 1, 12, 16, true, ERROR_NO_MORE_ITEMS, ~0u, ~0u},
    };
    for (OsVersion version : {OsVersion::Win95, OsVersion::NT4}) {
        winsim::ScopedMachine machine(version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane");
        CreateClosed(key, "QuillexPro");
        SetString(key, "ProductPath", "C:\\KV");
        for (size_t i = 0; i < std::size(kRows); ++i) {
            const auto& row = kRows[i];
            char name[16] = "", data[16] = "";
            DWORD nameSize = row.nameSize, dataSize = row.dataSize, type = 0;
            const LONG status =
                row.value ? RegEnumValueA(key, row.index, name, &nameSize, nullptr, &type,
                                          row.withData ? reinterpret_cast<BYTE*>(data) : nullptr, &dataSize)
                          : RegEnumKeyExA(key, row.index, name, &nameSize, nullptr, nullptr, nullptr,
                                          nullptr);
            EXPECT_EQ(row.status, status) << "row " << i << " " << Name(version);
            EXPECT_TRUE(row.nameSizeAfter == ~0u || row.nameSizeAfter == nameSize) << "row " << i << ", " << nameSize;
            EXPECT_TRUE(row.dataSizeAfter == ~0u || row.dataSizeAfter == dataSize) << "row " << i << ", " << dataSize;
            if (status != ERROR_SUCCESS) continue;
            EXPECT_STREQ(row.value ? "ProductPath" : "QuillexPro", name) << "row " << i;
            EXPECT_STREQ(row.withData ? "C:\\KV" : "", data) << "row " << i;
        }
        DWORD size = 16;
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  RegEnumKeyExA(key, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr));
        RegCloseKey(key);
    }
}

TEST(RegistryQueryValue, SizesMissingValuesAndUnterminatedStrings) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Query");
    SetString(key, "Path", "C:\\Dir");
    RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdefgh"), 3);  // stored without NUL
    RegSetValueExA(key, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 0);
    const struct {
        const char* name;
        bool withBuffer;
        DWORD size;
        LONG status;
        DWORD sizeAfter;
        std::string_view read;  // the buffer's first bytes after the call (0xBD: untouched)
    } kRows[] = {
        {"path", false, 0, ERROR_SUCCESS, 7, "\xBD"},      // no buffer: the size, with the NUL; any case
        {"Path", true, 6, ERROR_MORE_DATA, 7, "\xBD"},     // too small: the size needed, nothing written
        {"Path", true, 7, ERROR_SUCCESS, 7, {"C:\\Dir", 7}},
        {"Missing", false, 99, ERROR_FILE_NOT_FOUND, 0, "\xBD"},   // a size query reports 0
        {"Bare", true, 3, ERROR_SUCCESS, 3, "abc\xBD"},    // unterminated unless there is a byte to spare
        {"Bare", true, 4, ERROR_SUCCESS, 3, {"abc", 4}},
        {"Empty", true, 4, ERROR_SUCCESS, 0, "\xBD"},       // nothing stored, nothing added
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        const auto& row = kRows[i];
        char buffer[16];
        std::memset(buffer, 0xBD, sizeof buffer);
        DWORD type = 0xDEADBEEF, size = row.size;
        EXPECT_EQ(row.status, RegQueryValueExA(key, row.name, nullptr, &type,
                                               row.withBuffer ? reinterpret_cast<BYTE*>(buffer) : nullptr, &size))
            << "row " << i;
        EXPECT_EQ(row.sizeAfter, size) << "row " << i;
        EXPECT_EQ(0, std::memcmp(row.read.data(), buffer, row.read.size())) << "row " << i;
        EXPECT_EQ(row.status == ERROR_FILE_NOT_FOUND ? 0u : static_cast<DWORD>(REG_SZ), type) << "row " << i;
    }
    BYTE data[4];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Path", nullptr, nullptr, data, nullptr));
    RegCloseKey(key);
}

TEST(RegistryHandles, Windows95GivesOneCountedHandlePerKeyNtOneHandlePerOpen) {
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        const bool nt = winsim::IsNtFamily(version);
        HKEY first = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared");
        HKEY second = nullptr, third = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\shared", 0, KEY_READ, &second));
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(first, nullptr, 0, KEY_READ, &third));
        EXPECT_EQ(!nt, first == second) << Name(version);
        EXPECT_EQ(!nt, first == third) << Name(version);
        EXPECT_EQ(3u, machine->Reg().OpenHandleCount());
        // 95/98 keep the key open until its last close; NT closes just the one handle.
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
        EXPECT_EQ(ERROR_SUCCESS, SetString(first, "still", "open")) << Name(version);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(third));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
    }
}

// RegDeleteKeyA takes a whole subtree on 95/98; NT refuses a key with subkeys.
TEST(RegistryDeleteKey, SubtreesPerVersionAndAHandleToADeletedKeyOnlyCloses) {
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        const bool nt = winsim::IsNtFamily(version);
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree\\Leaf\\Deeper");
        EXPECT_EQ(nt ? ERROR_ACCESS_DENIED : ERROR_SUCCESS,
                  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree"));
        EXPECT_EQ(nt, HklmKeyExists("SOFTWARE\\Korvane\\Tree\\Leaf\\Deeper")) << Name(version);
        EXPECT_TRUE(HklmKeyExists("SOFTWARE\\Korvane")) << Name(version);

        HKEY doomed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child");
        SetString(doomed, "v", "1");
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child"));
        // A new key of the same name is another key: the old handle stays dead.
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child");

        // The calls report their errors in their result and leave the thread's last error alone.
        SetLastError(0xDEADBEEF);
        char name[32];
        DWORD size = sizeof name;
        HKEY sub = nullptr;
        EXPECT_EQ(ERROR_KEY_DELETED, SetString(doomed, "v", "2")) << Name(version);
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED,
                  RegCreateKeyExA(doomed, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &sub));
        EXPECT_EQ(winsim::IsNtFamily(version) ? ERROR_INVALID_HANDLE : ERROR_BADKEY,
                  RegCloseKey(reinterpret_cast<HKEY>(0x40)));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(HKEY_LOCAL_MACHINE, "Missing"));
        EXPECT_EQ(0xDEADBEEFu, GetLastError()) << Name(version);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed)) << Name(version);
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
    }
}

TEST(RegistryAccess, NtRefusesWhatTheHandleWasNotOpenedFor) {
    const struct {
        REGSAM access;
        LONG query;
        LONG set;
        LONG enumKeys;
    } kRows[] = {
        {KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {KEY_SET_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {MAXIMUM_ALLOWED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (OsVersion version : {OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        const bool nt = winsim::IsNtFamily(version);
        HKEY setup = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Access\\Sub");
        RegCloseKey(setup);
        machine->Reg().SetStringValue("HKLM\\SOFTWARE\\Access", "v", "1");
        for (size_t i = 0; i < std::size(kRows); ++i) {
            const auto& row = kRows[i];
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Access", 0, row.access, &key));
            DWORD size = 0;
            char name[16];
            DWORD nameSize = sizeof name;
            EXPECT_EQ(nt ? row.query : ERROR_SUCCESS, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size))
                << "row " << i << " " << Name(version);
            EXPECT_EQ(nt ? row.set : ERROR_SUCCESS, SetString(key, "v", "2")) << "row " << i << " " << Name(version);
            EXPECT_EQ(nt ? row.enumKeys : ERROR_SUCCESS,
                      RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr))
                << "row " << i << " " << Name(version);
            // The parent's access is never asked when opening or creating below it.
            HKEY child = nullptr;
            EXPECT_EQ(ERROR_SUCCESS,
                      RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr))
                << "row " << i;
            RegCloseKey(child);
            RegCloseKey(key);
        }
    }
}

TEST(RegistryCreateKey, MakesTheMissingKeysMatchesAnyCaseAndKeepsTheFirstSpelling) {
    for (OsVersion version : {OsVersion::Win98, OsVersion::NT4}) {
        winsim::ScopedMachine machine(version);
        HKEY key = nullptr;
        DWORD disposition = 0;
        for (const auto& [path, expected] : {std::pair{"SOFTWARE\\A\\\xC9t\xE9\\C", REG_CREATED_NEW_KEY},
                                             std::pair{"software\\a\\\xE9T\xC9", REG_OPENED_EXISTING_KEY}}) {
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                     &key, &disposition));
            EXPECT_EQ(static_cast<DWORD>(expected), disposition) << path << " " << Name(version);
            RegCloseKey(key);
        }
        EXPECT_EQ((std::vector<std::string>{"\xC9t\xE9"}), machine->Reg().SubkeyNames("HKLM\\SOFTWARE\\A"));
        // The NT hive roots take no new keys; 95/98 do not mind.
        const LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "NewTopLevel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            &key, nullptr);
        EXPECT_EQ(winsim::IsNtFamily(version) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS, status) << Name(version);
        if (status == ERROR_SUCCESS) RegCloseKey(key);
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
    }
}

TEST(RegistryPredefinedKeys, ViewsOfTheStoredHivesPerVersion) {
    const struct {
        OsVersion version;
        const char* currentUser;
        const char* currentConfig;
    } kRows[] = {
        {OsVersion::Win95, "HKEY_USERS\\.DEFAULT", "HKEY_LOCAL_MACHINE\\Config\\0001"},
        {OsVersion::NT4, "HKEY_USERS\\S-1-5-21-1085031214-1563985344-725345543-500",
         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        for (const auto& [root, target] : {std::pair{HKEY_CURRENT_USER, std::string(row.currentUser)},
                                           std::pair{HKEY_CURRENT_CONFIG, std::string(row.currentConfig)},
                                           std::pair{HKEY_CLASSES_ROOT, std::string("HKLM\\SOFTWARE\\Classes")}}) {
            HKEY key = Create(root, "Probe");
            SetString(key, "where", "here");
            RegCloseKey(key);
            EXPECT_EQ("here", machine->Reg().StringValue(target + "\\Probe", "where").value_or("missing"))
                << target << " " << Name(row.version);
        }
    }
}
