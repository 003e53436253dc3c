// The warning a setup program's user sees when another vendor's logon library is configured on the
// NT family: caption (string 1) and text (string 2, a format with one %s) from the library's string
// table, in the user's language where the table has it.
//
// Each string is loaded into 260 characters: a longer translation (the German text) is cut to its
// first 259, its "%s" well inside them. The text is formatted (FormatText, bounded) into a buffer of
// kWarningTextSize bytes: the longest translation converted to the ANSI code page (at most 259
// characters, two bytes each in a double-byte code page) plus a "GinaDll" value of at most 259 bytes
// and the terminator fit in it, so nothing is ever written past it and the text is cut only if a
// translation ever outgrew that bound.
#pragma once

#include "kvisinst/common/win32.h"

constexpr UINT IDS_WARNING_CAPTION = 1;
constexpr UINT IDS_WARNING_TEXT = 2;
constexpr size_t kWarningTextSize = 1024;

// The resource language of the warning for the user's default language (GetUserDefaultLangID): by
// its primary language (low 10 bits) 4 -> 1028, 7 -> 1031, 10 -> 1034, 12 -> 2060, 16 -> 1040,
// 18 -> 1042, any other -> 1033.
WORD GetResourceLanguage();

// Copies string `id` of `language` from `module`'s string table into `buffer` (capacity characters,
// at least 1): at most capacity - 1 characters, stopping at a zero character, always terminated.
// Returns the entry's full length, even when the copy was cut. When the language has no block for the
// id or the entry is empty, falls back to LoadStringA (the system's own choice of language) into 260
// bytes, converted to wide (at most 259 characters, and capacity - 1) and returns LoadStringA's count.
int LoadStringForLanguage(HMODULE module, UINT id, LPWSTR buffer, int capacity, WORD language);

// Shows the warning for `ginaValue` (the value as read) with MB_OKCANCEL | MB_ICONINFORMATION and no
// owner window, and returns the answer (0 when the box could not be shown).
int ShowGinaWarning(const char* ginaValue);
