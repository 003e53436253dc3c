// setupapi: reading INF files (installation of sections joins as it is built).
#pragma once

#include <winsim/types.h>

typedef PVOID HINF;

struct INFCONTEXT {
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
};
typedef INFCONTEXT* PINFCONTEXT;

#define INF_STYLE_NONE 0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002

// Limits of the INF reader: a section name, and a string built by %strkey% substitution.
#define MAX_SECT_NAME_LEN 255
#define MAX_INF_STRING_LENGTH 4096

#ifndef ERROR_CLASS_MISMATCH
#define ERROR_CLASS_MISMATCH ((DWORD)0xE0000201L)
#endif

HINF SetupOpenInfFileA(PCSTR fileName, PCSTR infClass, DWORD infStyle, PUINT errorLine);
void SetupCloseInfFile(HINF inf);
LONG SetupGetLineCountA(HINF inf, PCSTR section);
BOOL SetupFindFirstLineA(HINF inf, PCSTR section, PCSTR key, PINFCONTEXT context);
BOOL SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut);
BOOL SetupGetLineTextA(const INFCONTEXT* context, HINF inf, PCSTR section, PCSTR key, PSTR returnBuffer,
                       DWORD returnBufferSize, PDWORD requiredSize);
BOOL SetupGetStringFieldA(const INFCONTEXT* context, DWORD fieldIndex, PSTR returnBuffer, DWORD returnBufferSize,
                          PDWORD requiredSize);
DWORD SetupGetFieldCount(const INFCONTEXT* context);
BOOL SetupFindNextMatchLineA(const INFCONTEXT* contextIn, PCSTR key, PINFCONTEXT contextOut);
