// CreateFileA's dispositions and share modes, and reading, writing and moving on a file handle.
#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace {

using winsim::OsVersion;

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
}

TEST(FileIo, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
    struct Row {
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD lastError;
        const char* contentsAfter;  // nullptr: no file
    };
    const Row kRows[] = {
        {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
        {0, true, false, ERROR_INVALID_PARAMETER, "old"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(OsVersion::Win2000);
        if (kRows[i].exists) {
            ASSERT_TRUE(winsim::WriteWholeFile("C:\\file.txt", "old"));
        }
        SetLastError(0xDEADBEEF);
        HANDLE file = Open("c:\\FILE.txt", GENERIC_READ | GENERIC_WRITE, 0, kRows[i].disposition);
        EXPECT_EQ(static_cast<DWORD>(kRows[i].lastError), GetLastError());
        EXPECT_EQ(kRows[i].opens, file != INVALID_HANDLE_VALUE);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        auto contents = winsim::ReadWholeFile("C:\\file.txt");
        EXPECT_EQ(kRows[i].contentsAfter != nullptr, contents.has_value());
        if (contents && kRows[i].contentsAfter) {
            EXPECT_EQ(kRows[i].contentsAfter, *contents);
        }
    }
}

TEST(FileIo, PathsThatNameNoFileFail) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Data\\file.txt", "x"));
    struct Row {
        const char* path;
        DWORD error;
    };
    const Row kRows[] = {
        {"C:\\Missing\\new.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\Data\\file.txt\\below.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\Data", ERROR_ACCESS_DENIED},
        {"C:\\Data\\*.txt", ERROR_INVALID_NAME},
        {"", ERROR_PATH_NOT_FOUND},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i << " " << kRows[i].path);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(kRows[i].path, GENERIC_WRITE, 0, OPEN_ALWAYS));
        EXPECT_EQ(kRows[i].error, GetLastError());
    }
}

TEST(FileIo, ShareModesDecideWhetherASecondOpenSucceeds) {
    struct Row {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    const Row kRows[] = {
        {R, SR, R, SR, true},
        {R, 0, R, SR, false},           // the first shares nothing
        {R, SR, R, 0, false},           // the second would deny the first's reading
        {W, SR, R, SR | SW, true},
        {W, SR, W, SR | SW, false},     // writing not shared by the first
        {W, SR | SW, W, SR | SW, true}, // the trace file's way: many writers and readers
        {W, SR | SW, R, SR, false},     // the second would deny the first's writing
        {0, 0, W, 0, true},             // an open without data access takes no part
        {R | W, SR | SW, R, SR | SW, true},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(OsVersion::Win2000);
        HANDLE first = Open("C:\\shared.bin", kRows[i].firstAccess, kRows[i].firstShare, OPEN_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, first);
        SetLastError(0xDEADBEEF);
        HANDLE second = Open("C:\\SHARED.BIN", kRows[i].secondAccess, kRows[i].secondShare, OPEN_EXISTING);
        EXPECT_EQ(kRows[i].secondOpens, second != INVALID_HANDLE_VALUE);
        if (second != INVALID_HANDLE_VALUE)
            CloseHandle(second);
        else
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        CloseHandle(first);
        // Once the first handle is closed, nothing stands in the way.
        second = Open("C:\\shared.bin", kRows[i].secondAccess, kRows[i].secondShare, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, second);
        CloseHandle(second);
    }
}

TEST(FileIo, EachHandleKeepsItsOwnPosition) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE a = Open("C:\\log.txt", GENERIC_READ | GENERIC_WRITE, share, CREATE_ALWAYS);
    HANDLE b = Open("C:\\log.txt", GENERIC_WRITE, share, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, a);
    ASSERT_NE(INVALID_HANDLE_VALUE, b);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(a, "hello world", 11, &done, nullptr));
    EXPECT_EQ(11u, done);
    // b is still at 0 and overwrites; moved to the end first, it appends.
    EXPECT_TRUE(WriteFile(b, "HELLO", 5, &done, nullptr));
    EXPECT_EQ(11u, SetFilePointer(b, 0, nullptr, FILE_END));
    EXPECT_TRUE(WriteFile(b, "!", 1, &done, nullptr));
    EXPECT_EQ(12u, GetFileSize(a, nullptr));

    EXPECT_EQ(6u, SetFilePointer(a, -6, nullptr, FILE_END));
    char text[16] = {};
    EXPECT_TRUE(ReadFile(a, text, sizeof text, &done, nullptr));
    EXPECT_EQ("world!", std::string(text, done));
    // At the end a read succeeds with nothing.
    EXPECT_TRUE(ReadFile(a, text, sizeof text, &done, nullptr));
    EXPECT_EQ(0u, done);
    EXPECT_EQ(8u, SetFilePointer(a, -4, nullptr, FILE_CURRENT));

    SetLastError(0);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(a, -100, nullptr, FILE_CURRENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
    // With the high part the distance is 64 bits: 4 GiB here, whose low part is 0.
    LONG high = 1;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0u, SetFilePointer(a, 0, &high, FILE_BEGIN));
    EXPECT_EQ(1, high);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_EQ(16u, SetFilePointer(a, 4, nullptr, FILE_END));  // beyond the end is allowed

    // b was opened for writing only.
    SetLastError(0);
    EXPECT_FALSE(ReadFile(b, text, 1, &done, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ("HELLO world!", *winsim::ReadWholeFile("C:\\log.txt"));
}

TEST(FileIo, ReadOnlyFilesCanBeReadButNotWrittenOrReplaced) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    HANDLE created = Open("C:\\ro.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(INVALID_HANDLE_VALUE, created);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(created, "kept", 4, &done, nullptr));  // the creating handle may write
    CloseHandle(created);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY), GetFileAttributesA("C:\\ro.txt"));
    for (DWORD disposition : {static_cast<DWORD>(OPEN_EXISTING), static_cast<DWORD>(CREATE_ALWAYS)}) {
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open("C:\\ro.txt", GENERIC_WRITE, 0, disposition)) << disposition;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    HANDLE reader = Open("C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);
    EXPECT_EQ("kept", *winsim::ReadWholeFile("C:\\ro.txt"));
}

TEST(FileIo, CallsOnOtherHandlesFail) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    DWORD done = 0;
    for (HANDLE handle : {mutex, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(WriteFile(handle, "x", 1, &done, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(handle, nullptr));
    }
    CloseHandle(mutex);
}

}  // namespace
