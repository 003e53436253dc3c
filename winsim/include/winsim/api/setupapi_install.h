// setupapi: installing an INF section (files, registry, INI files) and the default file-queue
// callback. The INF is one opened with SetupOpenInfFileA (setupapi_inf.h).
#pragma once

#include <winsim/types.h>
#include <winsim/api/setupapi_devices.h>
#include <winsim/api/setupapi_inf.h>

// What SetupInstallFromInfSectionA does of a section.
#define SPINST_LOGCONFIG 0x00000001
#define SPINST_INIFILES 0x00000002
#define SPINST_REGISTRY 0x00000004
#define SPINST_INI2REG 0x00000008
#define SPINST_FILES 0x00000010
#define SPINST_BITREG 0x00000020
#define SPINST_REGSVR 0x00000040
#define SPINST_UNREGSVR 0x00000080
#define SPINST_PROFILEITEMS 0x00000100

// Copy styles: the INF line's flags are added to what the caller passes.
#define SP_COPY_DELETESOURCE 0x0000001
#define SP_COPY_REPLACEONLY 0x0000002
#define SP_COPY_NEWER 0x0000004
#define SP_COPY_NEWER_OR_SAME SP_COPY_NEWER
#define SP_COPY_NOOVERWRITE 0x0000008
#define SP_COPY_NODECOMP 0x0000010
#define SP_COPY_LANGUAGEAWARE 0x0000020
#define SP_COPY_SOURCE_ABSOLUTE 0x0000040
#define SP_COPY_SOURCEPATH_ABSOLUTE 0x0000080
#define SP_COPY_IN_USE_NEEDS_REBOOT 0x0000100
#define SP_COPY_FORCE_IN_USE 0x0000200
#define SP_COPY_NOSKIP 0x0000400
#define SP_COPY_FORCE_NOOVERWRITE 0x0001000
#define SP_COPY_FORCE_NEWER 0x0002000
#define SP_COPY_WARNIFSKIP 0x0004000
#define SP_COPY_NOBROWSE 0x0008000
#define SP_COPY_NEWER_ONLY 0x0010000

// Notifications a file-queue callback receives.
#define SPFILENOTIFY_STARTQUEUE 0x00000001
#define SPFILENOTIFY_ENDQUEUE 0x00000002
#define SPFILENOTIFY_STARTSUBQUEUE 0x00000003
#define SPFILENOTIFY_ENDSUBQUEUE 0x00000004
#define SPFILENOTIFY_STARTDELETE 0x00000005
#define SPFILENOTIFY_ENDDELETE 0x00000006
#define SPFILENOTIFY_DELETEERROR 0x00000007
#define SPFILENOTIFY_STARTRENAME 0x00000008
#define SPFILENOTIFY_ENDRENAME 0x00000009
#define SPFILENOTIFY_RENAMEERROR 0x0000000a
#define SPFILENOTIFY_STARTCOPY 0x0000000b
#define SPFILENOTIFY_ENDCOPY 0x0000000c
#define SPFILENOTIFY_COPYERROR 0x0000000d
#define SPFILENOTIFY_NEEDMEDIA 0x0000000e
#define SPFILENOTIFY_QUEUESCAN 0x0000000f
#define SPFILENOTIFY_FILEOPDELAYED 0x00000014
#define SPFILENOTIFY_LANGMISMATCH 0x00010000
#define SPFILENOTIFY_TARGETEXISTS 0x00020000
#define SPFILENOTIFY_TARGETNEWER 0x00040000

// The operation a notification is about (Param2 of the START notifications).
#define FILEOP_COPY 0
#define FILEOP_RENAME 1
#define FILEOP_DELETE 2
#define FILEOP_BACKUP 3

// What a callback answers.
#define FILEOP_ABORT 0
#define FILEOP_DOIT 1
#define FILEOP_SKIP 2
#define FILEOP_RETRY FILEOP_DOIT
#define FILEOP_NEWPATH 4

struct FILEPATHS_A {
    PCSTR Target;
    PCSTR Source;  // not used for a deletion
    UINT Win32Error;
    DWORD Flags;  // SP_COPY_* of a copy
};
typedef FILEPATHS_A* PFILEPATHS_A;

struct SOURCE_MEDIA_A {
    PCSTR Reserved;
    PCSTR Tagfile;
    PCSTR Description;
    PCSTR SourcePath;
    PCSTR SourceFile;
    DWORD Flags;
};
typedef SOURCE_MEDIA_A* PSOURCE_MEDIA_A;

typedef UINT(CALLBACK* PSP_FILE_CALLBACK_A)(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

BOOL SetupInstallFromInfSectionA(HWND owner, HINF inf, PCSTR sectionName, UINT flags, HKEY relativeKeyRoot,
                                 PCSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_A msgHandler,
                                 PVOID context, HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData);

PVOID SetupInitDefaultQueueCallback(HWND owner);
PVOID SetupInitDefaultQueueCallbackEx(HWND owner, HWND alternateProgressWindow, UINT progressMessage,
                                      DWORD reserved1, PVOID reserved2);
UINT SetupDefaultQueueCallbackA(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);
void SetupTermDefaultQueueCallback(PVOID context);
