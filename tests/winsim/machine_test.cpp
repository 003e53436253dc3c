// The machine itself: version query, last error, drives and paths. The clock that Sleep advances is
// proven by the service stop waits (tests/inf).
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

using winsim::OsVersion;

TEST(Machine, VersionQueryRefusesAWrongRecordSize) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info + 28;  // the extended record's size
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
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
