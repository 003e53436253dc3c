// winsim's directory calls and DeleteFileA.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

using winsim::OsVersion;

namespace {

bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct CallCase {
    const char* name;
    BOOL (*call)(LPCSTR);
    const char* path;
    DWORD error;  // 0: the call succeeds
};

BOOL Create(LPCSTR path) { return CreateDirectoryA(path, nullptr); }
BOOL MakeReadOnly(LPCSTR path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE); }
BOOL MakeNormal(LPCSTR path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL); }

// A missing parent and a folder that holds a user's file are met by the library's shortcuts.
TEST(Directories, ResultsAndErrors) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Data\\file.txt", "x"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Full\\inner.txt", "x"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Long Folder\\kept.txt", "x"));
    const std::string tooLong = "C:\\" + std::string(246, 'a');
    const CallCase rows[] = {
        {"create below an existing folder", Create, "C:\\Data\\New", 0},
        {"create what exists", Create, "C:\\Data\\New", ERROR_ALREADY_EXISTS},
        {"create over a file", Create, "C:\\Data\\file.txt", ERROR_ALREADY_EXISTS},
        {"create an invalid name", Create, "C:\\Data\\a?b", ERROR_INVALID_NAME},
        {"create a path of 249 characters", Create, tooLong.c_str(), ERROR_FILENAME_EXCED_RANGE},
        {"remove an empty folder", RemoveDirectoryA, "C:\\Data\\New", 0},
        {"remove below a missing folder", RemoveDirectoryA, "C:\\Missing\\Child", ERROR_PATH_NOT_FOUND},
        {"remove a file", RemoveDirectoryA, "C:\\Data\\file.txt", ERROR_DIRECTORY},
        {"remove the root", RemoveDirectoryA, "C:\\", ERROR_ACCESS_DENIED},
        {"delete a folder", DeleteFileA, "C:\\Full", ERROR_ACCESS_DENIED},
        {"make a file read-only", MakeReadOnly, "C:\\Data\\file.txt", 0},
        {"delete a read-only file", DeleteFileA, "C:\\Data\\file.txt", ERROR_ACCESS_DENIED},
        {"make it normal", MakeNormal, "C:\\Data\\file.txt", 0},
        {"make a file read-only by its short path", MakeReadOnly, "C:\\LONGFO~1\\kept.txt", 0},
        {"attributes of a missing file", MakeNormal, "C:\\Data\\none.txt", ERROR_FILE_NOT_FOUND},
        {"attributes below a missing folder", MakeNormal, "C:\\None\\none.txt", ERROR_PATH_NOT_FOUND},
        {"delete a file", DeleteFileA, "C:\\Data\\file.txt", 0},
        {"delete it again", DeleteFileA, "C:\\Data\\file.txt", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SetLastError(0xDEADBEEF);
        const BOOL ok = row.call(row.path);
        EXPECT_EQ(row.error ? row.error : 0xDEADBEEF, ok ? 0xDEADBEEF : GetLastError()) << row.name;
    }
    EXPECT_TRUE(IsFolder("C:\\FULL"));
    EXPECT_FALSE(IsFolder("C:\\Data\\New"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY),
              GetFileAttributesA("C:\\Long Folder\\kept.txt"));
}

}  // namespace
