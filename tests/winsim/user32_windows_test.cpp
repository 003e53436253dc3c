// Messages to the machine's windows, and the cursor.
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

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

// The agent's windows: found by class and title in any letter case, closed on the WM_CLOSE its
// program says; the process ends with its last window.
TEST(ProcessWindows, FindWindowFindsThemAndTheyAnswerWmCloseAsTheirProgramSays) {
    winsim::ScopedMachine machine(winsim::OsVersion::WinXP);
    winsim::ProgramScript agent;
    agent.path = "C:\\Program Files\\Korvane\\kvagent.exe";
    agent.run = winsim::ProgramScript::Run::Never;
    agent.windows = {{"Quillex Pro Agent", "Agent", 1}, {"Quillex Pro Agent", "Tray", 3}, {"KvNever", "", 0}};
    const auto process = machine->Processes().Start(agent, "");
    const HWND first = process->windows[0], tray = process->windows[1], never = process->windows[2];

    EXPECT_EQ(first, FindWindowA("quillex pro AGENT", nullptr));
    EXPECT_EQ(tray, FindWindowA("Quillex Pro Agent", "TRAY"));
    EXPECT_EQ(nullptr, FindWindowA("Quillex", nullptr));

    // A window, the WM_CLOSE messages posted to it, and whether it is open after them.
    const std::tuple<HWND, int, bool> rows[] = {{first, 1, false}, {tray, 2, true}, {never, 5, true}, {tray, 1, false}};
    for (const auto& [window, posts, open] : rows) {
        for (int i = 0; i < posts; ++i) EXPECT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
        EXPECT_EQ(open, IsWindow(window) != FALSE);
    }
    EXPECT_TRUE(process->state == winsim::ProcessRecord::State::Running && !FindWindowA("Quillex Pro Agent", nullptr));

    // Its last window closed, a process ends with exit code 0; ending in any way takes its windows.
    agent.windows = {{"Quillex Pro Agent", "", 1}};
    const auto single = machine->Processes().Start(agent, "");
    PostMessageA(single->windows[0], WM_CLOSE, 0, 0);
    EXPECT_TRUE(single->state == winsim::ProcessRecord::State::Ended && single->exitCode == 0);
    machine->Processes().EndAll();
    EXPECT_FALSE(IsWindow(never));
}
