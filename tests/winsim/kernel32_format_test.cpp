// FormatMessageA: the system's texts, a module's message table, inserts and buffers.
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::OsVersion;

std::string SystemText(DWORD code, DWORD flags = 0) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, 0,
                                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = n ? std::string(text, n) : "<none>";
    if (text) LocalFree(text);
    return result;
}

// The texts the trace's error lines carry (tests/trace) are not repeated here.
TEST(FormatMessage, SystemTextsOfWin32CodesAndHResults) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const std::pair<DWORD, const char*> kRows[] = {
        {0x80070057, "The parameter is incorrect.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {0x80080005, "<none>"},  // not facility Win32: no Win32 text for it
    };
    for (const auto& [code, text] : kRows) EXPECT_EQ(text, SystemText(code)) << std::hex << code;
    SetLastError(0);
    SystemText(0x80041234);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
}

}  // namespace
