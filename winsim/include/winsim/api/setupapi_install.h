// setupapi: installing an INF section (files, registry, INI files) and the default file-queue
// callback. The INF is one opened with SetupOpenInfFileA (setupapi_inf.h).
//
// SetupInstallFromInfSectionA carries out, in this order:
//   SPINST_FILES     the section's DelFiles, RenFiles and CopyFiles (a file-list section, or "@file"),
//                    committed as one queue with the caller's callback: STARTQUEUE, then a subqueue
//                    each of deletions, renames and copies (STARTSUBQUEUE/ENDSUBQUEUE, only when not
//                    empty), ENDQUEUE. Target folders come from [DestinationDirs] (the list's own
//                    entry, else DefaultDestDir, else dirid 11, the system directory), "dirid[,subdir]"
//                    with the ids setupapi_inf.h knows and -1 for an absolute subdir. A source is the
//                    source root (the INF's folder when null) + the path [SourceDisksNames] gives its
//                    disk + the subdir [SourceDisksFiles] gives the file (".x86" forms first on the NT
//                    family). The line's COPYFLG_ flags are added to the caller's copy style.
//                    SPFILENOTIFY_NEEDMEDIA goes once to each source disk before its first file;
//                    STARTCOPY, a version question, the copy, COPYERROR while it fails, ENDCOPY follow.
//                    SP_COPY_NEWER / SP_COPY_FORCE_NEWER compare the fixed file versions of the version
//                    resources (a file without one, or the same version, counts the source as newer);
//                    a newer target is kept silently with FORCE_NEWER and after TARGETNEWER (the
//                    callback answering FALSE) with NEWER alone. NOOVERWRITE and REPLACEONLY skip as
//                    their names say.
//                    A target in use - the program of a running process (Processes::Running()) or the
//                    file of a loaded module (IsModuleFileLoaded), compared without regard to case -
//                    is not overwritten: the file goes beside it as SETnnnn.TMP and replaces it at the
//                    next start (NT family: a "\??\" pair of PendingFileRenameOperations with the "!"
//                    replace mark; 95/98: "TARGET=SETnnnn.TMP" in WININIT.INI's [rename], short names),
//                    and the callback gets SPFILENOTIFY_FILEOPDELAYED with a FILEPATHS_A. This is what
//                    SetupAPI does with a file it cannot replace, with or without
//                    SP_COPY_IN_USE_NEEDS_REBOOT / SP_COPY_FORCE_IN_USE. A DelFiles entry in use is
//                    deleted at the next start the same way ("" target / "NUL="), a RenFiles source in
//                    use renamed then.
//   SPINST_INIFILES  UpdateInis lines "ini,section,[old key=value],[new key=value],[flags]": flags 0 and
//                    2 replace the entry whose key is old's (or write new when old is empty; an empty
//                    new deletes old), 1 only when key and value both match; 3 (wildcards) is taken as 1.
//                    A bare INI name is in the Windows directory.
//   SPINST_REGISTRY  DelReg, then AddReg lines: roots HKCR, HKCU, HKLM, HKU and HKR (the predefined key
//                    passed as RelativeKeyRoot); FLG_ADDREG_ types SZ, MULTI_SZ, EXPAND_SZ, BINARY (hex
//                    byte fields), DWORD (a number, or four byte fields), NONE and a custom type in the
//                    high word with BINVALUETYPE; NOCLOBBER, OVERWRITEONLY, APPEND (MULTI_SZ), DELVAL,
//                    KEYONLY. A line without value name and data only creates the key. DelReg: a line
//                    without a value name removes the key and all below it, else the value;
//                    FLG_DELREG_MULTI_SZ_DELSTRING takes one string out of a MULTI_SZ.
// SPINST_LOGCONFIG and SPINST_INI2REG do nothing (no device is installed, no INI is mapped); the
// others (BITREG, REGSVR, UNREGSVR, PROFILEITEMS) are not carried out either.
//
// Results (FALSE with the last error; TRUE with NO_ERROR). Where Windows documents nothing, winsim
// decided so:
//   bad HINF                            ERROR_INVALID_HANDLE
//   no section name, or SPINST_FILES
//     without a callback                ERROR_INVALID_PARAMETER
//   the section is missing              ERROR_SECTION_NOT_FOUND (decided), nothing done
//   a file-list section is missing      ERROR_SECTION_NOT_FOUND (decided), nothing done
//   an UpdateInis, DelReg or AddReg
//     section is missing                ERROR_SECTION_NOT_FOUND (decided), after the files and the
//                                       lines before it
//   a [DestinationDirs] id unknown      ERROR_INVALID_PARAMETER (decided), nothing done
//   the callback answers FILEOP_ABORT   whatever last error the callback left (as Windows; the default
//                                       callback leaves ERROR_CANCELLED); ENDQUEUE is still sent, and
//                                       neither INI files nor registry are touched
//   a number field that is no number    ERROR_INVALID_DATA (AddReg flags, DWORD data, UpdateInis flags)
//   an unknown root, or HKR without a
//     relative root (decided)           ERROR_BADKEY; the registry lines before it stay done
// A missing source file is a NEEDMEDIA (the disk's first file) or a COPYERROR (a later one) whose
// answer decides: the default callback's dialogs answered as the simulated user answers them (below)
// end in FILEOP_ABORT, so the section fails with ERROR_CANCELLED. A file deleted or renamed that is
// not there is no error. With a callback that answers RETRY for ever, the copy gives up after 16
// attempts and the queue aborts with the copy's error; NEEDMEDIA answered DOIT for a missing file is
// asked three times, then the file goes on as a COPYERROR.
//
// The default callback shows no window; what the real one would show goes to the machine's Dialogs
// (dialogs.h) as a message box, and the simulated user's answer (scripted, else the default button)
// decides:
//   NEEDMEDIA, the file not in the path   "Files Needed": MB_OKCANCEL when the copy may not be skipped
//                                         (SP_COPY_NOSKIP), else MB_ABORTRETRYIGNORE|MB_DEFBUTTON2
//                                         (Retry = OK, Ignore = Skip File, Abort = Cancel). OK looks
//                                         again; a second OK with the file still missing counts as
//                                         Cancel. Cancel: FILEOP_ABORT + ERROR_CANCELLED; Skip:
//                                         FILEOP_SKIP.
//   COPYERROR, DELETEERROR, RENAMEERROR   "Copy Error" / "Delete Error" / "Rename Error" with the error's
//                                         text: MB_RETRYCANCEL with SP_COPY_NOSKIP, else
//                                         MB_ABORTRETRYIGNORE|MB_DEFBUTTON2. Retry is FILEOP_RETRY, but
//                                         a second Retry in a row for the same file counts as Cancel.
//   TARGETNEWER                           "Version Conflict", MB_YESNO: Yes (the default) keeps the
//                                         newer file (FALSE), No overwrites it (TRUE).
// Every other notification: START* FILEOP_DOIT, STARTQUEUE/STARTSUBQUEUE TRUE, END* and
// FILEOPDELAYED NO_ERROR. The boxes are those of Windows 2000 on every version.
//
// Deliberately less than Windows: no cabinets, compressed files, tag files or LayoutFile; no file
// logging, backups, SP_COPY_DELETESOURCE or language checks; a file held open by a handle of this
// process counts as not in use; registry writes are not checked against key security; HKR takes only
// a predefined key as its root; a NEWPATH answer replaces the disk's path for its later files; the
// short names WININIT.INI gets are the machine's (a valid 8.3 name keeps its spelling on disk); the
// files are copied whole through the machine's drives.
#pragma once

