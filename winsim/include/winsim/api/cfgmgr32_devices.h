// cfgmgr32: the configuration manager's types and constants. Its functions are not declared here:
// on every Windows version the library may meet, cfgmgr32.dll is optional, so callers load it by
// name and look the functions up with GetProcAddress (the simulated module is src/cfgmgr32_devices.cpp).
#pragma once

#include <winsim/types.h>

typedef DWORD CONFIGRET;
typedef DWORD DEVNODE;
typedef DWORD DEVINST;
typedef DEVNODE* PDEVNODE;
typedef DEVNODE* PDEVINST;
typedef CHAR* DEVNODEID_A;
typedef CHAR* DEVINSTID_A;

#define CR_SUCCESS 0x00000000
#define CR_DEFAULT 0x00000001
#define CR_OUT_OF_MEMORY 0x00000002
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_INVALID_DEVINST CR_INVALID_DEVNODE
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_NO_SUCH_DEVINST CR_NO_SUCH_DEVNODE
#define CR_FAILURE 0x00000013
#define CR_CALL_NOT_IMPLEMENTED 0x00000034

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001
#define CM_LOCATE_DEVNODE_CANCELREMOVE 0x00000002
#define CM_LOCATE_DEVNODE_NOVALIDATION 0x00000004
#define CM_LOCATE_DEVNODE_BITS 0x00000007

#define CM_REENUMERATE_NORMAL 0x00000000
#define CM_REENUMERATE_SYNCHRONOUS 0x00000001
#define CM_REENUMERATE_RETRY_INSTALLATION 0x00000002
#define CM_REENUMERATE_ASYNCHRONOUS 0x00000004
#define CM_REENUMERATE_BITS 0x00000007
