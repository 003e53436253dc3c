// The C runtime's (crtdll.dll, msvcrt.dll) bounded formatting, with the Microsoft runtime's results.
#pragma once

#include <cstdarg>
#include <cstddef>

// Writes at most `count` characters. A text shorter than `count` is terminated and its length
// returned; one of exactly `count` characters is written whole without a terminator and `count`
// returned; a longer one is cut to `count` characters, unterminated, and -1 returned. The formats are
// the C library's; "%hs" is a narrow string, as in Microsoft's.
int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments);
int _snprintf(char* buffer, size_t count, const char* format, ...) __attribute__((format(printf, 3, 4)));
