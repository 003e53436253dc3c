// user32: message boxes, recorded on the machine's Dialogs and answered at once, as if a user had
// chosen; the foreground window.
#include <winsim/dialogs.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    // A null caption shows as "Error", as Windows titles such boxes.
    return winsim::Current().Dialogs().ShowMessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}

HWND GetForegroundWindow() { return nullptr; }
