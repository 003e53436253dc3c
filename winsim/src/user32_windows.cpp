// Windows, messages and the cursor. Not yet simulated: declared so that code using them builds.
#include <winsim/win32api.h>

BOOL PostMessageA(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}
BOOL IsWindow(HWND) { return FALSE; }
HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return nullptr; }
HCURSOR SetCursor(HCURSOR) { return nullptr; }
