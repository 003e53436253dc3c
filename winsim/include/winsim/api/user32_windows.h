// user32: windows and their messages (PostMessageA, SendMessageA) and the cursor.
#pragma once

#include <winsim/types.h>

#define WM_NULL 0x0000
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_INVALID_THREAD_ID 1444L

struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define IDC_UPARROW MAKEINTRESOURCEA(32516)
#define IDC_SIZEALL MAKEINTRESOURCEA(32646)
#define IDC_NO MAKEINTRESOURCEA(32648)
#define IDC_APPSTARTING MAKEINTRESOURCEA(32650)

// Windows are made by tests and by the machine (windows.h); these calls deliver to them. A null or
// unknown window: FALSE (0 from SendMessageA) with ERROR_INVALID_WINDOW_HANDLE. Broadcasts
// (HWND_BROADCAST) are not simulated.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);
// The first top-level window, in the order made, of that class and, when given, that title (both
// compared without regard to case, in code page 1252); null with no error set when there is none. A
// class given as an atom finds nothing (classes are not registered on the simulated machine).
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
// Posts to a thread of a running simulated process; FALSE with ERROR_INVALID_THREAD_ID when there is
// no such thread or it has no message queue yet. WM_QUIT is answered as the process's program says
// (processes.h).
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

// The system's cursors (a null module) are the only ones: an id that is none of them gives null with
// ERROR_RESOURCE_NAME_NOT_FOUND, a module's own cursor null with ERROR_RESOURCE_DATA_NOT_FOUND.
// SetCursor records the cursor shown and returns the one it replaces (null at first); a handle that
// is no cursor gives null with ERROR_INVALID_CURSOR_HANDLE and changes nothing.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
