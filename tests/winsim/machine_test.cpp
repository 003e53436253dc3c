#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

using winsim::OsVersion;

TEST(Machine, VersionRecordsAndDirectoriesOfEachVersion) {
    struct Row {
        OsVersion version;
        DWORD major, minor, buildLow, platform;
        const char* csd;
        const char* windows;
        const char* system;
    } rows[] = {
        {OsVersion::Win95, 4, 0, 950, 1, "", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"},
        {OsVersion::Win98, 4, 10, 1998, 1, "", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"},
        {OsVersion::NT4, 4, 0, 1381, 2, "Service Pack 6", "C:\\WINNT", "C:\\WINNT\\System32"},
        {OsVersion::Win2000, 5, 0, 2195, 2, "", "C:\\WINNT", "C:\\WINNT\\System32"},
        {OsVersion::WinXP, 5, 1, 2600, 2, "Service Pack 2", "C:\\WINDOWS", "C:\\WINDOWS\\System32"},
    };
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(row.version);
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        const char* name = winsim::OsVersionName(row.version);
        EXPECT_EQ(row.major, info.dwMajorVersion) << name;
        EXPECT_EQ(row.minor, info.dwMinorVersion) << name;
        EXPECT_EQ(row.buildLow, info.dwBuildNumber & 0xFFFF) << name;
        EXPECT_EQ(row.platform, info.dwPlatformId) << name;
        EXPECT_STREQ(row.csd, info.szCSDVersion) << name;
        char dir[MAX_PATH];
        EXPECT_EQ(std::strlen(row.windows), GetWindowsDirectoryA(dir, MAX_PATH)) << name;
        EXPECT_STREQ(row.windows, dir);
        GetSystemDirectoryA(dir, MAX_PATH);
        EXPECT_STREQ(row.system, dir);
        EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(row.system)) << name;
        EXPECT_EQ(row.version, winsim::ParseOsVersion(name));
    }
}

TEST(Machine, VersionQueryRefusesAWrongRecordSize) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info + 28;  // the extended record's size
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(Machine, SleepAdvancesTheVirtualClockOnly) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    const DWORD before = GetTickCount();
    Sleep(60000);
    EXPECT_EQ(before + 60000, GetTickCount());
}

TEST(Machine, LastErrorIsPerThread) {
    SetLastError(5);
    DWORD seen = 0;
    std::thread([&] { seen = GetLastError(); }).join();
    EXPECT_EQ(0u, seen);
    EXPECT_EQ(5u, GetLastError());
}

TEST(Files, FullPathsResolveDotsSeparatorsAndTheCurrentDirectory) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    machine->SetCurrentDirectory("C:\\Setup\\Disk1");
    struct Row {
        const char* in;
        const char* out;  // nullptr: refused
    } rows[] = {
        {"C:\\a\\..\\B", "C:\\B"},
        {"c:/x//y/./z", "C:\\x\\y\\z"},
        {"file.inf", "C:\\Setup\\Disk1\\file.inf"},
        {"..\\other.inf", "C:\\Setup\\other.inf"},
        {"\\rooted.inf", "C:\\rooted.inf"},
        {"D:\\", "D:\\"},
        {"C:\\..", nullptr},
        {"C:relative", nullptr},
        {"\\\\server\\share\\x", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        auto full = winsim::FullWindowsPath(row.in);
        if (row.out) {
            ASSERT_TRUE(full.has_value()) << row.in;
            EXPECT_EQ(row.out, *full) << row.in;
        } else {
            EXPECT_FALSE(full.has_value()) << row.in;
        }
    }
}

TEST(Files, NamesMatchWithoutRegardToCase) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Korvane\\ReadMe.TXT", "hello"));
    EXPECT_EQ("hello", winsim::ReadWholeFile("c:\\PROGRAM FILES\\korvane\\readme.txt").value_or(""));
    // Writing under another spelling replaces the same file instead of making a second one.
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\program files\\KORVANE\\readme.txt", "again"));
    const auto folder = std::filesystem::path(machine->RootFolder()) / "C" / "Program Files" / "Korvane";
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder), {}));
    EXPECT_EQ("again", winsim::ReadWholeFile("C:\\Program Files\\Korvane\\ReadMe.TXT").value_or(""));
    EXPECT_FALSE(winsim::ReadWholeFile("C:\\nothing.txt").has_value());
}

TEST(Files, CurrentDirectoryMustExist) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\missing"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(SetCurrentDirectoryA("c:\\winnt\\system32"));
    char dir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, dir);
    EXPECT_STREQ("C:\\winnt\\system32", dir);
    char tiny[4];
    EXPECT_EQ(std::strlen(dir) + 1, GetCurrentDirectoryA(sizeof tiny, tiny));
}

TEST(CodePages, ConversionBufferRules) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    WCHAR wide[8];
    // With -1 the NUL is converted and counted.
    EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abcdefghij", -1, wide, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    // UTF-8 to UTF-16 and back, including a character beyond the basic plane.
    const char utf8[] = "\xea\xb2\xbd\xea\xb3\xa0: \xf0\x9f\x98\x80";
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 8);
    EXPECT_EQ(7, n);
    char back[16];
    EXPECT_EQ(static_cast<int>(sizeof utf8), WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 16, nullptr, nullptr));
    EXPECT_STREQ(utf8, back);
    BOOL usedDefault = FALSE;
    EXPECT_EQ(7, WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 16, nullptr, &usedDefault));
    EXPECT_TRUE(usedDefault);
    EXPECT_STREQ("??: ??", back);
}
