// printf-style formatting into fixed buffers, through the C runtime's _vsnprintf (the system's
// crtdll.dll in the product): mingw's own C99 printf, which plain vsnprintf would bring in, costs the
// DLL some 25 KB. The formats are the Microsoft runtime's ("%hs" is a narrow string).
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into `buffer` of `size` bytes (at least 1). The text is cut to size - 1 characters and
// always terminated; true when it fitted whole.
bool FormatTextV(char* buffer, size_t size, const char* format, va_list arguments);
bool FormatText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
