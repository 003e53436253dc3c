// The top-level windows of a machine, the messages sent and posted to them, and the cursor shown.
//
// Tests and the machine make the windows: each has a class name, a title and, in place of a window
// procedure, a handler that SendMessageA calls synchronously (a window without one answers 0, as
// DefWindowProc does to a message it does not know). A handler that throws makes the window
// procedure fault: the exception passes through SendMessageA to its caller. Posted messages are
// recorded and never delivered: no message loop runs on the simulated machine.
//
// A window may belong to a simulated process (processes.h): the process opens it as it starts and it
// goes when the process ends. Such a window has no handler; how it answers WM_CLOSE is its program's:
// a WM_CLOSE posted to it is recorded and handed to the machine's Processes (the close answer given
// to the constructor), which counts the attempt and closes the window on the attempt its program says.
// A window of no process (processId 0) only records what is posted to it.
//
// The Win32 side (PostMessageA, SendMessageA, IsWindow, FindWindowA, LoadCursorA, SetCursor) is
// declared in api/user32_windows.h and acts on the current machine's Windows. Like the program's own
// windows, these belong to one thread: the class takes no lock.
#pragma once

#include <winsim/api/user32_windows.h>
#include <winsim/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Windows {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    // What the machine does with a WM_CLOSE posted to a window of a process (the machine passes
    // Processes::CloseAttempt).
    using CloseAnswer = std::function<void(HWND window)>;

    struct Window {
        HWND handle = nullptr;
        std::string className;
        std::string title;
        Handler handler;
        DWORD processId = 0;        // the process that owns it; 0: none (the program's or a test's)
        DWORD closesOnAttempt = 1;  // of a process window: the WM_CLOSE it closes on (0: never)
        DWORD closeAttempts = 0;    // of a process window: the WM_CLOSE messages posted to it so far
    };

    struct Message {
        enum class Kind { Posted, Sent };
        Kind kind = Kind::Posted;
        HWND window = nullptr;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        std::optional<LRESULT> result;  // what the handler of a sent message returned (none: it threw)
    };

    explicit Windows(CloseAnswer closeAnswer = {}) : closeAnswer_(std::move(closeAnswer)) {}

    // Makes a top-level window and returns its handle (never null, never reused on this machine).
    HWND Create(std::string className, std::string title, Handler handler = {});
    // Makes a top-level window of a process that closes on the closesOnAttempt-th WM_CLOSE (0: never),
    // `attempts` of them already posted (a process read back from a machine folder).
    HWND CreateForProcess(std::string className, std::string title, DWORD processId, DWORD closesOnAttempt,
                          DWORD attempts = 0);
    // Counts one more WM_CLOSE to a window and returns how many it has had; 0 for an unknown window.
    DWORD CountCloseAttempt(HWND window);
    // The first window, in the order made, of that class (compared as FindWindowA compares: without
    // regard to case in code page 1252) and, when `title` is given, that title (compared likewise).
    HWND FindByClass(std::string_view className, std::optional<std::string_view> title) const;
    // False for an unknown window.
    bool Destroy(HWND window);
    // Null for an unknown window. Valid until the next Create or Destroy.
    const Window* Find(HWND window) const;
    std::vector<Window> List() const;

    // Records a posted message; false for an unknown window. WM_CLOSE to a window of a process then
    // goes to the close answer.
    bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Calls the window's handler and records the message with its answer; nothing for an unknown
    // window. What the handler throws is thrown on (recorded without an answer).
    std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Every message posted or sent, oldest first.
    const std::vector<Message>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }

    // The system cursors: the same handle for an id every time (LoadCursorA with a null instance),
    // null for an id that is none of them; and the IDC_ name of a system cursor's handle (nullptr
    // for any other).
    static HCURSOR SystemCursor(ULONG_PTR id);
    static const char* CursorName(HCURSOR cursor);
    // The cursor shown (null at first), each cursor set, oldest first, and setting one (returns the
    // cursor it replaces).
    HCURSOR Cursor() const { return cursor_; }
    const std::vector<HCURSOR>& CursorChanges() const { return cursorChanges_; }
    HCURSOR SetCursor(HCURSOR cursor);

private:
    CloseAnswer closeAnswer_;
    std::vector<Window> windows_;
    std::vector<Message> messages_;
    ULONG_PTR nextHandle_ = 0x10010;
    HCURSOR cursor_ = nullptr;
    std::vector<HCURSOR> cursorChanges_;
};

}  // namespace winsim
