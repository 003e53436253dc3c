// CreateFileA's dispositions and share modes, and reading, writing and moving on a file handle.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winsim::OsVersion;
using namespace std::string_literals;

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
}

TEST(FileIo, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
    struct Row {
        DWORD disposition;
        bool exists, opens;
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

TEST(FileIo, ReadOnlyFilesAndSetEndOfFileRefuseWhatTheHandleMayNotDo) {
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
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetEndOfFile(reader));  // it needs a handle open for writing
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(reader);
    EXPECT_EQ("kept", *winsim::ReadWholeFile("C:\\ro.txt"));  // nor did the refused CREATE_ALWAYS truncate

    // SetEndOfFile cuts or grows at the handle's position.
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\f.txt", "0123456789"));
    HANDLE file = Open("C:\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    SetFilePointer(file, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    SetFilePointer(file, 6, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(std::string("0123\0\0", 6), *winsim::ReadWholeFile("C:\\f.txt"));
}

// Windows 95 and 98 have no MoveFileExA at all; the NT family renames now or records for the restart.
TEST(MoveFile, ResultsOnEachVersion) {
    using Account = winsim::Machine::Account;
    struct Row {
        OsVersion version;
        const char *source, *target;
        DWORD flags;
        Account account;
        DWORD error;                      // 0: succeeds
        const char *oldAfter, *newAfter;  // contents after, "-" for no file
    };
    const DWORD delay = MOVEFILE_DELAY_UNTIL_REBOOT, replace = MOVEFILE_REPLACE_EXISTING;
    const Account admin = Account::Administrator;
    const Row kRows[] = {
        {OsVersion::Win95, "C:\\old.txt", "C:\\new.txt", 0, admin, ERROR_CALL_NOT_IMPLEMENTED, "old", "-"},
        {OsVersion::Win98, "C:\\old.txt", nullptr, delay, admin, ERROR_CALL_NOT_IMPLEMENTED, "old", "-"},
        {OsVersion::NT4, "c:\\OLD.TXT", "C:\\new.txt", 0, admin, 0, "-", "old"},
        {OsVersion::NT4, "C:\\old.txt", nullptr, 0, admin, ERROR_INVALID_PARAMETER, "old", "-"},
        {OsVersion::NT4, "C:\\gone.txt", "C:\\new.txt", 0, admin, ERROR_FILE_NOT_FOUND, "old", "-"},
        {OsVersion::Win2000, "C:\\old.txt", "C:\\taken.txt", 0, admin, ERROR_ALREADY_EXISTS, "old", "-"},
        {OsVersion::Win2000, "C:\\old.txt", "C:\\taken.txt", replace, admin, 0, "-", "-"},
        {OsVersion::Win2000, "C:\\old.txt", "D:\\new.txt", 0, admin, ERROR_NOT_SAME_DEVICE, "old", "-"},
        {OsVersion::Win2000, "C:\\old.txt", nullptr, delay, Account::User, ERROR_ACCESS_DENIED, "old", "-"},
        {OsVersion::Win2000, "C:\\old.txt", "C:\\new.txt", delay | MOVEFILE_COPY_ALLOWED, admin, ERROR_INVALID_PARAMETER,
         "old", "-"},
        {OsVersion::NT4, "C:\\old.txt", "C:\\new.txt", delay, Account::LocalSystem, 0, "old", "-"},  // nothing yet
        {OsVersion::Win2000, "C:\\old.txt\\", "C:\\new.txt", 0, admin, ERROR_INVALID_NAME, "old", "-"},
        {OsVersion::Win2000, "C:\\old.txt", "C:\\new.txt\\", 0, admin, ERROR_INVALID_NAME, "old", "-"},
        {OsVersion::Win2000, "C:\\taken.txt\\old.txt", "C:\\new.txt", 0, admin, ERROR_PATH_NOT_FOUND, "old", "-"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(row.version);
        machine->SetCallerAccount(row.account);
        ASSERT_TRUE(winsim::WriteWholeFile("C:\\old.txt", "old"));
        ASSERT_TRUE(winsim::WriteWholeFile("C:\\taken.txt", "taken"));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(row.error == 0, MoveFileExA(row.source, row.target, row.flags) != FALSE);
        if (row.error) {
            EXPECT_EQ(row.error, GetLastError());
        }
        EXPECT_EQ(row.oldAfter, winsim::ReadWholeFile("C:\\old.txt").value_or("-"));
        EXPECT_EQ(row.newAfter, winsim::ReadWholeFile("C:\\new.txt").value_or("-"));
        if ((row.flags & replace) && !row.error && !(row.flags & delay)) {
            EXPECT_EQ("old", *winsim::ReadWholeFile("C:\\taken.txt"));
        }
    }
}

TEST(MoveFile, DelayedOperationsAreAppendedToThePendingListExactly) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    const char* key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    // A pair some earlier setup left: a deletion.
    const std::string before = "\\??\\C:\\earlier.dll\0\0\0"s;
    ASSERT_TRUE(machine->Reg().SetValue(key, "PendingFileRenameOperations", REG_MULTI_SZ,
                                        std::vector<BYTE>(before.begin(), before.end())));
    machine->SetCurrentDirectory("C:\\WINNT");
    // None of these files exists: Windows records them all the same.
    ASSERT_TRUE(MoveFileExA("system32\\..\\old.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\tmp\\new.dll", "C:\\PROGRA~1\\k.dll",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const std::string expected =
        "\\??\\C:\\earlier.dll\0\0"
        "\\??\\C:\\WINNT\\old.dll\0\0"
        "\\??\\C:\\tmp\\new.dll\0!\\??\\C:\\PROGRA~1\\k.dll\0\0"s;
    const auto value = machine->Reg().GetValue(key, "PendingFileRenameOperations");
    ASSERT_TRUE(value);
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), value->type);
    EXPECT_EQ(expected, std::string(value->data.begin(), value->data.end()));
}

// What the file calls check first, as Windows does: the copy's source is opened before the target is
// looked at, a handle that does not share deleting stops a deletion and a rename, a folder goes in
// place of a file but never into itself.
TEST(CopyFile, SharingTargetsAndFoldersAsWindowsOrdersThem) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\a.txt", "a"));
    EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\b.txt", TRUE));
    EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\b.txt", TRUE));
    EXPECT_EQ(DWORD{ERROR_FILE_EXISTS}, GetLastError());
    HANDLE writer = Open("C:\\a.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\c.txt", FALSE));  // read beside its writer
    EXPECT_FALSE(DeleteFileA("C:\\a.txt"));
    EXPECT_EQ(DWORD{ERROR_SHARING_VIOLATION}, GetLastError());
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", "C:\\missing\\d.txt", 0));  // the source first
    EXPECT_EQ(DWORD{ERROR_SHARING_VIOLATION}, GetLastError());
    CloseHandle(writer);
    ASSERT_TRUE(SetFileAttributesA("C:\\b.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
    EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, GetLastError());
    EXPECT_EQ(DWORD{FILE_ATTRIBUTE_ARCHIVE}, GetFileAttributesA("C:\\c.txt"));

    ASSERT_TRUE(CreateDirectoryA("C:\\dir", nullptr));
    EXPECT_FALSE(MoveFileExA("C:\\dir", "C:\\DIR\\sub", 0));
    EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
    EXPECT_TRUE(MoveFileExA("C:\\dir", "C:\\c.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(DWORD{FILE_ATTRIBUTE_DIRECTORY}, GetFileAttributesA("C:\\c.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\a.txt\\"));
    EXPECT_EQ(DWORD{ERROR_INVALID_NAME}, GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\a.txt\\x"));
    EXPECT_EQ(DWORD{ERROR_PATH_NOT_FOUND}, GetLastError());
}

}  // namespace
