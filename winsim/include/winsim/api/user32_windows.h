// user32: windows and their messages (PostMessageA, SendMessageA) and the cursor.
#pragma once

#include <winsim/types.h>

#define WM_NULL 0x0000
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define ERROR_INVALID_WINDOW_HANDLE 1400L

struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)

// Windows are made by tests and by the machine (windows.h); these calls deliver to them.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);

// The system's cursors (a null module) are the only ones; SetCursor records the cursor shown and
// returns the one it replaces (null at first).
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
