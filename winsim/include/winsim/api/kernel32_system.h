// kernel32: version, last error, the clock, languages and code-page conversion, string helpers.
#pragma once

#include <winsim/types.h>

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x8

DWORD GetLastError();
void SetLastError(DWORD error);

BOOL GetVersionExA(LPOSVERSIONINFOA info);

BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);
DWORD GetTickCount();

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, LPBOOL usedDefault);

typedef WORD LANGID;
LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();
UINT GetACP();

LPSTR lstrcpynA(LPSTR dest, LPCSTR src, int max);
int lstrlenA(LPCSTR text);
int lstrcmpiA(LPCSTR a, LPCSTR b);
int lstrcmpA(LPCSTR a, LPCSTR b);
