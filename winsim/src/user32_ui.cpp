// Message boxes: recorded on the machine and answered at once, as if a user had chosen.
#include <winsim/machine.h>
#include <winsim/win32api.h>

namespace {

// The button that Enter chooses: the one MB_DEFBUTTONn names, counted in the order the box shows
// its buttons.
int DefaultButton(UINT type) {
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},             // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},     // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},   // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},        // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},            // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},  // MB_RETRYCANCEL
    };
    const UINT kind = type & MB_TYPEMASK;
    const UINT button = (type & MB_DEFMASK) >> 8;
    if (kind > MB_RETRYCANCEL || button > 2) return IDOK;
    return kButtons[kind][button];
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    auto& machine = winsim::Current();
    const int answer = machine.MessageBoxAnswer() ? machine.MessageBoxAnswer() : DefaultButton(type);
    // A null caption shows as "Error", as Windows titles such boxes.
    machine.RecordMessageBox({owner, text ? text : "", caption ? caption : "Error", type, answer});
    return answer;
}

HWND GetForegroundWindow() { return nullptr; }
