// version: the version resources of files (VERSION.DLL), read from the PE32 and PE32+ files on the
// machine's drives (the reader is peimage.h).
//
// As on Windows: a bare name is looked for where LoadLibraryA looks (the program's folder, the current
// directory, the system directory, the Windows directory), ".DLL" supplied when it has no extension.
// GetFileVersionInfoSizeA reports the room Windows asks for, more than the block itself: the block's
// length and a half on NT 4, twice it and 4 bytes on 2000 and XP (Wine's conformance tests record both;
// the spare part receives the ANSI copies of the strings VerQueryValueA hands out, and on 2000/XP
// GetFileVersionInfoA marks its start with "FE2X"). Lookups failing report, per version:
//   missing file                   ERROR_FILE_NOT_FOUND
//   not a PE file, damaged PE      ERROR_RESOURCE_DATA_NOT_FOUND on NT 4 and XP, ERROR_BAD_FORMAT on
//                                  95/98, nothing (ERROR_SUCCESS) on 2000
//   PE without resources           ERROR_RESOURCE_DATA_NOT_FOUND
//   resources but no version       ERROR_RESOURCE_TYPE_NOT_FOUND (then _NAME_ and _LANG_ for an empty
//                                  name or language directory), as FindResource reports them
// VerQueryValueA compares path parts without regard to case, answers 52 bytes for "\", the bytes of a
// binary value, the characters with the terminating null for a string (converted to ANSI), 0 for an
// intermediate block; a missing value fails with length 0 (XP alone also sets
// ERROR_RESOURCE_TYPE_NOT_FOUND).
//
// Less than Windows: the 16-bit (NE) resources of old files are not read; Windows 95/98 hand back the
// block in its Unicode form with the 2000 size (Windows 98 converts it to the 16-bit ANSI layout).
#pragma once

#include <winsim/types.h>

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define VS_FILE_INFO RT_VERSION
#define VS_VERSION_INFO 1
#define VS_USER_DEFINED 100
#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD length, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);
