#include <winsim/dialogs.h>
#include <winsim/win32api.h>

namespace winsim {

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

int Dialogs::ShowMessageBox(HWND owner, std::string text, std::string caption, UINT type) {
    const int answer = answer_ ? answer_ : DefaultButton(type);
    boxes_.push_back({owner, std::move(text), std::move(caption), type, answer});
    return answer;
}

}  // namespace winsim
