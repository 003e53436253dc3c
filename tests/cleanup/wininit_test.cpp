// Replace-on-reboot: the in-place edit of WinInit.Ini's [rename] section over file contents of every
// shape, and ReplaceFileOnReboot on the machine - MoveFileExA on the NT family, WinInit.Ini on 95/98.
#include "kvisinst/cleanup/wininit.h"
#include "kvisinst/cleanup/replace.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <optional>

#include <string>
#include <vector>

namespace {

const std::string kLine = "NUL=C:\\PROGRA~1\\KORVANE\\KVBIO32.DLL\r\n";

struct EditRow {
    const char* what;
    std::string before;
    std::string after;
};

const EditRow kEditRows[] = {
    {"an empty file gets the section", "", "[rename]\r\n" + kLine},
    {"the line goes first under the header", "[rename]\r\nNUL=C:\\OLD.DLL\r\n",
     "[rename]\r\n" + kLine + "NUL=C:\\OLD.DLL\r\n"},
    {"[Rename] is recognised, text around it kept", "; setup\r\n[Rename]\r\nA=B\r\n[other]\r\nx=1\r\n",
     "; setup\r\n[Rename]\r\n" + kLine + "A=B\r\n[other]\r\nx=1\r\n"},
    {"[RENAME] is recognised", "[RENAME]\r\n", "[RENAME]\r\n" + kLine},
    {"the first casing in the search order wins", "[RENAME]\r\n[rename]\r\n", "[RENAME]\r\n[rename]\r\n" + kLine},
    {"another mixed casing is not a header", "[ReName]\r\nA=B\r\n", "[ReName]\r\nA=B\r\n[rename]\r\n" + kLine},
    {"a header with a bare line feed is not a header", "[rename]\nA=B\n", "[rename]\nA=B\n[rename]\r\n" + kLine},
    {"a last line without a break is ended first", "[other]\r\nx=1", "[other]\r\nx=1\r\n[rename]\r\n" + kLine},
    {"a header behind a NUL byte is not seen", std::string("x\0[rename]\r\n", 12),
     std::string("x\0[rename]\r\n", 12) + "[rename]\r\n" + kLine},
};

TEST(WinInitEdit, AddsTheLineUnderTheHeaderOrAppendsASectionKeepingEveryByte) {
    for (const auto& row : kEditRows) {
        const size_t capacity = row.before.size() + kLine.size() + kWinInitSpare;
        std::vector<char> buffer(capacity + 8, '\x55');
        row.before.copy(buffer.data(), row.before.size());
        const size_t size =
            AddWinInitRenameLine(buffer.data(), row.before.size(), capacity, kLine.data(), kLine.size());
        EXPECT_EQ(row.after, std::string(buffer.data(), size)) << row.what;
        EXPECT_EQ(std::string(8, '\x55'), std::string(buffer.data() + capacity, 8)) << row.what << ": past capacity";
    }
}

TEST(WinInitEdit, TooLittleRoomChangesNothing) {
    const std::string before = "[rename]\r\n";
    std::string buffer = before + std::string(kLine.size() + kWinInitSpare - 1, '\0');
    EXPECT_EQ(0u, AddWinInitRenameLine(&buffer[0], before.size(), buffer.size(), kLine.data(), kLine.size()));
    EXPECT_EQ(before, buffer.substr(0, before.size()));
}

const char kFile[] = "C:\\Program Files\\Korvane\\Quillex Pro\\QpEnroll.ocx";
const char kShortFile[] = "C:\\PROGRA~1\\Korvane\\QUILLE~1\\QpEnroll.ocx";
const char kWinInit[] = "C:\\WINDOWS\\WinInit.Ini";
const char kSessionManager[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

struct ReplaceRow {
    const char* what;
    bool fileExists;
    const char* newName;
    std::optional<std::string> before;  // WinInit.Ini's content, or none for no file
    std::string after;
};

const ReplaceRow kReplaceRows[] = {
    {"no WinInit.Ini: created with the section", true, nullptr, std::nullopt,
     std::string("[rename]\r\nNUL=") + kShortFile + "\r\n"},
    {"[Rename]: the line goes under it, the file grows by the line", true, nullptr,
     std::string("[Rename]\r\nNUL=C:\\OLD.DLL\r\n"),
     std::string("[Rename]\r\nNUL=") + kShortFile + "\r\nNUL=C:\\OLD.DLL\r\n"},
    {"an absent file is scheduled by its long path; newName as given", false, "C:\\Program Files\\New Name.ocx",
     std::string("[rename]\r\n"), std::string("[rename]\r\nC:\\Program Files\\New Name.ocx=") + kFile + "\r\n"},
};

TEST(ReplaceFileOnReboot, Windows9xAddsTheLineToWinInitIni) {
    for (const auto version : {winsim::OsVersion::Win95, winsim::OsVersion::Win98}) {
        for (const auto& row : kReplaceRows) {
            winsim::ScopedMachine machine(version);
            if (row.fileExists) {
                ASSERT_TRUE(winsim::WriteWholeFile(kFile, "control"));
                ASSERT_TRUE(SetFileAttributesA(kFile, FILE_ATTRIBUTE_READONLY));
            }
            if (row.before) {
                ASSERT_TRUE(winsim::WriteWholeFile(kWinInit, *row.before));
            }
            EXPECT_TRUE(ReplaceFileOnReboot(kFile, row.newName)) << row.what;
            EXPECT_EQ(row.after, winsim::ReadWholeFile(kWinInit).value_or("(none)")) << row.what;
            if (row.fileExists) {
                EXPECT_EQ(0u, GetFileAttributesA(kFile) & FILE_ATTRIBUTE_READONLY) << row.what;
                EXPECT_EQ("control", winsim::ReadWholeFile(kFile).value_or("(gone)")) << row.what << ": not at once";
            }
        }
    }
}

TEST(ReplaceFileOnReboot, ALockedWinInitIniIsLeftAsItWas) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    const std::string before = "[rename]\r\nNUL=C:\\OLD.DLL\r\n";
    ASSERT_TRUE(winsim::WriteWholeFile(kWinInit, before));
    HANDLE other = CreateFileA(kWinInit, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_FALSE(ReplaceFileOnReboot(kFile, nullptr));
    CloseHandle(other);
    EXPECT_EQ(before, winsim::ReadWholeFile(kWinInit).value_or("(none)"));
}

TEST(ReplaceFileOnReboot, TheNtFamilyRecordsAPendingOperationAndLeavesWinInitIniAlone) {
    for (const auto version : {winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        ASSERT_TRUE(winsim::WriteWholeFile(kFile, "control"));
        ASSERT_TRUE(SetFileAttributesA(kFile, FILE_ATTRIBUTE_READONLY));
        EXPECT_TRUE(ReplaceFileOnReboot(kFile, nullptr));
        EXPECT_TRUE(ReplaceFileOnReboot("C:\\gone.dll", "C:\\new.dll"));
        const auto pending = machine->Reg().GetValue(kSessionManager, "PendingFileRenameOperations");
        ASSERT_TRUE(pending);
        EXPECT_EQ(std::string("\\??\\") + kFile + std::string("\0\0\\??\\C:\\gone.dll\0\\??\\C:\\new.dll\0\0", 34),
                  std::string(pending->data.begin(), pending->data.end()));
        EXPECT_EQ(0u, GetFileAttributesA(kFile) & FILE_ATTRIBUTE_READONLY);
        const std::string winInit = machine->WindowsDirectory() + "\\WinInit.Ini";
        EXPECT_FALSE(winsim::ReadWholeFile(winInit)) << winsim::OsVersionName(version);
    }
}

}  // namespace
