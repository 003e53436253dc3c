// kernel32: FormatMessageA over the system's and modules' message texts, and the local memory that
// hands out its buffers.
#pragma once

#include <winsim/types.h>

#include <cstdarg>

typedef HANDLE HLOCAL;
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);

#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)

// The system's texts are those of the English (United States) release, for the codes this project's
// code produces (Win32 codes, their HRESULT forms and the common COM results); other codes have no
// system text. A module's texts come from its RT_MESSAGETABLE resource. Inserts (%1 ...) are
// replaced only from an argument array (FORMAT_MESSAGE_ARGUMENT_ARRAY) of strings, and line-width
// formatting (FORMAT_MESSAGE_MAX_WIDTH_MASK) is not done.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list* arguments);
