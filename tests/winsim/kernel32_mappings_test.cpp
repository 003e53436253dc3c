// File mappings: a writable mapping grows its file, views write through to it, and the file cannot be
// cut below a view while it is mapped.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using winsim::OsVersion;

HANDLE OpenFile(const char* path, DWORD access, DWORD disposition = OPEN_EXISTING) {
    return CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// How a file is edited in place: map it larger than it is, write, unmap, cut it to the exact size.
TEST(FileMappings, AMappingGrowsItsFileAndWritesReachItThenTheFileIsCutToSize) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\n"));
    HANDLE file = OpenFile("C:\\WINDOWS\\WININIT.INI", GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 40, nullptr);
    ASSERT_NE(nullptr, mapping);
    EXPECT_EQ(40u, GetFileSize(file, nullptr));
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(std::string(30, '\0'), std::string(view + 10, 30));  // the new bytes are zero
    // The view outlives the mapping's handle.
    EXPECT_TRUE(CloseHandle(mapping));
    std::memcpy(view + 10, "NUL=a.dll\r\n", 11);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_EQ(21u, SetFilePointer(file, 21, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ("[rename]\r\nNUL=a.dll\r\n", *winsim::ReadWholeFile("C:\\WINDOWS\\WININIT.INI"));
}

TEST(FileMappings, RefusalsAsWindowsGivesThem) {
    struct Row {
        const char* name;
        const char* contents;  // nullptr: no file, INVALID_HANDLE_VALUE is mapped
        DWORD fileAccess, protect, size, mapAccess, offset;
        SIZE_T bytes;
        DWORD createError, mapError;  // 0: succeeds
    };
    const DWORD R = GENERIC_READ, RW = GENERIC_READ | GENERIC_WRITE;
    const Row kRows[] = {
        {"an empty file at its own size", "", RW, PAGE_READWRITE, 0, FILE_MAP_WRITE, 0, 0, ERROR_FILE_INVALID, 0},
        {"read-write on a read-only handle", "data", R, PAGE_READWRITE, 0, FILE_MAP_READ, 0, 0, ERROR_ACCESS_DENIED, 0},
        {"read-only larger than the file", "data", R, PAGE_READONLY, 100, FILE_MAP_READ, 0, 0, ERROR_NOT_ENOUGH_MEMORY,
         0},
        {"the paging file", nullptr, RW, PAGE_READWRITE, 4096, FILE_MAP_WRITE, 0, 0, ERROR_CALL_NOT_IMPLEMENTED, 0},
        {"a writable view of a read-only mapping", "data", R, PAGE_READONLY, 0, FILE_MAP_WRITE, 0, 0, 0,
         ERROR_ACCESS_DENIED},
        {"an offset off the 64 KiB grain", "data", RW, PAGE_READWRITE, 0x20000, FILE_MAP_READ, 4096, 0, 0,
         ERROR_MAPPED_ALIGNMENT},
        {"a view past the mapping's end", "data", RW, PAGE_READWRITE, 0, FILE_MAP_READ, 0, 5, 0, ERROR_ACCESS_DENIED},
        {"a view from the second grain", "data", RW, PAGE_READWRITE, 0x20000, FILE_MAP_WRITE, 0x10000, 0, 0, 0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        winsim::ScopedMachine machine(OsVersion::Win2000);
        HANDLE file = INVALID_HANDLE_VALUE;
        if (row.contents) {
            ASSERT_TRUE(winsim::WriteWholeFile("C:\\f.bin", row.contents));
            file = OpenFile("C:\\f.bin", row.fileAccess);
            ASSERT_NE(INVALID_HANDLE_VALUE, file);
        }
        SetLastError(0xDEADBEEF);
        HANDLE mapping = CreateFileMappingA(file, nullptr, row.protect, 0, row.size, nullptr);
        EXPECT_EQ(row.createError, row.createError ? GetLastError() : 0u);
        EXPECT_EQ(row.createError == 0, mapping != nullptr);
        if (mapping) {
            SetLastError(0xDEADBEEF);
            void* view = MapViewOfFile(mapping, row.mapAccess, 0, row.offset, row.bytes);
            EXPECT_EQ(row.mapError == 0, view != nullptr);
            if (row.mapError) {
                EXPECT_EQ(row.mapError, GetLastError());
            }
            if (view) {
                EXPECT_TRUE(UnmapViewOfFile(view));
            }
            CloseHandle(mapping);
        }
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
}

TEST(FileMappings, AFileWithAViewMappedCannotBeCutBelowTheMapping) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\f.bin", std::string(100, 'x')));
    HANDLE file = OpenFile("C:\\f.bin", GENERIC_READ | GENERIC_WRITE);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 10));
    ASSERT_NE(nullptr, view);
    CloseHandle(mapping);

    SetFilePointer(file, 50, nullptr, FILE_BEGIN);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetEndOfFile(file));
    EXPECT_EQ(static_cast<DWORD>(ERROR_USER_MAPPED_FILE), GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile("C:\\f.bin", GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_USER_MAPPED_FILE), GetLastError());
    SetFilePointer(file, 200, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));  // growing is allowed

    // Any address inside the view names it; one outside none.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnmapViewOfFile(view + 4096));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
    EXPECT_TRUE(UnmapViewOfFile(view + 5));
    SetFilePointer(file, 50, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(50u, GetFileSize(file, nullptr));
    CloseHandle(file);
}

}  // namespace
