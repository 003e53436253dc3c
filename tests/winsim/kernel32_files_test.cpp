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
        {CREATE_NEW, false, true, ERROR_SUCCESS, ""},            {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},         {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},  {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},           {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0}, {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
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
        EXPECT_EQ(kRows[i].contentsAfter ? kRows[i].contentsAfter : "(no file)",
                  winsim::ReadWholeFile("C:\\file.txt").value_or("(no file)"));
    }
}

// The trace file's own sharing, and a holder that shares nothing, the trace tests meet.
TEST(FileIo, ShareModesDecideWhetherASecondOpenSucceeds) {
    struct Row {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    const Row kRows[] = {
        {R, SR, R, SR, true},
        {W, SR | SW, R, SR, false},     // the second would deny the first's writing
        {0, 0, W, 0, true},             // an open without data access takes no part
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(OsVersion::Win2000);
        HANDLE first = Open("C:\\shared.bin", kRows[i].firstAccess, kRows[i].firstShare, OPEN_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, first);
        SetLastError(0xDEADBEEF);
        HANDLE second = Open("C:\\SHARED.BIN", kRows[i].secondAccess, kRows[i].secondShare, OPEN_EXISTING);
        EXPECT_EQ(kRows[i].secondOpens, second != INVALID_HANDLE_VALUE);
        EXPECT_EQ(kRows[i].secondOpens ? DWORD{0} : DWORD{ERROR_SHARING_VIOLATION}, GetLastError());
        CloseHandle(second);
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
    ASSERT_TRUE(a != INVALID_HANDLE_VALUE && b != INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(a, "hello world", 11, &done, nullptr));
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
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);
    EXPECT_EQ("kept", *winsim::ReadWholeFile("C:\\ro.txt"));  // the refused CREATE_ALWAYS truncated nothing
}

}  // namespace
