// user32: case conversion of ANSI text (api/user32_strings.h).
#include <winsim/win32api.h>

#include "registry_internal.h"

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    for (DWORD i = 0; text && i < length; ++i)
        text[i] = static_cast<char>(winsim::UpperAnsi(static_cast<unsigned char>(text[i])));
    return length;
}
