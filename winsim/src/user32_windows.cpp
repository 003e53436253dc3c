// user32: messages to the machine's windows and the cursor (windows.h keeps them).
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    winsim::Current().Processes().Settle();  // the windows of processes that have ended are gone
    if (!winsim::Current().Windows().Post(window, message, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    winsim::Current().Processes().Settle();
    const auto result = winsim::Current().Windows().Send(window, message, wParam, lParam);
    if (!result) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return *result;
}

BOOL IsWindow(HWND window) {
    winsim::Current().Processes().Settle();
    return winsim::Current().Windows().Find(window) ? TRUE : FALSE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance) {
        // Cursors of a module's own resources are not simulated.
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    HCURSOR cursor = IS_INTRESOURCE(name) ? winsim::Windows::SystemCursor(reinterpret_cast<ULONG_PTR>(name)) : nullptr;
    if (!cursor) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return cursor;
}

HCURSOR SetCursor(HCURSOR cursor) {
    if (cursor && !winsim::Windows::CursorName(cursor)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    return winsim::Current().Windows().SetCursor(cursor);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    // A class given as an atom (MAKEINTATOM) names no class of the simulated windows.
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    std::optional<std::string_view> title;
    if (windowName) title = windowName;
    winsim::Current().Processes().Settle();
    return winsim::Current().Windows().FindByClass(className, title);
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    const DWORD error = winsim::Current().Processes().PostToThread(threadId, message, wParam, lParam);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
