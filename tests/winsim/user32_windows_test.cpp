// Messages to the machine's windows, and the cursor.
#include <winsim/machine.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Messages, PostedAreRecordedSentReachTheHandlerAndUnknownWindowsFail) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    auto& windows = machine->Windows();
    UINT seen = 0;
    HWND setup = windows.Create("KvSetupWindow", "Setup", [&](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
        seen = message;
        if (message == WM_CLOSE) throw std::runtime_error("window procedure faulted");
        return lParam + 1;
    });
    HWND silent = windows.Create("Static", "No handler");

    EXPECT_TRUE(PostMessageA(setup, WM_USER + 100, 1, 0x1234));
    EXPECT_EQ(0u, seen) << "posting delivers nothing";
    EXPECT_EQ(42, SendMessageA(setup, WM_USER + 101, 0, 41));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 101), seen);
    EXPECT_EQ(0, SendMessageA(silent, WM_USER + 101, 0, 41));
    EXPECT_THROW(SendMessageA(setup, WM_CLOSE, 0, 0), std::runtime_error);

    const auto& log = windows.Messages();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ(winsim::Windows::Message::Kind::Posted, log[0].kind);
    EXPECT_EQ(0x1234, log[0].lParam);
    EXPECT_EQ(42, *log[1].result);
    EXPECT_FALSE(log[3].result.has_value()) << "the handler threw";

    windows.Destroy(silent);
    for (HWND window : {static_cast<HWND>(nullptr), silent}) {
        SetLastError(0);
        EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_EQ(0, SendMessageA(window, WM_USER, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_FALSE(IsWindow(window));
    }
    EXPECT_EQ(4u, log.size());
}

TEST(Cursor, SystemCursorsHaveOneHandleAndSetCursorReturnsTheOneItReplaces) {
    winsim::ScopedMachine machine(winsim::OsVersion::NT4);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(nullptr, wait);
    EXPECT_EQ(wait, LoadCursorA(nullptr, IDC_WAIT));
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_NE(wait, arrow);
    const struct {
        HINSTANCE instance;
        LPCSTR name;
        DWORD error;
    } failing[] = {
        {nullptr, MAKEINTRESOURCEA(42), ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, "KVWAIT", ERROR_RESOURCE_NAME_NOT_FOUND},
        {reinterpret_cast<HINSTANCE>(0x400000), IDC_WAIT, ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const auto& row : failing) {
        SetLastError(0);
        EXPECT_EQ(nullptr, LoadCursorA(row.instance, row.name));
        EXPECT_EQ(row.error, GetLastError());
    }

    EXPECT_EQ(nullptr, SetCursor(arrow));
    EXPECT_EQ(arrow, SetCursor(wait));
    EXPECT_EQ(nullptr, SetCursor(reinterpret_cast<HCURSOR>(0x1234)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE), GetLastError());
    EXPECT_EQ(wait, SetCursor(arrow));
    EXPECT_STREQ("IDC_WAIT", winsim::Windows::CursorName(machine->Windows().CursorChanges()[1]));
}
