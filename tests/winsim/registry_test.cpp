// The simulated registry through the Reg*A calls, on the versions where their behaviour differs.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

std::vector<std::string> EnumKeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        names.emplace_back(name);
        size = sizeof name;
    }
    return names;
}

std::vector<std::string> EnumValues(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        names.emplace_back(name);
        size = sizeof name;
    }
    return names;
}

bool Exists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

TEST(RegistryDeleteKey, SubtreeGoesOn95And98ButNtRefusesAKeyWithSubkeys) {
    const struct {
        OsVersion version;
        LONG status;
        bool treeGone;
    } kRows[] = {
        {OsVersion::Win95, ERROR_SUCCESS, true},
        {OsVersion::Win98, ERROR_SUCCESS, true},
        {OsVersion::NT4, ERROR_ACCESS_DENIED, false},
        {OsVersion::Win2000, ERROR_ACCESS_DENIED, false},
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree\\Leaf\\Deeper");
        EXPECT_EQ(row.status, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree")) << Name(row.version);
        EXPECT_EQ(!row.treeGone, Exists("SOFTWARE\\Korvane\\Tree\\Leaf\\Deeper")) << Name(row.version);
        EXPECT_TRUE(Exists("SOFTWARE\\Korvane")) << Name(row.version);
        // Leaves first works everywhere.
        if (!row.treeGone) {
            EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree\\Leaf\\Deeper"));
            EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree\\Leaf"));
            EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree"));
        }
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tree"));
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
    }
}

TEST(RegistryDeleteKey, EmptyNameDeletesTheHandlesKeyNullNameIsRefused) {
    const struct {
        OsVersion version;
        LONG nullName;
    } kRows[] = {{OsVersion::Win98, ERROR_BADKEY}, {OsVersion::Win2000, ERROR_INVALID_PARAMETER}};
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane");
        EXPECT_EQ(row.nullName, RegDeleteKeyA(key, nullptr)) << Name(row.version);
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "")) << Name(row.version);
        EXPECT_FALSE(Exists("SOFTWARE\\Korvane"));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        // A predefined key or a hive root never goes.
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "")) << Name(row.version);
        EXPECT_TRUE(machine->Reg().KeyExists("HKCU"));
    }
}

TEST(RegistryEnumeration, NtSortsSubkeysCaseInsensitively95And98KeepCreationOrder) {
    const char* kCreated[] = {"beta", "Alpha", "_under", "gamma", "ALPHA2", "\xC9t\xE9"};
    const std::vector<std::string> kSorted = {"Alpha", "ALPHA2", "beta", "gamma", "_under", "\xC9t\xE9"};
    const std::vector<std::string> kInOrder(std::begin(kCreated), std::end(kCreated));
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
        for (const char* name : kCreated) CreateClosed(parent, name);
        EXPECT_EQ(winsim::IsNtFamily(version) ? kSorted : kInOrder, EnumKeys(parent)) << Name(version);
        RegCloseKey(parent);
    }
}

TEST(RegistryEnumeration, NtListsVolatileSubkeysAfterTheStableOnes) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
    RegCloseKey(Create(parent, "a-volatile", KEY_ALL_ACCESS, REG_OPTION_VOLATILE));
    CreateClosed(parent, "z-stable");
    CreateClosed(parent, "b-stable");
    EXPECT_EQ((std::vector<std::string>{"b-stable", "z-stable", "a-volatile"}), EnumKeys(parent));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              RegCreateKeyExA(parent, "a-volatile\\stable", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    RegCloseKey(parent);
}

TEST(RegistryEnumeration, ValuesKeepTheOrderTheyWereFirstSetIn) {
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Values");
        for (const char* name : {"zeta", "Alpha", "mid", ""}) SetString(key, name, "1");
        SetString(key, "ALPHA", "again");  // same value, other spelling
        RegDeleteValueA(key, "mid");
        SetString(key, "mid", "back");
        EXPECT_EQ((std::vector<std::string>{"zeta", "Alpha", "", "mid"}), EnumValues(key)) << Name(version);
        EXPECT_EQ("again", *machine->Reg().StringValue("HKLM\\SOFTWARE\\Values", "alpha"));
        RegCloseKey(key);
    }
}

TEST(RegistryNames, LookupIgnoresCaseAndTheFirstSpellingStays) {
    for (OsVersion version : {OsVersion::Win95, OsVersion::NT4}) {
        winsim::ScopedMachine machine(version);
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MixedCase\\\xC9t\xE9");
        DWORD disposition = 0;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\MIXEDCASE\\\xE9T\xC9", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition) << Name(version);
        RegCloseKey(key);
        EXPECT_EQ((std::vector<std::string>{"\xC9t\xE9"}), machine->Reg().SubkeyNames("HKLM\\SOFTWARE\\MixedCase"));
    }
}

