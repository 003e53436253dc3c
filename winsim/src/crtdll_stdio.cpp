#include <winsim/api/crtdll_stdio.h>

#include <cstdio>
#include <cstring>
#include <memory>

int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments) {
    va_list measured;
    va_copy(measured, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measured);
    va_end(measured);
    if (length < 0) return -1;
    // Formatted whole, then copied as the Microsoft runtime leaves it: glibc would always terminate.
    std::unique_ptr<char[]> text(new char[static_cast<size_t>(length) + 1]);
    std::vsnprintf(text.get(), static_cast<size_t>(length) + 1, format, arguments);
    const size_t n = static_cast<size_t>(length);
    std::memcpy(buffer, text.get(), n < count ? n + 1 : count);
    return n <= count ? length : -1;
}

int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int n = _vsnprintf(buffer, count, format, arguments);
    va_end(arguments);
    return n;
}