#include <winsim/types.h>
#include <winsim/api/setupapi_devices.h>
#include <winsim/api/setupapi_inf.h>

#ifndef ERROR_CANCELLED
#define ERROR_CANCELLED 1223L
#endif

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

// Flags of a CopyFiles line (its fourth field).
#define COPYFLG_WARN_IF_SKIP 0x00000001
#define COPYFLG_NOSKIP 0x00000002
#define COPYFLG_NOVERSIONCHECK 0x00000004
#define COPYFLG_FORCE_FILE_IN_USE 0x00000008
#define COPYFLG_NO_OVERWRITE 0x00000010
#define COPYFLG_NO_VERSION_DIALOG 0x00000020
#define COPYFLG_OVERWRITE_OLDER_ONLY 0x00000040
#define COPYFLG_REPLACEONLY 0x00000400
#define COPYFLG_NODECOMP 0x00000800

// Flags of an AddReg line (its fourth field).
#define FLG_ADDREG_BINVALUETYPE 0x00000001
#define FLG_ADDREG_NOCLOBBER 0x00000002
#define FLG_ADDREG_DELVAL 0x00000004
#define FLG_ADDREG_APPEND 0x00000008
#define FLG_ADDREG_KEYONLY 0x00000010
#define FLG_ADDREG_OVERWRITEONLY 0x00000020
#define FLG_ADDREG_TYPE_MASK (0xFFFF0000 | FLG_ADDREG_BINVALUETYPE)
#define FLG_ADDREG_TYPE_SZ 0x00000000
#define FLG_ADDREG_TYPE_MULTI_SZ 0x00010000
#define FLG_ADDREG_TYPE_EXPAND_SZ 0x00020000
#define FLG_ADDREG_TYPE_BINARY (0x00000000 | FLG_ADDREG_BINVALUETYPE)
#define FLG_ADDREG_TYPE_DWORD (0x00010000 | FLG_ADDREG_BINVALUETYPE)
#define FLG_ADDREG_TYPE_NONE (0x00020000 | FLG_ADDREG_BINVALUETYPE)

// Flags of a DelReg line.
#define FLG_ADDREG_DELREG_BIT 0x00008000
#define FLG_DELREG_VALUE 0x00000000
#define FLG_DELREG_MULTI_SZ_DELSTRING (FLG_ADDREG_TYPE_MULTI_SZ | FLG_ADDREG_DELREG_BIT | 0x00000002)

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
