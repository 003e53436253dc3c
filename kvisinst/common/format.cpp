#include "kvisinst/common/format.h"

#include "kvisinst/common/win32.h"

#include <cstdio>

bool FormatTextV(char* buffer, size_t size, const char* format, va_list arguments) {
    // _vsnprintf fills at most `count` characters and terminates only what is shorter; it reports a
    // text that did not fit with a negative count.
    const int n = _vsnprintf(buffer, size - 1, format, arguments);
    buffer[size - 1] = '\0';
    if (n < 0) return false;
    buffer[n] = '\0';
    return true;
}

bool FormatText(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const bool whole = FormatTextV(buffer, size, format, arguments);
    va_end(arguments);
    return whole;
}