TEST(RegistryEnumKey, BufferMustHoldTheNameAndItsNul) {
    const struct {
        DWORD size;
        LONG status;
        DWORD sizeAfter;
        const char* buffer;
    } kRows[] = {
        {0, ERROR_MORE_DATA, 0, "xxxxxxxx"},  // nothing written on overflow
        {5, ERROR_MORE_DATA, 5, "xxxxxxxx"},  // room for the name but not its NUL
        {6, ERROR_SUCCESS, 5, "Sub_1"},       // the size comes back without the NUL
        {100, ERROR_SUCCESS, 5, "Sub_1"},
    };
    for (OsVersion version : {OsVersion::Win98, OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Enum");
        CreateClosed(parent, "Sub_1");
        for (size_t i = 0; i < std::size(kRows); ++i) {
            char name[9] = "xxxxxxxx";
            DWORD size = kRows[i].size;
            EXPECT_EQ(kRows[i].status, RegEnumKeyExA(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr))
                << "row " << i << " " << Name(version);
            EXPECT_EQ(kRows[i].sizeAfter, size) << "row " << i;
            EXPECT_STREQ(kRows[i].buffer, name) << "row " << i;
        }
        char name[16];
        DWORD size = sizeof name;
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(parent, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  RegEnumKeyExA(parent, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr));
        RegCloseKey(parent);
    }
}

TEST(RegistryEnumKey, ReturnsTheClassGivenAtCreation) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classy");
    char className[] = "SensorClass";
    HKEY child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(parent, "Child", 0, className, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    RegCloseKey(child);
    char name[16], cls[16];
    DWORD nameSize = sizeof name, classSize = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(parent, 0, name, &nameSize, nullptr, cls, &classSize, nullptr));
    classSize = sizeof cls;
    FILETIME written{};
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(parent, 0, name, &nameSize, nullptr, cls, &classSize, &written));
    EXPECT_STREQ("SensorClass", cls);
    EXPECT_EQ(11u, classSize);
    EXPECT_NE(0u, written.dwHighDateTime);
    RegCloseKey(parent);
}

TEST(RegistryEnumValue, OverflowReportsSizesAndWritesNothing) {
    const struct {
        DWORD nameSize;
        DWORD dataSize;
        LONG status;
        DWORD nameSizeAfter;
        DWORD dataSizeAfter;
        const char* name;
        const char* data;
    } kRows[] = {
        {2, 2, ERROR_MORE_DATA, 2, 7, "xxxxxxxxxx", "xxxxxxxxxx"},    // both too small
        {4, 20, ERROR_MORE_DATA, 4, 7, "xxxxxxxxxx", "xxxxxxxxxx"},   // name without room for its NUL
        {0, 20, ERROR_MORE_DATA, 0, 7, "xxxxxxxxxx", "xxxxxxxxxx"},   // empty name buffer
        {20, 6, ERROR_MORE_DATA, 20, 7, "xxxxxxxxxx", "xxxxxxxxxx"},  // data one byte short
        {20, 7, ERROR_SUCCESS, 4, 7, "Test", "foobar"},
        {5, 20, ERROR_SUCCESS, 4, 7, "Test", "foobar"},
    };
    for (OsVersion version : {OsVersion::Win95, OsVersion::NT4}) {
        winsim::ScopedMachine machine(version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\EnumValue");
        SetString(key, "Test", "foobar");
        for (size_t i = 0; i < std::size(kRows); ++i) {
            const auto& row = kRows[i];
            char name[20] = "xxxxxxxxxx", data[20] = "xxxxxxxxxx";
            DWORD nameSize = row.nameSize, dataSize = row.dataSize, type = 1234;
            EXPECT_EQ(row.status, RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                                &dataSize))
                << "row " << i << " " << Name(version);
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << "row " << i;
            EXPECT_EQ(row.nameSizeAfter, nameSize) << "row " << i;
            EXPECT_EQ(row.dataSizeAfter, dataSize) << "row " << i;
            EXPECT_STREQ(row.name, name) << "row " << i;
            EXPECT_STREQ(row.data, data) << "row " << i;
        }
        // No data buffer: the size alone.
        char name[20];
        DWORD nameSize = sizeof name, dataSize = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, &dataSize));
        EXPECT_EQ(7u, dataSize);
        nameSize = sizeof name;
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumValueA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr));
        RegCloseKey(key);
    }
}

