// Replace-on-reboot: the in-place edit of WinInit.Ini's [rename] section over file contents of every
// shape, and ReplaceFileOnReboot on the machine - MoveFileExA on the NT family, WinInit.Ini on 95/98.
#include "kvisinst/cleanup/wininit.h"

#include <gtest/gtest.h>

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

}  // namespace
