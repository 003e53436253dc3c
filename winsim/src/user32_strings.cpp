// user32: case conversion of ANSI text (api/user32_strings.h).
#include <winsim/win32api.h>

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    for (DWORD i = 0; text && i < length; ++i)
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    return length;
}