TEST(RegistryQueryValue, SizesMissingValuesAndUnterminatedStrings) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Query");
    SetString(key, "Path", "C:\\Dir");
    BYTE buffer[16];
    DWORD type = 0, size = 0;

    // No buffer: the size, with the NUL.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "path", nullptr, &type, nullptr, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    // Too small: ERROR_MORE_DATA with the size needed, buffer untouched.
    size = 6;
    std::memset(buffer, 0xBD, sizeof buffer);
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Path", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(0xBD, buffer[0]);
    size = 7;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, nullptr, buffer, &size));
    EXPECT_STREQ("C:\\Dir", reinterpret_cast<char*>(buffer));

    // A missing value: a size query reports 0, a caller's buffer size stays.
    size = 99;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
    size = sizeof buffer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(sizeof buffer, size);

    // Stored without its NUL: read back unterminated unless the buffer has a byte to spare.
    RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdefgh"), 3);
    std::memset(buffer, 0xBD, sizeof buffer);
    size = 3;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0xBD, buffer[3]);
    size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, buffer[3]);

    // One variable for type and size, as some callers pass it.
    const DWORD number = 0x12345678;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    DWORD both = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Number", nullptr, &both, buffer, &both));
    EXPECT_EQ(0, std::memcmp(buffer, &number, 4));

    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Path", nullptr, nullptr, buffer, nullptr));
    RegCloseKey(key);
}

TEST(RegistrySetValue, StringLengthsAndMissingDataPerVersion) {
    const char text[] = "FullString";
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        const bool nt = winsim::IsNtFamily(version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Set");
        // A length one short of the NUL: NT takes the NUL along, 95/98 store what they were given.
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "OffByOne", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                                sizeof text - 1));
        auto stored = machine->Reg().GetValue("HKLM\\SOFTWARE\\Set", "OffByOne");
        EXPECT_EQ(nt ? sizeof text : sizeof text - 1, stored->data.size()) << Name(version);
        // Two short: no NUL next to it, nothing added.
        RegSetValueExA(key, "OffByTwo", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text - 2);
        EXPECT_EQ(sizeof text - 2, machine->Reg().GetValue("HKLM\\SOFTWARE\\Set", "OffByTwo")->data.size());
        // Binary data is never extended.
        RegSetValueExA(key, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 3);
        EXPECT_EQ(3u, machine->Reg().GetValue("HKLM\\SOFTWARE\\Set", "Binary")->data.size());

        EXPECT_EQ(nt ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER, RegSetValueExA(key, "Empty", 0, REG_SZ, nullptr, 0))
            << Name(version);
        EXPECT_EQ(nt ? ERROR_NOACCESS : ERROR_INVALID_PARAMETER, RegSetValueExA(key, "Empty", 0, REG_SZ, nullptr, 4))
            << Name(version);
        RegCloseKey(key);
    }
}

TEST(RegistryQueryInfoKey, CountsAndLongestNamesWithoutTheirNul) {
    const struct {
        OsVersion version;
        DWORD maxValueLen;  // NT reports its UTF-16 storage for strings
    } kRows[] = {{OsVersion::Win95, 18}, {OsVersion::Win98, 18}, {OsVersion::NT4, 36}, {OsVersion::Win2000, 36}};
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        char className[] = "class";
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Info", 0, className, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        DWORD subKeys = 9, maxSubKey = 9, maxClass = 9, values = 9, maxValueName = 9, maxValue = 9;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, &maxClass,
                                                  &values, &maxValueName, &maxValue, nullptr, nullptr));
        EXPECT_EQ(0u, subKeys + maxSubKey + maxClass + values + maxValueName + maxValue) << Name(row.version);

        char childClass[] = "longer class";
        HKEY child = nullptr;
        RegCreateKeyExA(key, "Sub", 0, childClass, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
        RegCloseKey(child);
        CreateClosed(key, "Longest subkey");
        SetString(key, nullptr, "data");
        SetString(key, "value one", "second value data");  // 18 bytes with its NUL
        const BYTE bytes[12] = {};
        RegSetValueExA(key, "bin", 0, REG_BINARY, bytes, sizeof bytes);

        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, &maxClass,
                                                  &values, &maxValueName, &maxValue, nullptr, nullptr));
        EXPECT_EQ(2u, subKeys);
        EXPECT_EQ(14u, maxSubKey) << Name(row.version);
        EXPECT_EQ(12u, maxClass);
        EXPECT_EQ(3u, values);
        EXPECT_EQ(9u, maxValueName);
        EXPECT_EQ(row.maxValueLen, maxValue) << Name(row.version);

        // The key's own class: a short buffer gets what fits, terminated, and ERROR_MORE_DATA.
        char cls[8];
        std::memset(cls, 0x55, sizeof cls);
        DWORD classSize = 5;
        EXPECT_EQ(ERROR_MORE_DATA, RegQueryInfoKeyA(key, cls, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(4u, classSize);
        EXPECT_STREQ("clas", cls);
        classSize = sizeof cls;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, cls, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(5u, classSize);
        EXPECT_STREQ("class", cls);
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryInfoKeyA(key, cls, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                            nullptr, nullptr, nullptr, nullptr, nullptr));
        RegCloseKey(key);
    }
}

