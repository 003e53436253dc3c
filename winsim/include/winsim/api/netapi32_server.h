// netapi32: the LAN Manager server information record and the network API's buffers, with the types
// and constants of lmcons.h, lmerr.h, lmserver.h and lmapibuf.h. The LAN Manager 2 record of level 1
// (svrapi.h's server_info_1) is not declared: the SDK's svrapi.h cannot be included with lm.h, so code
// that wants that layout declares it itself.
// The functions are not declared here: the library loads NETAPI32.DLL by name and looks them up with
// GetProcAddress (the simulated module is src/netapi32_server.cpp).
//
// What the simulated module does less than Windows:
// - NetServerGetInfo answers levels 100, 101 and 102 only; the other levels NT 4 and 2000 know (402,
//   403, 502, 503) are refused with ERROR_INVALID_LEVEL like an unknown one. The server type carries
//   the role bits only (no browser bits), the comment is empty, and the computer is "WINSIM".
// - Windows 95 and 98 ship NETAPI32.DLL for Netbios alone; the simulated one exports nothing there.
// - NetApiBufferFree of a pointer the module did not hand out answers ERROR_INVALID_PARAMETER and
//   frees nothing (Windows passes it to its heap, with undefined results).
#pragma once

#include <winsim/types.h>

typedef DWORD NET_API_STATUS;
typedef WCHAR* LMSTR;
typedef const WCHAR* LMCSTR;
#define NET_API_FUNCTION WINAPI

#define CNLEN 15
#define LM20_CNLEN 15
#define MAX_PREFERRED_LENGTH ((DWORD)-1)

#define NERR_Success 0
#define NERR_BASE 2100
#define NERR_ServerNotStarted (NERR_BASE + 14)
#define NERR_InternalError (NERR_BASE + 40)

#define PLATFORM_ID_DOS 300
#define PLATFORM_ID_OS2 400
#define PLATFORM_ID_NT 500
#define PLATFORM_ID_OSF 600
#define PLATFORM_ID_VMS 700
#define MAJOR_VERSION_MASK 0x0F

#define SV_TYPE_WORKSTATION 0x00000001
#define SV_TYPE_SERVER 0x00000002
#define SV_TYPE_SQLSERVER 0x00000004
#define SV_TYPE_DOMAIN_CTRL 0x00000008
#define SV_TYPE_DOMAIN_BAKCTRL 0x00000010
#define SV_TYPE_TIME_SOURCE 0x00000020
#define SV_TYPE_AFP 0x00000040
#define SV_TYPE_NOVELL 0x00000080
#define SV_TYPE_DOMAIN_MEMBER 0x00000100
#define SV_TYPE_PRINTQ_SERVER 0x00000200
#define SV_TYPE_DIALIN_SERVER 0x00000400
#define SV_TYPE_XENIX_SERVER 0x00000800
#define SV_TYPE_NT 0x00001000
#define SV_TYPE_WFW 0x00002000
#define SV_TYPE_SERVER_MFPN 0x00004000
#define SV_TYPE_SERVER_NT 0x00008000
#define SV_TYPE_POTENTIAL_BROWSER 0x00010000
#define SV_TYPE_BACKUP_BROWSER 0x00020000
#define SV_TYPE_MASTER_BROWSER 0x00040000
#define SV_TYPE_DOMAIN_MASTER 0x00080000

#define SV_VISIBLE 0
#define SV_HIDDEN 1

typedef struct _SERVER_INFO_100 {
    DWORD sv100_platform_id;
    LMSTR sv100_name;
} SERVER_INFO_100, *PSERVER_INFO_100, *LPSERVER_INFO_100;

typedef struct _SERVER_INFO_101 {
    DWORD sv101_platform_id;
    LMSTR sv101_name;
    DWORD sv101_version_major;
    DWORD sv101_version_minor;
    DWORD sv101_type;
    LMSTR sv101_comment;
} SERVER_INFO_101, *PSERVER_INFO_101, *LPSERVER_INFO_101;

typedef struct _SERVER_INFO_102 {
    DWORD sv102_platform_id;
    LMSTR sv102_name;
    DWORD sv102_version_major;
    DWORD sv102_version_minor;
    DWORD sv102_type;
    LMSTR sv102_comment;
    DWORD sv102_users;
    LONG sv102_disc;
    BOOL sv102_hidden;
    DWORD sv102_announce;
    DWORD sv102_anndelta;
    DWORD sv102_licenses;
    LMSTR sv102_userpath;
} SERVER_INFO_102, *PSERVER_INFO_102, *LPSERVER_INFO_102;
