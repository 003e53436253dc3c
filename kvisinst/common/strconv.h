// Narrow (ANSI code page) and wide (UTF-16) strings, converted where an interface wants the other
// form. A conversion failure raises the HRESULT of the system's last error; running out of memory
// raises E_OUTOFMEMORY.
#pragma once

#include "kvisinst/common/win32.h"

#include <string>

using WideString = std::basic_string<WCHAR>;

WideString ToWide(const char* text);
std::string ToNarrow(const WCHAR* text);