TEST(RegistryHandles, ClosedAndUnknownHandlesAreRefusedInEachVersionsWords) {
    const struct {
        OsVersion version;
        LONG badHandle;
    } kRows[] = {{OsVersion::Win95, ERROR_BADKEY}, {OsVersion::Win98, ERROR_BADKEY},
                 {OsVersion::NT4, ERROR_INVALID_HANDLE}, {OsVersion::Win2000, ERROR_INVALID_HANDLE}};
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Handles");
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        EXPECT_EQ(row.badHandle, RegCloseKey(key)) << Name(row.version);
        EXPECT_EQ(row.badHandle, SetString(key, "x", "y")) << Name(row.version);
        EXPECT_EQ(row.badHandle, RegCloseKey(nullptr));
        HKEY result = reinterpret_cast<HKEY>(0x1234);
        EXPECT_EQ(row.badHandle, RegOpenKeyExA(nullptr, "SOFTWARE", 0, KEY_READ, &result));
        EXPECT_EQ(reinterpret_cast<HKEY>(0x1234), result) << "left alone for a bad parent";
        // Predefined keys are always open and closing them is harmless.
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    }
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

TEST(RegistryHandles, AHandleToADeletedKeyOnlyCloses) {
    for (OsVersion version : kAllVersions) {
        winsim::ScopedMachine machine(version);
        HKEY doomed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child");
        HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");
        SetString(doomed, "v", "1");
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child"));
        // A new key of the same name is another key: the old handle stays dead.
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child");

        char name[32];
        DWORD size = sizeof name, subKeys = 0;
        HKEY sub = nullptr;
        EXPECT_EQ(ERROR_KEY_DELETED, SetString(doomed, "v", "2")) << Name(version);
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyA(doomed, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED,
                  RegCreateKeyExA(doomed, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExA(doomed, nullptr, 0, KEY_READ, &sub));
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueA(doomed, "v"));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed)) << Name(version);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(1u, subKeys);
        RegCloseKey(parent);
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
        {KEY_QUERY_VALUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {0x80000000 /* GENERIC_READ */, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {MAXIMUM_ALLOWED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
        {0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
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

TEST(RegistryOpenKey, SubkeyNamesAndTheirEdgeCases) {
    for (OsVersion version : {OsVersion::Win95, OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        const bool nt = winsim::IsNtFamily(version);
        CreateClosed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro");
        HKEY key = reinterpret_cast<HKEY>(0x1234);
        // No subkey of a predefined key: the predefined key itself.
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key));
        EXPECT_EQ(HKEY_CLASSES_ROOT, key);
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key));
        EXPECT_EQ(HKEY_LOCAL_MACHINE, key);
        // Trailing and doubled backslashes are harmless.
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Korvane\\QuillexPro\\\\", 0, KEY_READ, &key));
        RegCloseKey(key);
        // A leading backslash is a bad path on NT only.
        key = nullptr;
        EXPECT_EQ(nt ? ERROR_BAD_PATHNAME : ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Korvane", 0, KEY_READ, &key))
            << Name(version);
        if (key) RegCloseKey(key);
        // A missing key clears the result.
        key = reinterpret_cast<HKEY>(0x1234);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key));
        EXPECT_EQ(nullptr, key);
        EXPECT_FALSE(machine->Reg().KeyExists("HKLM\\SOFTWARE\\Missing")) << "opening creates nothing";
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr));
        const std::string overlong(256, 'k');
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + overlong).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr));
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
    }
}

TEST(RegistryCreateKey, MakesTheMissingKeysAndReportsWhetherTheLastWasNew) {
    for (OsVersion version : {OsVersion::Win98, OsVersion::NT4}) {
        winsim::ScopedMachine machine(version);
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
        RegCloseKey(key);
        EXPECT_TRUE(machine->Reg().KeyExists("HKLM\\SOFTWARE\\A\\B\\C"));
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

TEST(RegistryCalls, LeaveTheThreadsLastErrorAlone) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    SetLastError(0xDEADBEEF);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x40)));
    key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Present");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "Missing"));
    RegCloseKey(key);
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
}
