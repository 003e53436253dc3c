// setupapi: device information sets and the class installer.
#pragma once

#include <winsim/types.h>
#include <winsim/api/ole32_com.h>

typedef PVOID HDEVINFO;

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

typedef UINT DI_FUNCTION;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009

#define DIF_SELECTDEVICE 0x00000001
#define DIF_INSTALLDEVICE 0x00000002
#define DIF_REMOVE 0x00000005

#define ERROR_NO_SUCH_DEVINST ((DWORD)0xE000020BL)
#define ERROR_INVALID_REG_PROPERTY ((DWORD)0xE0000209L)
#define ERROR_DI_DO_DEFAULT ((DWORD)0xE000020EL)
#define ERROR_INVALID_USER_BUFFER 1784L
#define ERROR_INVALID_CLASS_INSTALLER ((DWORD)0xE000020DL)
#define ERROR_DI_BAD_PATH ((DWORD)0xE0000214L)

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                                       PBYTE buffer, DWORD size, PDWORD requiredSize);
BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA data);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
