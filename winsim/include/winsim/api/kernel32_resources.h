// kernel32: a module's resources, found by type, name and language.
#pragma once

#include <winsim/types.h>

#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_VERSION MAKEINTRESOURCEA(16)
#define LANG_NEUTRAL 0x00
#define SUBLANG_NEUTRAL 0x00

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Does nothing on 32-bit Windows: FALSE.
BOOL FreeResource(HGLOBAL data);
